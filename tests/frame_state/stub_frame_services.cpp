// Test-only stand-ins for the runtime's message and memory services. They are
// weak so that the runtime's own definitions take over once they are linked in.
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "VXR_FrameServices.h"

extern "C" {

__attribute__((weak)) void VXR_Message(VXR_SimInterface* si, VXR_DeviceInst* inst, const char*,
                                       VXR_MessageTypeE type, const char* msg) {
    if (si && si->pMessage) si->pMessage(type, msg, inst, si);
}

__attribute__((weak)) int VXR_IsMessageDuplicate(const char* msg, VXR_SimInterface*) {
    static std::set<std::string>* seen = new std::set<std::string>;
    return seen->insert(msg).second ? 0 : 1;
}

__attribute__((weak)) void* VXR_malloc(size_t size, VXR_SimInterface*, VXR_DeviceInst*, const char*) {
    return size ? std::malloc(size) : nullptr;
}

__attribute__((weak)) void* VXR_calloc(size_t n, size_t size, VXR_SimInterface*, VXR_DeviceInst*, const char*) {
    return (n && size) ? std::calloc(n, size) : nullptr;
}

__attribute__((weak)) char* VXR_strdup(const char* s, VXR_SimInterface* si, VXR_DeviceInst* inst) {
    const size_t n = std::strlen(s) + 1;
    char* p = static_cast<char*>(VXR_malloc(n, si, inst, nullptr));
    if (p) std::memcpy(p, s, n);
    return p;
}

__attribute__((weak)) void VXR_free(void* p) { std::free(p); }

}  // extern "C"
