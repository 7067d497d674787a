// Test-only stand-ins for the runtime's message and allocation services:
// they record what they are asked and count the blocks that are live.
#pragma once

#include <string>
#include <vector>

#include "VXR_FrameServices.h"

namespace stub {

struct Message {
    VXR_SimInterface* simIf;
    VXR_DeviceInst* inst;
    std::string id; // "" when none
    bool hasId;
    VXR_MessageTypeE type;
    std::string text;
};

struct Allocation {
    std::string how; // "malloc" or "calloc"
    size_t bytes;
    VXR_SimInterface* simIf;
    VXR_DeviceInst* inst;
    const char* id;
    void* block;
};

extern std::vector<Message> messages;
extern std::vector<Allocation> allocations;
long liveBlocks();
void reset();

} // namespace stub
