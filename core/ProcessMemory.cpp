#include "ProcessMemory.h"

#include <cstdlib> // brings glibc's __GLIBC__

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// How much more than asked the heap grows by each time it must grow.
constexpr int topPadBytes = 32 * 1024 * 1024;

} // namespace

void tuneAllocator()
{
#if defined(__GLIBC__)
    // glibc gives each thread that allocates an arena of its own (up to eight per core), and such an
    // arena grows a page at a time, each step a system call (mprotect): an import of 65,535 rows
    // made 4,300 of them on its thread. The program is one window and a
    // few jobs (import, export, send run) that seldom allocate at the same moment, so one arena
    // shared by all costs it nothing and saves those calls.
    mallopt(M_ARENA_MAX, 1);
    // The heap grows in large steps instead of by what each call lacks: fewer calls to the system,
    // and a job that frees and allocates again finds its memory still there. The pages are only
    // address space until touched, so the window's resident memory does not grow with it.
    mallopt(M_TOP_PAD, topPadBytes);
#endif
}
