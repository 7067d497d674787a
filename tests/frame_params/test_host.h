// Recording host table and helpers for the parameter, port and array tests.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "VXR_SupportLib.h"

// Makes the stand-in allocators fail once, after `skip` more successes.
void stubFailAllocationAfter(int skip);

struct HostMessage {
    VXR_MessageTypeE type;
    std::string text;
    VXR_DeviceInst* inst;
};

struct HostRequest {
    std::string request;
    int code;
    VXR_DeviceInst* inst;
};

struct HostNode {
    std::string name;
    VXR_DeviceInst* inst;
    VXR_NodalInfo* info;
    void* cbInfo;
    VXR_StateVar* sv;
};

// A host table whose pSimInfo points back here; every callback records.
struct TestHost {
    VXR_SimInterface si{};
    std::vector<HostMessage> messages;
    std::vector<HostRequest> requests;
    std::vector<HostNode> nodes;
    std::deque<VXR_StateVar> stateVars; // stable addresses
    std::vector<char*> ownedNames;      // node names handed over by the library

    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    VXR_StateVar* newStateVar(const char* name, VXR_DeviceInst* parent, int pos);
    int exitCount() const;
    std::vector<std::string> texts(VXR_MessageTypeE type) const;
    void clear();
};

// The text VXR_Message composes for a message about an instance.
std::string withInstance(const std::string& text, const char* instName, const char* moduleName);

// An instance record of a fixture module with its port slots.
struct TestInst {
    VXR_DeviceInst inst{};
    std::vector<VXR_StateVar*> ports;
    TestInst(TestHost& host, VXR_ModuleDescriptor* md, const char* name, int numPorts);
};

// Frees an array made by the runtime (record, bounds, elements).
void freeTestArray(VXR_Array* a);

// An array of the given type with one bound pair and the given values.
VXR_Array* makeArray(VXR_DeviceInst* parent, VXR_ArrayTypeE type, const char* name, int left, int right,
                     const std::vector<double>& values);
