// What the runtime's message and allocation services did during a test:
// messages as the host received them (split back into text, id and
// instance) and the system allocations behind the wrappers.
#pragma once

#include <string>
#include <vector>

#include "VXR_SupportLib.h"
#include "allocation_probe.h"

namespace probe {

struct Message {
    VXR_SimInterface* simIf;
    VXR_DeviceInst* inst;
    std::string id;  // "" when none
    bool hasId;
    VXR_MessageTypeE type;
    std::string text;  // without the context lines
};

using Allocation = vxr_test::SystemAllocation;

extern std::vector<Message> messages;
extern const std::vector<Allocation>& allocations;  // system allocations since reset()
long liveBlocks();
void reset();
// Called by the recording host's pMessage.
void hostMessage(VXR_MessageTypeE type, const char* text, VXR_DeviceInst* inst, VXR_SimInterface* simIf);
// The next allocation fails (once).
void failNextAllocation();

}  // namespace probe
