/* Preloaded into the command (LD_PRELOAD): fails its n-th allocation, with
 * n in MIDICOMPOSE_FAIL_ALLOCATION, counting only the allocations that the
 * command and the midicompose libraries make themselves (FluidSynth and glib
 * abort on a failed allocation by design), until main returns (what a
 * coverage build writes at exit is not swept).
 * With n = 0 nothing fails, and the count is written to standard error. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

static long failAt = -1; /* -1: not read yet, or not asked for */
static long count;

typedef int (*Main)(int, char**, char**);
static Main realMain;

static int CountedMain(int argc, char** argv, char** env) {
    const int status = realMain(argc, argv, env);
    if (failAt == 0) fprintf(stderr, "allocations: %ld\n", __atomic_load_n(&count, __ATOMIC_SEQ_CST));
    failAt = -1;
    return status;
}

/* Starts the program's main through CountedMain. */
int __libc_start_main(Main main, int argc, char** argv, void (*init)(void), void (*fini)(void),
                      void (*rtldFini)(void), void* stackEnd) {
    int (*start)(Main, int, char**, void (*)(void), void (*)(void), void (*)(void), void*) =
        (int (*)(Main, int, char**, void (*)(void), void (*)(void), void (*)(void), void*))dlsym(RTLD_NEXT,
                                                                                              "__libc_start_main");
    const char* n = getenv("MIDICOMPOSE_FAIL_ALLOCATION");
    realMain = main;
    if (n != NULL) failAt = atol(n);
    return start(CountedMain, argc, argv, init, fini, rtldFini, stackEnd);
}

static int Own(const void* caller) {
    Dl_info info;
    const char* name;
    if (dladdr(caller, &info) == 0 || info.dli_fname == NULL) return 0;
    name = strrchr(info.dli_fname, '/');
    return strstr(name != NULL ? name + 1 : info.dli_fname, "midicompose") != NULL;
}

static int Fails(const void* caller) {
    if (failAt < 0 || !Own(caller)) return 0;
    return __atomic_add_fetch(&count, 1, __ATOMIC_SEQ_CST) == failAt;
}

void* malloc(size_t size) { return Fails(__builtin_return_address(0)) ? NULL : __libc_malloc(size); }
void* calloc(size_t n, size_t size) { return Fails(__builtin_return_address(0)) ? NULL : __libc_calloc(n, size); }
void* realloc(void* p, size_t size) { return Fails(__builtin_return_address(0)) ? NULL : __libc_realloc(p, size); }
