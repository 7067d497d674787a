// Watches the runtime's system allocator from a test executable that links
// the runtime objects: counts live blocks, records each request, and can make
// one allocation fail.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vxr_test {

struct SystemAllocation {
    std::string how;  // "malloc", "calloc" or "realloc"
    size_t bytes;
    void* block;      // NULL when it failed
};

// Installs the probe (idempotent) and clears the record.
void resetAllocationProbe();
// Blocks handed out and not yet freed since the probe was installed.
long liveBlocks();
const std::vector<SystemAllocation>& systemAllocations();
// The allocation after `skip` more successes fails once; -1 cancels.
void failAllocationAfter(int skip);

}  // namespace vxr_test
