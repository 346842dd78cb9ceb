#pragma once

// Sets the C library's allocator for this program; call it first thing in main, before any thread
// starts and before the first allocation of any size worth the name. Does nothing where the C
// library is not glibc.
void tuneAllocator();
