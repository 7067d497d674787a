#include "allocation_probe.h"

#include <cstdlib>
#include <unordered_set>

#include "VXR_MessagesInternal.h"

namespace vxr_test {
namespace {

// Blocks from malloc/calloc (and their reallocations) not yet freed. Blocks
// that start life in realloc (the runtime's permanent message cache) are
// not counted.
std::unordered_set<void*> g_live;
int g_failAfter = -1;
std::vector<SystemAllocation> g_record;

bool failNow() {
    if (g_failAfter < 0) return false;
    return g_failAfter-- == 0;
}

void* probeMalloc(size_t n) {
    void* p = failNow() ? nullptr : std::malloc(n);
    if (p) g_live.insert(p);
    g_record.push_back({"malloc", n, p});
    return p;
}
void* probeCalloc(size_t n, size_t s) {
    void* p = failNow() ? nullptr : std::calloc(n, s);
    if (p) g_live.insert(p);
    g_record.push_back({"calloc", n * s, p});
    return p;
}
void* probeRealloc(void* old, size_t n) {
    if (failNow()) {
        g_record.push_back({"realloc", n, nullptr});
        return nullptr;
    }
    void* p = std::realloc(old, n);
    if (p && old && g_live.erase(old)) g_live.insert(p);
    g_record.push_back({"realloc", n, p});
    return p;
}
void probeFree(void* p) {
    g_live.erase(p);
    std::free(p);
}

}  // namespace

void resetAllocationProbe() {
    VXR_systemAllocator = {probeMalloc, probeCalloc, probeRealloc, probeFree};
    g_record.clear();
    g_failAfter = -1;
}
long liveBlocks() { return static_cast<long>(g_live.size()); }
const std::vector<SystemAllocation>& systemAllocations() { return g_record; }
void failAllocationAfter(int skip) { g_failAfter = skip; }

}  // namespace vxr_test
