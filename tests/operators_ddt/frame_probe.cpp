#include "frame_probe.h"

#include <cstring>

#include "allocation_probe.h"

namespace probe {

std::vector<Message> messages;
const std::vector<Allocation>& allocations = vxr_test::systemAllocations();

void reset() {
    messages.clear();
    vxr_test::resetAllocationProbe();
}

long liveBlocks() { return vxr_test::liveBlocks(); }

void failNextAllocation() { vxr_test::failAllocationAfter(0); }

void hostMessage(VXR_MessageTypeE type, const char* text, VXR_DeviceInst* inst, VXR_SimInterface* simIf) {
    Message m{simIf, inst, "", false, type, text ? text : ""};
    // "text\n   ['id', instance ..." or "text\n   [ id ]": split the context off.
    size_t at = m.text.find("\n   [");
    if (at != std::string::npos) {
        std::string ctx = m.text.substr(at + 5);
        m.text.resize(at);
        if (ctx.rfind("'", 0) == 0) {
            m.id = ctx.substr(1, ctx.find('\'', 1) - 1);
            m.hasId = true;
        } else if (ctx.rfind(" instance '", 0) != 0) {
            m.id = ctx.substr(1, ctx.find(" ]") - 1);
            m.hasId = true;
        }
    }
    messages.push_back(m);
}

}  // namespace probe
