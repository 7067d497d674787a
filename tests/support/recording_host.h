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
//
// Besides the callbacks a module reaches while it is driven, the table has
// the services the runtime reaches on its own: debug events, cross-event
// save/restore, the 1.42 host free members, noise reports and files (real
// files; tempFile() makes one the host removes again).
#ifndef VXR_TESTS_RECORDING_HOST_H
#define VXR_TESTS_RECORDING_HOST_H

#include <stdint.h>
#include <stdio.h>

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
    ReportNoiseContrib, // 1.87, 1.60
    HandleDebugEvent,
    SaveCrossEvent,
    RestoreCrossEvent,
    HostFree,         // 1.42 host free members; details in hostFrees()
    FileOpen,         // file services; details in fileCalls()
    FileClose,
    FileWrite,
    FileScanf,
    FileFlush,
    FileSeek,
    FileTell,
    CreateRegPort,    // 1.87
    SeedRand,         // random generator; details in randCalls()
    Rand,
    // loader table
    GetSol,
    BatchLoad,
    LoadRhsAC,        // any batch load; details in batches()
    DoStrobe,
    DoDisplay,
    DoNoise,
    GetDefault,
    GetTime,
    GetAnalysisQueryMask,
    IsInitialStep,
    IsFinalStep,
    GetD2AElement,    // 1.87 mixed-signal loader (recordMixedSignal()); details in d2aReads()
    GetEnvSol,        // 1.87 mixed-signal loader; details in envSols()
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
    const char* libName; // the name pointer the library passed (it may own it)
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
    VXR_SimInterface* sim; // the table the message came through
    // text split at its context lines ("\n   [..."): the part before them and
    // the id they name ('id', instance ... or [ id ]), if any.
    std::string body;
    std::string id;
    bool hasId;
};

struct RequestRecord {
    std::string request;
    int code;
    VXR_DeviceInst* inst;
    VXR_ContribLoader* ldr;
    VXR_SimInterface* sim;
};

struct QueryMaskRecord {
    std::vector<std::string> names; // "(null)" for a NULL name
    unsigned long mask;
};

// pReportNoiseContrib: 1.87 passes a key, 1.60 a pair of state variables.
struct NoiseReportRecord {
    int count;
    void* key;
    void* key2; // 1.60's second argument; NULL in 1.87
    VXR_DeviceInst* inst;
    void* callbackInfo;
};

struct DebugEventRecord {
    VXR_DebugEventTypeE event;
    VXR_DeviceInst* inst;
    int line;
    std::string tag; // "" for NULL
    VXR_ContribLoader* ldr;
};

// pSaveCrossEvent (saved: the copy returned) and pRestoreCrossEvent (saved: the copy given).
struct CrossEventRecord {
    VXR_EventDesc* event;
    void* saved;
};

// A 1.42 host free member: kind "delay", "slew", "transition" or "poleres".
// The host releases the object with free().
struct HostFreeRecord {
    std::string kind;
    void* object;
};

struct FileRecord {
    Call call;        // FileOpen ... FileTell
    int fd;           // -1 for the stream members (seek, tell) and a failed open
    std::string name; // the file's name; "?" for a stream the host did not open
    std::string text; // open: mode; write: text; scanf: format
    long pos;         // seek: position asked; tell: answer
};

// pCreateRegPort (1.87).
struct RegPortRecord {
    std::string name;
    NetTypeE netType;
    int digRef;
    VXR_DeviceInst* inst;
    void* callbackInfo;
    VXR_StateVar* sv;
};

// pGetD2A_RealElement / pGetD2A_IntegerElement (1.87): the import, the
// digital offset and the indices that followed the size.
struct D2AReadRecord {
    bool real;
    int index;
    int offset;
    std::vector<int> indices;
    VXR_DeviceInst* inst;
};

// pGetEnvSol (1.87).
struct EnvSolRecord {
    int slot;
    VXR_StateVar* sv1;
    VXR_StateVar* sv2;
    VXR_DeviceInst* inst;
};

// pSeedRand (the seed given) or pRand (the answer).
struct RandRecord {
    bool seeding;
    int value;
};

struct AcLoadRecord {
    VXR_acSrc* src;
    VXR_StateVar* plus;
    VXR_StateVar* minus;
    double coeff;
};

