#pragma once

// The process's heap, as the C library keeps it. Its memory goes back to the
// system only from the top of a heap, and with a heap per thread (the
// library's default, up to eight per processor) the memory that thousands of
// ended sessions freed stays resident in heaps that nothing uses any more.
// With one heap for every thread, everything a crowd freed can be given back
// in one pass once the crowd has left.
class CProcessMemory {
public:
    // Before any other thread starts: every thread allocates from the one heap.
    static void ShareOneHeap();
    // Gives the pages that no allocation uses back to the system. Takes the
    // heap's lock for a few milliseconds per hundred MiB: call it when quiet.
    static void GiveBackFreePages();
};
