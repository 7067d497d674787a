#include "test_host.h"

#include "VXR_FrameServices.h"

namespace {

TestHost* hostOf(VXR_SimInterface* si)
{
    return static_cast<TestHost*>(si->pSimInfo);
}

void onMessage(VXR_MessageTypeE type, const char* text, VXR_DeviceInst* inst, VXR_SimInterface* si)
{
    hostOf(si)->messages.push_back({type, text, inst});
}

void onSystemRequest(const char* request, int code, VXR_DeviceInst* inst, VXR_ContribLoader*, VXR_SimInterface* si)
{
    hostOf(si)->requests.push_back({request, code, inst});
}

VXR_StateVar* onSetupNode(const char* name, VXR_DeviceInst* inst, VXR_NodalInfo* info, void* cbInfo)
{
    TestHost* h = hostOf(inst->pSimInterface);
    VXR_StateVar* sv = h->newStateVar(name, inst, 1000 + static_cast<int>(h->nodes.size()));
    h->nodes.push_back({name, inst, info, cbInfo, sv});
    h->ownedNames.push_back(const_cast<char*>(name));
    return sv;
}

} // namespace

TestHost::TestHost()
{
    si.pSimInfo = this;
    si.pMessage = onMessage;
    si.pSystemRequest = onSystemRequest;
    si.pSetupNode = onSetupNode;
}

TestHost::~TestHost()
{
    for (char* n : ownedNames)
        VXR_free(n);
}

VXR_StateVar* TestHost::newStateVar(const char* name, VXR_DeviceInst* parent, int pos)
{
    VXR_StateVar& sv = stateVars.emplace_back();
    sv.varName = name;
    sv.pParent = parent;
    sv.pos = pos;
    return &sv;
}

int TestHost::exitCount() const
{
    int n = 0;
    for (const auto& r : requests)
        n += r.request == "exit" && r.code == 1;
    return n;
}

std::vector<std::string> TestHost::texts(VXR_MessageTypeE type) const
{
    std::vector<std::string> out;
    for (const auto& m : messages)
        if (m.type == type)
            out.push_back(m.text);
    return out;
}

void TestHost::clear()
{
    messages.clear();
    requests.clear();
}

std::string withInstance(const std::string& text, const char* instName, const char* moduleName)
{
    return text + "\n   [ instance '" + instName + "' of module type '" + moduleName + "' ]" +
           (VXR_REVISION == 187 ? "\n" : "");
}

TestInst::TestInst(TestHost& host, VXR_ModuleDescriptor* md, const char* name, int numPorts)
    : ports(static_cast<size_t>(numPorts), nullptr)
{
    inst.instName = name;
    inst.pModuleDescriptor = md;
    inst.pSimInterface = &host.si;
    inst.numOfPorts = numPorts;
    inst.pPorts = ports.data();
}

void freeTestArray(VXR_Array* a)
{
    if (!a)
        return;
    VXR_free(a->_data._pReal);
#if VXR_REVISION == 187
    VXR_free(a->_pLeftBounds);
    VXR_free(a->_pRightBounds);
#endif
    VXR_free(a);
}

VXR_Array* makeArray(VXR_DeviceInst* parent, VXR_ArrayTypeE type, const char* name, int left, int right,
                     const std::vector<double>& values)
{
    VXR_Array* a = VXR_createArray(parent, type, name);
    VXR_setArrayBounds(a, left, right);
    for (size_t k = 0; k < values.size() && static_cast<int>(k) < a->_dataLen; ++k) {
        if (type == VXR_REAL_ARRAY)
            a->_data._pReal[k] = values[k];
        else
            a->_data._pInt[k] = static_cast<int>(values[k]);
    }
    return a;
}
