// LAMBRET under exhausted memory: every system allocation of an instance's
// life fails once in turn, at creation and in each later step.
#include <gtest/gtest.h>

#include "LAMBRET_module.h"
#include "allocation_sweep.h"

namespace {

using vxrtest::RecordingHost;
const VXR_ModuleDescriptor& md = ModuleInfo;

// The steps of a life, in the host's order.
enum Step { Create, Finalize, Branches, Topology, Stamp, Load, DeviceState, NumSteps };
const char* const kStepNames[] = {"create", "finalize", "branches", "topology", "stamp", "load", "device state"};

// One life with the k-th allocation of step `failing` failing; `terminals`
// below 3 leaves BULK for an isolated node.
void life(int k, Step failing, int terminals) {
    RecordingHost host;
    VXR_StateVar* terms[3] = {host.terminal("ext"), host.terminal("int"), host.terminal("bulk")};
    std::vector<VXR_ParamAssn> assn = {RecordingHost::real("$mfactor", 2.0)};
    const long start = vxr_test::liveBlocks();

    VXR_DeviceInst* inst = nullptr;
    VXR_DeviceState* state = nullptr;
    const std::vector<vxr_test::LifeStep> steps = {
        {kStepNames[Create],
         [&] { inst = md.pCreateInstance("N1", host.sim(), nullptr, terminals, nullptr, terms, 1, assn.data(), 0, 0); }},
        {kStepNames[Finalize], [&] { md.pFinalizeTopology(inst, nullptr); }},
        {kStepNames[Branches], [&] { md.pCreateBranches(inst, nullptr); }},
        {kStepNames[Topology],
         [&] {
             md.pReportNodalInfo(inst);
             md.pReportTopology(inst);
         }},
        {kStepNames[Stamp], [&] { md.pSetStamp(inst, nullptr); }},
        {kStepNames[Load], [&] { md.pGenLoad(inst, host.loader()); }},
        {kStepNames[DeviceState], [&] { state = md.pGetDeviceState(inst); }},
    };
    if (vxr_test::runLifeFailingIn(host, steps, failing, k) && failing == Create) {
        EXPECT_EQ(inst, nullptr);
    }
    VXR_freeDeviceState(state);
    if (inst != nullptr) md.pDestroyDevice(inst);
    // The isolated node's name went to the host with the node.
    for (const vxrtest::NodeRecord& n : host.nodes())
        if (n.sv->isIsolatedPort) VXR_free(const_cast<char*>(n.libName));
    EXPECT_EQ(vxr_test::liveBlocks(), start) << "blocks left behind";
}

TEST(LambretAllocation, EveryAllocationOfEveryStepMayFail) {
    for (int terminals : {3, 2}) {
        for (int s = Create; s < NumSteps; ++s) {
            SCOPED_TRACE(std::string(kStepNames[s]) + ", " + std::to_string(terminals) + " terminals");
            const int failures =
                vxr_test::sweepAllocationFailures([&](int k) { life(k, static_cast<Step>(s), terminals); });
            if (s == Create) {
                EXPECT_GE(failures, 4); // instance, private record, ports, state variables
            }
        }
    }
}

} // namespace
