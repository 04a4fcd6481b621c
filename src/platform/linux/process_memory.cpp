#include "platform/process_memory.h"

#include <malloc.h>

void CProcessMemory::ShareOneHeap()
{
    ::mallopt(M_ARENA_MAX, 1);
}

void CProcessMemory::GiveBackFreePages()
{
    ::malloc_trim(0);
}