struct LogEntry {
    Call call;
    size_t index; // into the list of that kind (nodes(), handles(), ...); 0 where there is none
    // Loader calls: the loader the call came through and (1.87) its
    // instance argument; NULL for host-table calls.
    VXR_ContribLoader* ldr = nullptr;
    VXR_DeviceInst* ldrInst = nullptr;
};

class RecordingHost;

// An instance record filled by hand (no module code behind it), bound to a
// host's table, with its own descriptor unless one is given and numPorts
// empty port slots.
struct InstanceRecord {
    VXR_ModuleDescriptor md{};
    VXR_DeviceInst inst{};
    std::vector<VXR_StateVar*> ports;
    InstanceRecord(RecordingHost& host, const char* name, const char* moduleName = "MOD", int numPorts = 0);
    InstanceRecord(RecordingHost& host, const char* name, const VXR_ModuleDescriptor* descriptor, int numPorts = 0);
    InstanceRecord(const InstanceRecord&) = delete;
    InstanceRecord& operator=(const InstanceRecord&) = delete;
    VXR_DeviceInst* ptr() { return &inst; }
};

// The text the runtime composes for a message about an instance.
std::string withInstance(const std::string& text, const char* instName, const char* moduleName);

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
    // dupCount to report for branches of this name instead of the count of
    // branches on the same node pair.
    void setBranchDupCount(const std::string& name, int dup) { dupCounts_[name] = dup; }
    // pRand answers these values first, in order; then the seeded generator:
    // a full-period 32-bit linear congruential stream (x * 1664525 +
    // 1013904223) from the state pSeedRand sets (0 at start), skipping
    // 0x80000000, each draw being the state as int (-2147483647 to
    // 2147483647). A draw handed back to pSeedRand continues the stream, so
    // seeds chained through the real distributions do not cycle early.
    // Transcribed in tests/random/reference/transcription.py.
    void scriptRand(std::vector<int> draws) { scriptedRand_.assign(draws.begin(), draws.end()); }
    // Record pSeedRand and pRand calls (on by default; off for long runs).
    void recordRand(bool on) { recordRand_ = on; }
    // Take over the names the library passes to pSetupNode (allocated with
    // the runtime's wrappers, as for isolated ports) and VXR_free them with
    // the host. Off by default: most names stay the library's.
    void ownNodeNames(bool on) { ownNodeNames_ = on; }

#if VXR_REVISION == 187
    // ---- mixed-signal loader ----
    // Points the loader's pAMS at the host's own recording table (it starts
    // at the runtime's DefaultAMS_ContribLoader): element getters answer
    // from setD2AElement (0 otherwise), exports land in a2dSlots(), and
    // setEnvelope(n) makes exports go to pGetEnvSol with n frequencies.
    void recordMixedSignal();
    void setD2AElement(int index, double value) { d2aValues_[index] = value; }
    void setExportSlots(int n) { a2d_.assign(static_cast<size_t>(n), -1.0); ams_.pA2D_SM = a2d_.data(); }
    void setEnvelope(int numFreqs);
    const std::vector<double>& a2dSlots() const { return a2d_; }
    AMS_ContribLoader* mixedSignal() { return &ams_; }
