// A host for tests: builds the host callback table and the loader table of
// the revision it is compiled for (VXR_REVISION), records every call the
// library makes through them, and answers with values the test scripts.
//
//   vxrtest::RecordingHost host;
//   VXR_StateVar* p = host.terminal("p");
//   VXR_DeviceInst* inst = host.createInstance(&ModuleInfo, "r1", {p, n}, {host.real("R", 2.0)});
//   host.finalize(inst);
//   host.setStamp(inst);
//   host.setSolution(p, 1.0);
//   host.load(inst);
//   EXPECT_EQ(host.trace(), (std::vector<std::string>{...}));
//
// Handles returned by the stamp getters are 1 + the index of the request in
// handles(), so a batch load can be read back as the requests it addresses.
// State variables are host records with stable addresses; node positions
// count from 1 (terminals and internal nodes alike, in creation order).
#ifndef VXR_TESTS_RECORDING_HOST_H
#define VXR_TESTS_RECORDING_HOST_H

#include <stdint.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "VXR_SupportLib.h"

namespace vxrtest {

// Kind of one recorded call, in the order the calls arrived (see log()).
enum class Call {
    // host callback table
    SetupNode,
    CreateBranch,
    CreateNodalAlias,
    ReportDiscipline,
    GetHandle,        // any stamp getter; details in handles()
    GetTemperature,
    FormAnalysisQueryMask,
    Message,
    ProhibitConvergence,
    SystemRequest,
    ComposeFullName,
    ReportTopology,   // 1.87
    // loader table
    GetSol,
    BatchLoad,        // any batch load; details in batches()
    DoStrobe,
    DoDisplay,
    DoNoise,
    GetDefault,
    GetTime,
    GetAnalysisQueryMask,
    IsInitialStep,
    IsFinalStep,
};

enum class HandleKind { RhsPair, RhsPairQ, RhsOpEntry, DerivDoublet, DerivQuartet };
enum class LoadKind { RhsPair, RhsPairQ, DerivQuartet, DerivDoublet, DerivQuartetQ, DerivDoubletQ };

const char* toString(Call);
const char* toString(HandleKind);
const char* toString(LoadKind);
const char* toString(VXR_MessageTypeE);

struct NodeRecord {
    std::string name;
    VXR_DeviceInst* inst;
    VXR_NodalInfo* info;
    void* callbackInfo;
    VXR_StateVar* sv; // the node the host returned
};

struct BranchRecord {
    std::string name;
    VXR_BranchTypeE type;
    VXR_StateVar* pos;
    VXR_StateVar* neg;
    VXR_DeviceInst* inst;
    VXR_StateVar* sv; // its pBranchInfo->dupCount counts branches on the same node pair
};

struct DisciplineRecord {
    VXR_StateVar* sv;
    const VXR_DisciplineDescriptor* discipline;
    VXR_DeviceInst* inst;
};

struct TopologyRecord {
    VXR_StateVar* pos;
    VXR_StateVar* neg;
    VXR_TopologyTypeE type;
    std::string name;
    VXR_DeviceInst* inst;
};

// One stamp-getter request. Unused state-variable slots are NULL; for the
// RHS pair getters target is DC_ENTRY (RhsPair) or DDT_ENTRY (RhsPairQ).
struct HandleRecord {
    HandleKind kind;
    VXR_StateVar* sv[4];
    VXR_StampTargetE target;
    VXR_DepTypeE dep;
    VXR_DeviceInst* inst;
    void* callbackInfo;
};

struct BatchRecord {
    LoadKind kind;
    std::vector<int> handles; // handle indices (index into handles(); -1 for a foreign pointer)
    std::vector<double> values;
};

struct MessageRecord {
    VXR_MessageTypeE type;
    std::string text;
    VXR_DeviceInst* inst;
};

struct RequestRecord {
    std::string request;
    int code;
    VXR_DeviceInst* inst;
    VXR_ContribLoader* ldr;
};

struct LogEntry {
    Call call;
    size_t index; // into the list of that kind (nodes(), handles(), ...); 0 where there is none
};

class RecordingHost {
public:
    RecordingHost();
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    // The tables handed to the library (owned by the host, valid for its life).
    VXR_SimInterface* sim() { return &sim_; }
    VXR_ContribLoader* loader() { return &ldr_; }

    // ---- scripted answers ----
    void setTemperature(double kelvin) { temperature_ = kelvin; }
    void setSolution(const VXR_StateVar* sv, double value) { solution_[sv] = value; }
    void setStrobe(bool on) { strobe_ = on; }
    void setDisplay(bool on) { display_ = on; }
    void setNoise(bool on) { noise_ = on; }
    void setDefault(VXR_DefaultTypeE type, double value) { defaults_[type] = value; }
    void setAnalysisMask(unsigned long mask) { analysisMask_ = mask; }
    void setTime(double t) { time_ = t; }
    void setInitialStep(bool on) { initialStep_ = on; }
    void setFinalStep(bool on) { finalStep_ = on; }
    void setFullName(const VXR_DeviceInst* inst, std::string name) { fullNames_[inst] = std::move(name); }
    // Record pGetSol calls (on by default; loads read many values).
    void recordGetSol(bool on) { recordGetSol_ = on; }

