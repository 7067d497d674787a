#include "fixture_module.h"

#if VXR_REVISION == 187
#define ROW(name, type, loc) {name, type, loc, loc, nullptr}
#elif VXR_REVISION == 160
#define ROW(name, type, loc) {name, type, loc, loc}
#else
#define ROW(name, type, loc) {name, type, loc}
#endif

namespace {

VXR_ParamDesc g_rows[] = {
    ROW("AREA", VXR_REAL_PARAM, 0),
    ROW("L", VXR_REAL_PARAM, 1),
    ROW("LEN", VXR_REAL_PARAM, 2),
    ROW("LL", VXR_REAL_PARAM, 3),
    ROW("N", VXR_INT_PARAM, 0),
    ROW("TYPE", VXR_STRING_PARAM, 0),
    ROW("coef", VXR_ARRAY_OF_REAL_PARAM, 0),
    ROW("l", VXR_INT_PARAM, 1),
    ROW("taps", VXR_ARRAY_OF_INT_PARAM, 1),
    ROW(nullptr, VXR_INVALID_PARAM, -1),
};

const char* g_terminals[] = {"EXT", "INT", "BULK"};

FixturePriv* priv(VXR_DeviceInst* inst)
{
    return static_cast<FixturePriv*>(inst->pPrivateInfo);
}

void flagNegative(double v, int* flag)
{
    if (flag && v < 0)
        *flag = 1;
}

#if VXR_REVISION == 187
void modifyReal(VXR_DeviceInst* inst, int loc, double v, int* flag)
#else
void modifyReal(VXR_DeviceInst* inst, int loc, int* flag, double v)
#endif
{
    fixtureCalls().push_back({'r', inst, loc, v, nullptr, flag});
    if (priv(inst))
        priv(inst)->reals[loc] = v;
    flagNegative(v, flag);
}

void modifyInt(VXR_DeviceInst* inst, int loc, int v, int* flag)
{
    fixtureCalls().push_back({'i', inst, loc, static_cast<double>(v), nullptr, flag});
    if (priv(inst))
        priv(inst)->ints[loc] = v;
    flagNegative(v, flag);
}

void modifyRealArray(VXR_DeviceInst* inst, int loc, VXR_Array* a, int* flag)
{
    fixtureCalls().push_back({'R', inst, loc, 0.0, a, flag});
}

void modifyIntArray(VXR_DeviceInst* inst, int loc, VXR_Array* a, int* flag)
{
    fixtureCalls().push_back({'I', inst, loc, 0.0, a, flag});
}

void modifyString(VXR_DeviceInst* inst, int loc, const char* s, int* flag)
{
    fixtureCalls().push_back({'s', inst, loc, 0.0, s, flag});
    if (priv(inst))
        priv(inst)->str = s;
}

double getReal(VXR_DeviceInst* inst, int loc)
{
    return priv(inst)->reals[loc];
}

int getInt(VXR_DeviceInst* inst, int loc)
{
    return priv(inst)->ints[loc];
}

} // namespace

std::vector<ModifyCall>& fixtureCalls()
{
    static std::vector<ModifyCall> calls;
    return calls;
}

VXR_ModuleDescriptor fixtureDescriptor()
{
    VXR_ModuleDescriptor md{};
    md.moduleName = "fixmod";
    md.numOfParams = FIXTURE_NUM_PARAMS;
    md.paramDescArray = g_rows;
    md.numOfTerminals = 3;
    md.terminalNames = g_terminals;
#if VXR_REVISION != 187
    md.numOfTerminalsToo = 3;
#endif
    md.algebraicModule = 1;
    md.pModifyRealParam = modifyReal;
    md.pModifyIntParam = modifyInt;
    md.pModifyRealArrayParam = modifyRealArray;
    md.pModifyIntArrayParam = modifyIntArray;
    md.pModifyStringParam = modifyString;
    md.pGetRealParam = getReal;
    md.pGetIntParam = getInt;
    return md;
}

void freeTestArray(VXR_Array* a)
{
    VXR_freeArray(a);
}

std::vector<double> realElements(const VXR_Array* a)
{
    return std::vector<double>(a->_data._pReal, a->_data._pReal + a->_dataLen);
}

std::vector<int> intElements(const VXR_Array* a)
{
    return std::vector<int>(a->_data._pInt, a->_data._pInt + a->_dataLen);
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
