// Heap wrappers: every allocation of library code goes through them, and an
// exhausted heap is reported to the host, which is asked to end the run.
#include <stdlib.h>
#include <string.h>

#include "VXR_MessagesInternal.h"
#include "VXR_SupportLib.h"

extern "C" {

constinit VXR_SystemAllocator VXR_systemAllocator = {malloc, calloc, realloc, free};

static void reportOutOfMemory(VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id) {
    // Without a host table there is no one to tell; the caller sees NULL.
    if (pSimInterface == NULL) return;
    VXR_Message(pSimInterface, pInst, id, MessageTypeE_ERROR, "Out of memory.");
    if (pSimInterface->pSystemRequest != NULL) pSimInterface->pSystemRequest("exit", 1, pInst, NULL, pSimInterface);
}

void* VXR_malloc(size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id) {
    if (size == 0) return NULL;
    void* p = VXR_systemAllocator.pMalloc(size);
    if (p == NULL) reportOutOfMemory(pSimInterface, pInst, id);
    return p;
}

void* VXR_calloc(size_t nmemb, size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst,
                 const char* id) {
    if (nmemb == 0 || size == 0) return NULL;
    void* p = VXR_systemAllocator.pCalloc(nmemb, size);
    if (p == NULL) reportOutOfMemory(pSimInterface, pInst, id);
    return p;
}

void* VXR_reallocReported(void* ptr, size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst,
                          const char* id) {
    if (size == 0) return NULL;
    void* p = VXR_systemAllocator.pRealloc(ptr, size);
    if (p == NULL) reportOutOfMemory(pSimInterface, pInst, id);
    return p;
}

#if VXR_REVISION == 187
void* VXR_realloc(void* ptr, size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst,
                  const char* id) {
    return VXR_reallocReported(ptr, size, pSimInterface, pInst, id);
}
#endif

char* VXR_strdup(const char* s, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst) {
    if (s == NULL) return NULL;
    size_t n = strlen(s) + 1;
    char* copy = (char*)VXR_malloc(n, pSimInterface, pInst, NULL);
    if (copy != NULL) memcpy(copy, s, n);
    return copy;
}

void VXR_free(void* p) {
    // The constant empty text of the string functions is no block.
    if (p != NULL && p != VXR_emptyText) VXR_systemAllocator.pFree(p);
}

} // extern "C"
