// Checks of the descriptor slots a compiled module of revision 1.60 or 1.42
// shares with every other, driven through a ModuleHost: creation against the
// terminal count and width records, the fresh instance record, output
// variables, parameters by name, bad locations and the range-check log.
// A module's test keeps its own cases and values; these check the rules.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "error_log_buffer.h"
#include "module_host.h"

#if VXR_REVISION == 187
#error "module_checks.h drives the 1.60 and 1.42 slot signatures"
#endif

namespace vxrtest {

// A terminal count and width records a host may hand to pCreateInstance,
// and the messages the module must send about them.
struct PortCase {
    const char* what;
    int nTerms;
    std::vector<int> widths; // empty: no width records
    std::vector<std::string> messages;
};

// Creates instance "m1" as `c` says, terminals past the module's own named
// "X". The arrays are exactly as long as announced, on the heap, so that
// AddressSanitizer catches a read past them. Each message of `c` (with
// `ctx`, the instance context, appended) must have reached the host as an
// ERROR of the instance with one "exit" request (code 1), and the ports
// hold the terminals given, NULL past them. Returns the instance.
inline VXR_DeviceInst* createForPortCase(ModuleHost& h, const PortCase& c, const std::string& ctx)
{
    const int n = h.module->numOfTerminals;
    for (int k = n; k < c.nTerms; ++k) h.terminals.push_back(h.terminal("X"));
    std::unique_ptr<VXR_StateVar*[]> terms(new VXR_StateVar*[std::max(c.nTerms, 1)]);
    for (int k = 0; k < c.nTerms; ++k) terms[k] = h.terminals[k];
    std::unique_ptr<int[][3]> widths;
    if (!c.widths.empty()) {
        widths.reset(new int[c.widths.size()][3]());
        for (size_t k = 0; k < c.widths.size(); ++k) widths[k][0] = c.widths[k];
    }
    VXR_DeviceInst* inst = h.module->pCreateInstance("m1", h.sim(), nullptr, c.nTerms, widths.get(), terms.get(), 0,
                                                     nullptr);
    if (inst == nullptr) {
        ADD_FAILURE() << "no instance";
        return nullptr;
    }
    std::vector<std::string> expected;
    for (const std::string& m : c.messages) expected.push_back(m + ctx);
    EXPECT_EQ(h.messageTexts(), expected);
    for (const MessageRecord& m : h.messages()) {
        EXPECT_EQ(m.type, MessageTypeE_ERROR);
        EXPECT_EQ(m.inst, inst);
    }
    EXPECT_EQ(h.requests().size(), c.messages.size());
    EXPECT_EQ(h.exitRequests(), static_cast<int>(c.messages.size()));
    EXPECT_EQ(inst->numOfPorts, n);
    for (int k = 0; k < n; ++k) EXPECT_EQ(inst->pPorts[k], k < std::min(c.nTerms, n) ? h.terminals[k] : nullptr) << k;
    return inst;
}

// An instance "m1" just made by pCreateInstance under `parent`: its links and
// counts, `stateVars` state-variable slots still empty, no children, noise
// sources, events or files, a private record; creation asked the host for
// the temperature only.
inline void expectFreshRecord(ModuleHost& h, const VXR_DeviceInst* inst, const VXR_DeviceInst* parent, int stateVars)
{
    EXPECT_STREQ(inst->instName, "m1");
    EXPECT_EQ(inst->fullName, nullptr);
    EXPECT_EQ(inst->pParent, parent);
    EXPECT_EQ(inst->pSimInterface, h.sim());
    EXPECT_EQ(inst->pModuleDescriptor, h.module);
    EXPECT_EQ(inst->numOfStateVars, stateVars);
    for (int i = 0; i < inst->numOfStateVars; ++i) EXPECT_EQ(inst->pStateVars[i], nullptr);
    EXPECT_EQ(inst->numOfChildren, 0);
    EXPECT_EQ(inst->pChildren, nullptr);
    EXPECT_EQ(inst->numOfNoiseSrcs, 0);
    EXPECT_EQ(inst->pNoiseSrcs, nullptr);
    EXPECT_EQ(inst->numOfEvents, 0);
    EXPECT_EQ(inst->pEvents, nullptr);
    EXPECT_EQ(inst->numOfReserved, 0);
    EXPECT_EQ(inst->pFileDescList, nullptr);
    EXPECT_NE(inst->pPrivateInfo, nullptr);
    ASSERT_EQ(h.log().size(), 1u) << "creation asks the host for the temperature only";
    EXPECT_EQ(h.log()[0].call, Call::GetTemperature);
}

// pGetOutVarInfo for `known` (one of the module's variables) and three it
// must leave alone: an index past the module's variables, an array kind and
// a negative index. A call for no variables writes nothing; every answer
// points back at its request. Returns the value written for `known`.
inline decltype(VXR_OutVal::outVal) outVarValue(VXR_DeviceInst* inst, VXR_OutVarDesc known)
{
    const VXR_ModuleDescriptor& md = *inst->pModuleDescriptor;
    VXR_OutVarDesc descs[4] = {known,
                               {"b", VXR_OUT_REALVAR, "", "", 100000},
                               {"c", VXR_OUT_REALVAR_ARRAY, "", "", 0},
                               {"d", VXR_OUT_INTVAR, "", "", -3}};
    VXR_OutVal vals[4];
    for (auto& v : vals) {
        v.pOutVarDesc = nullptr;
        v.outVal.realVal = -7.0;
    }
    md.pGetOutVarInfo(inst, 0, descs, vals);
    EXPECT_EQ(vals[0].pOutVarDesc, nullptr);
    md.pGetOutVarInfo(inst, 4, descs, vals);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(vals[i].pOutVarDesc, &descs[i]);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(vals[i].outVal.realVal, -7.0) << descs[i].name;
    return vals[0].outVal;
}

// Parameter values by name through the instance's get slots.
inline double realParam(VXR_DeviceInst* inst, const std::string& name)
{
    const VXR_ModuleDescriptor& md = *inst->pModuleDescriptor;
    return md.pGetRealParam(inst, paramRow(md, name)->paramLocation);
}
inline int intParam(VXR_DeviceInst* inst, const std::string& name)
{
    const VXR_ModuleDescriptor& md = *inst->pModuleDescriptor;
    return md.pGetIntParam(inst, paramRow(md, name)->paramLocation);
}

// Names the range-check pass logs into a fresh log of `capacity` entries.
inline std::vector<std::string> rangeViolations(VXR_DeviceInst* inst, int capacity)
{
    ErrorLogBuffer l(capacity);
    inst->pModuleDescriptor->pCheckRange(inst, &l.log);
    return l.names();
}

// The range-check pass of an instance whose first violations, in order, are
// `first`: a log already full gets nothing; a log holding an earlier entry
// keeps it and appends up to its capacity.
inline void expectRangeLogsFullAndShared(VXR_DeviceInst* inst, const std::vector<std::string>& first)
{
    const VXR_ModuleDescriptor& md = *inst->pModuleDescriptor;
    ErrorLogBuffer full(2);
    full.log.length = 2;
    full.str[0] = full.str[1] = nullptr;
    md.pCheckRange(inst, &full.log);
    EXPECT_EQ(full.log.length, 2);
    EXPECT_EQ(full.str[0], nullptr);

    ErrorLogBuffer shared(1 + static_cast<int>(first.size()));
    static char earlier[] = "X";
    shared.log.length = 1;
    shared.str[0] = earlier;
    md.pCheckRange(inst, &shared.log);
    std::vector<std::string> expected = {"X"};
    expected.insert(expected.end(), first.begin(), first.end());
    EXPECT_EQ(shared.names(), expected);
    EXPECT_EQ(shared.inst[1], inst);
}

// Modify and get at locations outside the module's real and integer tables:
// the modify is flagged and ignored, the get reads 0.
inline void expectLocationsIgnored(VXR_DeviceInst* inst, std::initializer_list<int> realLocations,
                                   std::initializer_list<int> intLocations)
{
    const VXR_ModuleDescriptor& md = *inst->pModuleDescriptor;
    for (int loc : realLocations) {
        int flag = 0;
        md.pModifyRealParam(inst, loc, &flag, 1.0);
        EXPECT_EQ(flag, 1) << loc;
        EXPECT_EQ(md.pGetRealParam(inst, loc), 0.0) << loc;
    }
    for (int loc : intLocations) {
        int flag = 0;
        md.pModifyIntParam(inst, loc, 1, &flag);
        EXPECT_EQ(flag, 1) << loc;
        EXPECT_EQ(md.pGetIntParam(inst, loc), 0) << loc;
    }
}

// A device state of an instance without events or children: `slots`
// operator slots, all NULL (the operators keep no history), and a private
// block. Returns the block, or NULL after a failure.
inline void** deviceStateBlock(const VXR_DeviceState* st, const VXR_DeviceInst* inst, int slots)
{
    EXPECT_EQ(st->numOfOperatorStates, slots);
    for (int i = 0; i < slots; ++i) EXPECT_EQ(st->pOperatorState[i], nullptr) << i;
    EXPECT_EQ(st->numOfEventStates, 0);
    EXPECT_EQ(st->pChildState, nullptr);
    EXPECT_EQ(st->pDevice, inst);
    EXPECT_NE(st->pPrivateInfo, nullptr);
    return static_cast<void**>(st->pPrivateInfo);
}

#if VXR_REVISION == 160
// Instances destroyed at every stage of their life: just created, finalized,
// ready (created with `assn`), and NULL. LeakSanitizer (sanitizer build)
// reports any block left behind.
inline void destroyAtEveryStage(ModuleHost& h, std::vector<VXR_ParamAssn> assn)
{
    const VXR_ModuleDescriptor& md = *h.module;
    md.pDestroyDevice(h.create());
    VXR_DeviceInst* finalized = h.create();
    md.pFinalizeTopology(finalized, h.cbInfo);
    md.pDestroyDevice(finalized);
    md.pDestroyDevice(h.createReady(std::move(assn)));
    md.pDestroyDevice(nullptr);
}
#endif

} // namespace vxrtest
