// Runtime-internal parts of messages and memory: the system allocator the
// wrappers call and a view of the warning de-duplication cache.
#ifndef VXR_MESSAGESINTERNAL_H
#define VXR_MESSAGESINTERNAL_H

#include <stddef.h>

#include "VXR_SupportLib.h"

extern "C" {

// The platform allocator behind VXR_malloc and friends. Nothing in the
// library changes it; tests swap members to simulate an exhausted heap.
struct VXR_SystemAllocator {
    void* (*pMalloc)(size_t);
    void* (*pCalloc)(size_t, size_t);
    void* (*pRealloc)(void*, size_t);
    void (*pFree)(void*);
};
extern VXR_SystemAllocator VXR_systemAllocator;

// VXR_realloc's behaviour in every revision (1.60/1.42 export no VXR_realloc,
// but the de-duplication cache grows through it).
void* VXR_reallocReported(void* ptr, size_t size, VXR_SimInterface*, VXR_DeviceInst* pInst, const char* id);

// Size of the de-duplication cache: entries used and capacity.
void VXR_messageCacheSize(int* count, int* capacity);
}

#endif
