// Messages to the host: instance/id context, the process-wide WARNING
// de-duplication cache (revision 1.87) and the hierarchical name.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "VXR_MessagesInternal.h"
#include "VXR_SupportLib.h"

namespace {

// Process-wide and never freed: one cache for every instance and host table.
// Calls into one library must not run concurrently.
struct MessageCache {
    uint64_t* hashes;
    int count;
    int capacity;
};
constinit MessageCache messageCache = {NULL, 0, 0};

constexpr int cacheBlock = 16;

uint64_t hashText(const char* msg) {
    uint64_t h = 0;
    const char* p = msg;
    for (;;) {
        h = (h << 5) | (h >> 59);
        // The byte is widened as a signed char: bytes >= 0x80 set the low
        // word's upper bits. The high word is left alone.
        uint32_t low = (uint32_t)h ^ (uint32_t)(int32_t)(signed char)*p;
        h = (h & 0xFFFFFFFF00000000ull) | low;
        if (*p == '\0') break;
        ++p;
    }
    return h;
}

const char* orEmpty(const char* s) { return s != NULL ? s : ""; }

} // namespace

extern "C" {

int VXR_IsMessageDuplicate(const char* msg, VXR_SimInterface* pSimInterface) {
    if (msg == NULL) msg = "";
    uint64_t h = hashText(msg);
    for (int i = 0; i < messageCache.count; ++i)
        if (messageCache.hashes[i] == h) return 1;

    if (messageCache.count >= messageCache.capacity) {
        int capacity = messageCache.capacity + cacheBlock;
        uint64_t* grown = (uint64_t*)VXR_reallocReported(messageCache.hashes, (size_t)capacity * sizeof(uint64_t),
                                                         pSimInterface, NULL, "");
        // On failure the old cache stays as it was and the text counts as new.
        if (grown == NULL) return 0;
        for (int i = messageCache.count; i < capacity; ++i) grown[i] = 0;
        messageCache.hashes = grown;
        messageCache.capacity = capacity;
    }
    messageCache.hashes[messageCache.count++] = h;
    return 0;
}

void VXR_messageCacheSize(int* count, int* capacity) {
    if (count != NULL) *count = messageCache.count;
    if (capacity != NULL) *capacity = messageCache.capacity;
}

void VXR_Message(VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id, VXR_MessageTypeE msgType,
                 const char* errMsg) {
    if (pSimInterface == NULL || pSimInterface->pMessage == NULL) return;
    errMsg = orEmpty(errMsg);
    constexpr bool dropRepeatedWarnings = VXR_REVISION == 187;
    // Revisions 1.60 and 1.42 end the context line without a newline.
    constexpr const char* tail = VXR_REVISION == 187 ? "\n" : "";

    if (id == NULL && pInst == NULL) {
        if (dropRepeatedWarnings && msgType == MessageTypeE_WARNING && VXR_IsMessageDuplicate(errMsg, pSimInterface))
            return;
        pSimInterface->pMessage(msgType, errMsg, NULL, pSimInterface);
        return;
    }

    // Instance and parameter names come from the host: compose bounded and
    // let an over-long text be cut.
    char text[VXR_MESSAGE_BUFFER_CHARS + 1];
    if (pInst != NULL) {
        const char* instName = orEmpty(pInst->instName);
        const char* moduleName = pInst->pModuleDescriptor != NULL ? orEmpty(pInst->pModuleDescriptor->moduleName) : "";
        if (id != NULL)
            snprintf(text, sizeof text, "%s\n   ['%s', instance '%s' of module type '%s' ]%s", errMsg, id, instName,
                     moduleName, tail);
        else
            snprintf(text, sizeof text, "%s\n   [ instance '%s' of module type '%s' ]%s", errMsg, instName,
                     moduleName, tail);
    } else {
        snprintf(text, sizeof text, "%s\n   [ %s ]%s", errMsg, id, tail);
    }

    if (dropRepeatedWarnings && msgType == MessageTypeE_WARNING && VXR_IsMessageDuplicate(text, pSimInterface))
        return;
    pSimInterface->pMessage(msgType, text, pInst, pSimInterface);
}

const char* VXR_GetFullHierName(VXR_DeviceInst* pInst) {
    if (pInst == NULL) return NULL;
    if (pInst->fullName != NULL) return pInst->fullName;
    VXR_SimInterface* sim = pInst->pSimInterface;
    if (sim == NULL || sim->pComposeFullName == NULL) return NULL;
    pInst->fullName = sim->pComposeFullName(pInst);
    return pInst->fullName;
}

} // extern "C"
