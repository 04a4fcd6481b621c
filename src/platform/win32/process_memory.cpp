#include "platform/process_memory.h"

#include <malloc.h>
#include <windows.h>

// The C runtime allocates every thread's blocks from one heap already.
void CProcessMemory::ShareOneHeap() {}

void CProcessMemory::GiveBackFreePages()
{
    ::_heapmin();
    ::HeapCompact(::GetProcessHeap(), 0);
}