#endif

    // ---- files ----
    // A real temporary file with the given content; removed with the host.
    std::string tempFile(const std::string& content);
    // Name of a stream the host opened ("?" for any other).
    std::string fileName(const FILE* f) const;

    // ---- nodes the host owns ----
    // A terminal node (not recorded as a call).
    VXR_StateVar* terminal(const std::string& name);
    // A state variable with the given parent and position (not recorded as a call).
    VXR_StateVar* stateVar(const std::string& name, VXR_DeviceInst* parent, int pos);
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
    const std::vector<QueryMaskRecord>& queryMasks() const { return queryMasks_; }
    const std::vector<NoiseReportRecord>& noiseReports() const { return noiseReports_; }
    const std::vector<DebugEventRecord>& debugEvents() const { return debugEvents_; }
    const std::vector<CrossEventRecord>& crossEvents() const { return crossEvents_; } // saves and restores
    const std::vector<HostFreeRecord>& hostFrees() const { return hostFrees_; }
    const std::vector<FileRecord>& fileCalls() const { return fileCalls_; }
    const std::vector<AcLoadRecord>& acLoads() const { return acLoads_; }
    const std::vector<RegPortRecord>& regPorts() const { return regPorts_; }
    const std::vector<D2AReadRecord>& d2aReads() const { return d2aReads_; }
    const std::vector<EnvSolRecord>& envSols() const { return envSols_; }
    const std::vector<RandRecord>& randCalls() const { return randCalls_; }
    // pGetSol and pGetDefault calls: what was asked and the answer.
    const std::vector<std::pair<const VXR_StateVar*, double>>& solutionReads() const { return gets_; }
    const std::vector<std::pair<int, double>>& defaultReads() const { return defaultGets_; }
    std::vector<Call> calls() const; // kinds of log(), in order
    // The table member each logged call came through, e.g. "pSetupNode",
    // "pGetDerivDoublet", "pLoadRhsPairQ", "pFreeSlewSpec".
    std::string member(const LogEntry& e) const;
    std::vector<std::string> members() const;
    std::vector<LogEntry> entries(Call c) const; // the log entries of one kind
    size_t count(Call c) const;
    // "exit" requests with code 1 (the runtime's answer to a fatal error).
    int exitRequests() const;

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
    // Message texts, of one severity or all of them, in order.
    std::vector<std::string> messageTexts(VXR_MessageTypeE type) const;
    std::vector<std::string> messageTexts() const;
    // The last batch load of one kind, summed by handle (a foreign handle
    // under NULL); empty if there was none.
    std::map<const void*, double> lastBatch(LoadKind kind) const;

    // Forget the calls recorded so far: log, batches, messages, requests,
    // queries and service calls. Nodes, branches and handles stay (later
    // loads address them), so do open files.
    void clearLog();

private:
    friend struct HostCallbacks;
    VXR_StateVar* newStateVar(const std::string& name, VXR_DeviceInst* parent);
    void* addHandle(const HandleRecord& h);
    void addBatch(LoadKind kind, int count, void** handles, const double* values, VXR_ContribLoader* ldr,
                  VXR_DeviceInst* ldrInst);
    void record(Call c, size_t index = 0, VXR_ContribLoader* ldr = nullptr, VXR_DeviceInst* ldrInst = nullptr) {
        log_.push_back({c, index, ldr, ldrInst});
    }
    void addFileCall(FileRecord r);
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
    bool ownNodeNames_ = false;
    std::map<std::string, int> dupCounts_;
    std::vector<void*> ownedNames_;

    struct OpenFile {
        int fd;
        std::string name;
        std::string mode;
        FILE* f;
    };
    std::deque<OpenFile> files_;
    int nextFd_ = 3;
    std::vector<std::string> tempFiles_;

    std::vector<LogEntry> log_;
    std::vector<NodeRecord> nodes_;
    std::vector<BranchRecord> branches_;
    std::vector<DisciplineRecord> disciplines_;
    std::vector<TopologyRecord> topology_;
    std::vector<HandleRecord> handles_;
    std::vector<BatchRecord> batches_;
    std::vector<MessageRecord> messages_;
    std::vector<RequestRecord> requests_;
    std::vector<QueryMaskRecord> queryMasks_;
    std::vector<NoiseReportRecord> noiseReports_;
    std::vector<DebugEventRecord> debugEvents_;
    std::vector<CrossEventRecord> crossEvents_;
    std::vector<HostFreeRecord> hostFrees_;
    std::vector<FileRecord> fileCalls_;
    std::vector<AcLoadRecord> acLoads_;
    std::vector<RegPortRecord> regPorts_;
    std::vector<D2AReadRecord> d2aReads_;
    std::vector<EnvSolRecord> envSols_;
#if VXR_REVISION == 187
    AMS_ContribLoader ams_{};
    std::map<int, double> d2aValues_;
    std::vector<double> a2d_;
    VXR_ComplexNumber envSlot_{};
    double envFreq_ = 0.0;
#endif
    std::vector<RandRecord> randCalls_;
    std::deque<int> scriptedRand_;
    uint32_t randState_ = 0;
    bool recordRand_ = true;
    std::vector<std::pair<const VXR_StateVar*, double>> gets_; // GetSol calls: sv and answer
    std::vector<std::pair<int, double>> defaultGets_;          // GetDefault calls: type and answer
    std::vector<double> simpleAnswers_;                        // answers of the other queries
    std::vector<std::string> aliases_;
};

} // namespace vxrtest

#endif
