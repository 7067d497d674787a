#include "stub_frame_services.h"

#include <cstdlib>
#include <cstring>

namespace stub {
std::vector<Message> messages;
std::vector<Allocation> allocations;
static long live = 0;
long liveBlocks() { return live; }
void reset() {
    messages.clear();
    allocations.clear();
}
} // namespace stub

extern "C" {

void VXR_Message(VXR_SimInterface* simIf, VXR_DeviceInst* inst, const char* id, VXR_MessageTypeE type,
                 const char* msg) {
    stub::messages.push_back({simIf, inst, id ? id : "", id != nullptr, type, msg});
}

void* VXR_malloc(size_t size, VXR_SimInterface* simIf, VXR_DeviceInst* inst, const char* id) {
    if (size == 0)
        return nullptr;
    void* p = std::malloc(size);
    // Garbage in fresh blocks, so that fields left unset show.
    std::memset(p, 0xA5, size);
    ++stub::live;
    stub::allocations.push_back({"malloc", size, simIf, inst, id, p});
    return p;
}

void* VXR_calloc(size_t nmemb, size_t size, VXR_SimInterface* simIf, VXR_DeviceInst* inst, const char* id) {
    if (nmemb == 0 || size == 0)
        return nullptr;
    void* p = std::calloc(nmemb, size);
    ++stub::live;
    stub::allocations.push_back({"calloc", nmemb * size, simIf, inst, id, p});
    return p;
}

char* VXR_strdup(const char* s, VXR_SimInterface* simIf, VXR_DeviceInst* inst) {
    size_t n = std::strlen(s) + 1;
    char* p = static_cast<char*>(VXR_malloc(n, simIf, inst, nullptr));
    if (p)
        std::memcpy(p, s, n);
    return p;
}

void VXR_free(void* p) {
    if (!p)
        return;
    --stub::live;
    std::free(p);
}

} // extern "C"
