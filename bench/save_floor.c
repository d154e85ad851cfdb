/* The floor of a batch: the same safe saves as midicompose --batch makes
 * (a look at the target, create a temporary file beside it, write, a look at
 * it, close, rename over the target) of the same bytes, on T threads, with
 * nothing composed. Prints compositions a second.
 * Usage: save_floor FROM_DIR TO_DIR THREADS   (FROM_DIR: the files to copy) */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

typedef struct { char name[64]; unsigned char* bytes; size_t size; } File;
static File* files;
static size_t count, next;
static const char* to;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static void* Save(void* unused) {
    (void)unused;
    for (;;) {
        size_t i;
        char target[512], temporary[512];
        struct stat st;
        int fd;
        pthread_mutex_lock(&lock);
        i = next++;
        pthread_mutex_unlock(&lock);
        if (i >= count) return NULL;
        snprintf(target, sizeof target, "%s/%s", to, files[i].name);
        snprintf(temporary, sizeof temporary, "%s/.%s.tmp", to, files[i].name);
        (void)stat(target, &st);
        fd = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 || write(fd, files[i].bytes, files[i].size) != (ssize_t)files[i].size) abort();
        (void)fstat(fd, &st);
        if (close(fd) != 0 || rename(temporary, target) != 0) abort();
    }
}

int main(int argc, char** argv) {
    DIR* dir;
    struct dirent* entry;
    size_t capacity = 1024, t;
    int threads;
    pthread_t workers[64];
    struct timespec a, b;
    double seconds;
    if (argc != 4 || (dir = opendir(argv[1])) == NULL) return 2;
    to = argv[2];
    threads = atoi(argv[3]);
    if (threads < 1 || threads > 64) return 2;
    files = malloc(capacity * sizeof *files);
    while ((entry = readdir(dir)) != NULL) {
        char path[512];
        FILE* f;
        if (entry->d_name[0] == '.') continue;
        if (count == capacity) files = realloc(files, (capacity *= 2) * sizeof *files);
        snprintf(files[count].name, sizeof files[count].name, "%s", entry->d_name);
        snprintf(path, sizeof path, "%s/%s", argv[1], entry->d_name);
        f = fopen(path, "rb");
        fseek(f, 0, SEEK_END);
        files[count].size = (size_t)ftell(f);
        rewind(f);
        files[count].bytes = malloc(files[count].size);
        if (fread(files[count].bytes, 1, files[count].size, f) != files[count].size) return 1;
        fclose(f);
        ++count;
    }
    closedir(dir);
    clock_gettime(CLOCK_MONOTONIC, &a);
    for (t = 0; t < (size_t)threads; ++t) pthread_create(&workers[t], NULL, Save, NULL);
    for (t = 0; t < (size_t)threads; ++t) pthread_join(workers[t], NULL);
    clock_gettime(CLOCK_MONOTONIC, &b);
    seconds = (double)(b.tv_sec - a.tv_sec) + (double)(b.tv_nsec - a.tv_nsec) / 1e9;
    printf("%zu %.3f %.0f\n", count, seconds, (double)count / seconds);
    return 0;
}
