/* The process-level floor: a C program that only writes a given file's
 * bytes to a path. Usage: write_file SOURCE TARGET */
#include <stdio.h>

int main(int argc, char** argv) {
    static unsigned char bytes[1 << 16];
    size_t n;
    FILE *in, *out;
    if (argc != 3 || (in = fopen(argv[1], "rb")) == NULL) return 2;
    n = fread(bytes, 1, sizeof bytes, in);
    fclose(in);
    if ((out = fopen(argv[2], "wb")) == NULL) return 1;
    if (fwrite(bytes, 1, n, out) != n) return 1;
    return fclose(out) == 0 ? 0 : 1;
}
