// A host table and a loader that record every call the runtime makes,
// with the handles and values passed. One host at a time (g_host).
#pragma once

#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "VXR_Operators.h"

// Handle objects the host hands out; the runtime passes them back unchanged.
struct Handle {
    std::string kind; // "rhs", "rhsQ", "doublet"
    VXR_StateVar* a;
    VXR_StateVar* b;
    VXR_StateVar* c;
    VXR_StampTargetE target;
    VXR_DepTypeE dep;
};

struct Call {
    std::string fn;
    std::vector<void*> ptrs; // handles, state variables, names ... in argument order
    std::vector<double> vals;
    int num = 0;             // count or integer argument
    VXR_DeviceInst* inst = nullptr;
    void* cbInfo = nullptr;
    VXR_ContribLoader* ldr = nullptr;
};

struct RecordingHost {
    VXR_SimInterface sim{};
    VXR_ContribLoader ldr{};
    VXR_DeviceInst inst{};
    VXR_ModuleDescriptor desc{};

    std::vector<Call> calls;
    std::deque<VXR_StateVar> nodes;
    std::deque<std::string> nodeNames;
    std::deque<Handle> handles;
    std::map<VXR_StateVar*, double> sol; // pGetSol answers
    double defaultValue = 0.0;            // pGetDefault answer
    unsigned long analysisMask = VXR_ANALYSIS_AC;

    RecordingHost();
    ~RecordingHost();

    // Calls with the given function name, in order.
    std::vector<Call> only(const std::string& fn) const;
    std::vector<std::string> names() const;
    VXR_StateVar* newNode(const char* name);
};

extern RecordingHost* g_host;