    // ---- nodes the host owns ----
    // A terminal node (not recorded as a call).
    VXR_StateVar* terminal(const std::string& name);
    // Any state variable the host made, by name (terminal, node or branch); NULL if none.
    VXR_StateVar* find(const std::string& name) const;
    std::string nameOf(const VXR_StateVar* sv) const; // "gnd" for NULL, "?" for a foreign pointer

    // ---- driving a module ----
    static VXR_ParamAssn real(const char* name, double v);
    static VXR_ParamAssn integer(const char* name, int v);
    static VXR_ParamAssn text(const char* name, const char* v);
    VXR_DeviceInst* createInstance(const VXR_ModuleDescriptor* md, const char* name,
                                   std::vector<VXR_StateVar*> terminals, std::vector<VXR_ParamAssn> params = {},
                                   VXR_DeviceInst* parent = nullptr);
    // The topology slots the revision has, in the host's order
    // (1.87: finalize, branches, nodal info, topology; older: finalize).
    void finalize(VXR_DeviceInst* inst);
    void setStamp(VXR_DeviceInst* inst);
    void load(VXR_DeviceInst* inst);    // pGenLoad with loader()
    void loadRhs(VXR_DeviceInst* inst); // pGenLoadRHS with loader()
    void destroy(VXR_DeviceInst* inst); // pDestroyDevice (nothing in 1.42)

    // ---- what was recorded ----
    const std::vector<LogEntry>& log() const { return log_; }
    const std::vector<NodeRecord>& nodes() const { return nodes_; }
    const std::vector<BranchRecord>& branches() const { return branches_; }
    const std::vector<DisciplineRecord>& disciplines() const { return disciplines_; }
    const std::vector<TopologyRecord>& topology() const { return topology_; }
    const std::vector<HandleRecord>& handles() const { return handles_; }
    const std::vector<BatchRecord>& batches() const { return batches_; }
    const std::vector<MessageRecord>& messages() const { return messages_; }
    const std::vector<RequestRecord>& requests() const { return requests_; }
    std::vector<Call> calls() const; // kinds of log(), in order

    // The handle value of request i, and the request index of a handle (-1: not ours).
    static void* handle(size_t i) { return reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1)); }
    int handleIndex(const void* h) const;

    // One readable line per recorded call, e.g.
    //   setupNode 'mid' -> n3
    //   getDerivQuartet(p, mid, p, mid, DC) -> h2
    //   loadDerivQuartet h2=0.5 h3=-0.5
    //   message WARNING "text"
    //   systemRequest exit 1
    std::vector<std::string> trace() const;
    std::string describe(const LogEntry& e) const;
    std::string describe(const HandleRecord& h) const;
    // Messages of one severity, texts only.
    std::vector<std::string> messageTexts(VXR_MessageTypeE type) const;

    // Forget the calls recorded so far: log, batches, messages, requests and
    // queries. Nodes, branches and handles stay (later loads address them).
    void clearLog();

private:
    friend struct HostCallbacks;
    VXR_StateVar* newStateVar(const std::string& name, VXR_DeviceInst* parent);
    void* addHandle(const HandleRecord& h);
    void addBatch(LoadKind kind, int count, void** handles, const double* values);
    void record(Call c, size_t index = 0) { log_.push_back({c, index}); }
    std::string fmt(double v) const;

    VXR_SimInterface sim_;
    VXR_ContribLoader ldr_;

    std::deque<VXR_StateVar> stateVars_;
    std::deque<VXR_BranchInfo> branchInfos_;
    std::deque<std::string> names_;
    std::vector<VXR_DeviceInst*> instances_;
    std::deque<std::vector<VXR_ParamAssn>> paramLists_;
    int nextPos_ = 1;

    double temperature_ = 300.15;
    std::map<const VXR_StateVar*, double> solution_;
    bool strobe_ = false, display_ = false, noise_ = false;
    std::map<int, double> defaults_;
    unsigned long analysisMask_ = 0;
    double time_ = 0.0;
    bool initialStep_ = false, finalStep_ = false;
    std::map<const VXR_DeviceInst*, std::string> fullNames_;
    bool recordGetSol_ = true;

    std::vector<LogEntry> log_;
    std::vector<NodeRecord> nodes_;
    std::vector<BranchRecord> branches_;
    std::vector<DisciplineRecord> disciplines_;
    std::vector<TopologyRecord> topology_;
    std::vector<HandleRecord> handles_;
    std::vector<BatchRecord> batches_;
    std::vector<MessageRecord> messages_;
    std::vector<RequestRecord> requests_;
    std::vector<std::pair<const VXR_StateVar*, double>> gets_; // GetSol calls: sv and answer
    std::vector<std::pair<int, double>> defaultGets_;          // GetDefault calls: type and answer
    std::vector<double> simpleAnswers_;                        // answers of the other queries
    std::vector<std::string> aliases_;
};

} // namespace vxrtest

#endif
