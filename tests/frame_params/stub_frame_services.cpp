// Test-only stand-in for the runtime's message and memory services, with the
// same signatures and observable behaviour: context suffix, WARNING
// de-duplication in revision 1.87, "Out of memory." then "exit".
#include <set>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "VXR_FrameServices.h"
#include "test_host.h"

namespace {
int g_failAfter = -1; // successes before the one failing allocation; -1: none (test hook)

std::set<std::string>& seenWarnings()
{
    static std::set<std::string> s;
    return s;
}

void* outOfMemory(VXR_SimInterface* simIf, VXR_DeviceInst* inst, const char* id)
{
    VXR_Message(simIf, inst, id, MessageTypeE_ERROR, "Out of memory.");
    if (simIf && simIf->pSystemRequest)
        simIf->pSystemRequest("exit", 1, inst, nullptr, simIf);
    return nullptr;
}

bool injectFailure()
{
    if (g_failAfter < 0)
        return false;
    return g_failAfter-- == 0;
}
} // namespace

void stubFailAllocationAfter(int skip)
{
    g_failAfter = skip;
}

extern "C" {

void VXR_Message(VXR_SimInterface* simIf, VXR_DeviceInst* inst, const char* id, VXR_MessageTypeE type,
                 const char* msg)
{
    char buf[2048];
    const char* nl = VXR_REVISION == 187 ? "\n" : "";
    const char* text = msg;
    if (id || inst) {
        const char* mod = inst && inst->pModuleDescriptor ? inst->pModuleDescriptor->moduleName : "";
        if (id && inst)
            snprintf(buf, sizeof buf, "%s\n   ['%s', instance '%s' of module type '%s' ]%s", msg, id, inst->instName,
                     mod, nl);
        else if (id)
            snprintf(buf, sizeof buf, "%s\n   [ %s ]%s", msg, id, nl);
        else
            snprintf(buf, sizeof buf, "%s\n   [ instance '%s' of module type '%s' ]%s", msg, inst->instName, mod, nl);
        text = buf;
    }
    if (VXR_REVISION == 187 && type == MessageTypeE_WARNING && !seenWarnings().insert(text).second)
        return;
    if (simIf && simIf->pMessage)
        simIf->pMessage(type, text, id || inst ? inst : nullptr, simIf);
}

void* VXR_malloc(size_t size, VXR_SimInterface* simIf, VXR_DeviceInst* inst, const char* id)
{
    if (size == 0)
        return nullptr;
    void* p = injectFailure() ? nullptr : malloc(size);
    return p ? p : outOfMemory(simIf, inst, id);
}

void* VXR_calloc(size_t nmemb, size_t size, VXR_SimInterface* simIf, VXR_DeviceInst* inst, const char* id)
{
    if (nmemb == 0 || size == 0)
        return nullptr;
    void* p = injectFailure() ? nullptr : calloc(nmemb, size);
    return p ? p : outOfMemory(simIf, inst, id);
}

#if VXR_REVISION == 187
void* VXR_realloc(void* ptr, size_t size, VXR_SimInterface* simIf, VXR_DeviceInst* inst, const char* id)
{
    if (size == 0)
        return nullptr;
    void* p = injectFailure() ? nullptr : realloc(ptr, size);
    return p ? p : outOfMemory(simIf, inst, id);
}
#endif

char* VXR_strdup(const char* s, VXR_SimInterface* simIf, VXR_DeviceInst* inst)
{
    const size_t n = strlen(s) + 1;
    char* p = static_cast<char*>(VXR_malloc(n, simIf, inst, nullptr));
    if (p)
        memcpy(p, s, n);
    return p;
}

void VXR_free(void* p)
{
    free(p);
}

} // extern "C"
