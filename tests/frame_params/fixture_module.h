// A small module of the test's revision: a sorted parameter table (with names
// that differ only in case), modify and get slots that record their calls,
// and three scalar terminals EXT, INT, BULK.
#pragma once

#include <vector>

#include "VXR_SupportLib.h"

enum FixtureRow { ROW_AREA, ROW_L, ROW_LEN, ROW_LL, ROW_N, ROW_TYPE, ROW_coef, ROW_l, ROW_taps, FIXTURE_NUM_PARAMS };

struct FixturePriv {
    double reals[4];
    int ints[2];
    const char* str;
    VXR_Array* arrays[2];
};

struct ModifyCall {
    char kind; // 'r', 'i', 'R' (real array), 'I' (int array), 's'
    VXR_DeviceInst* inst;
    int location;
    double value; // real or int value
    const void* ptr; // text or array
    int* flag;
};

std::vector<ModifyCall>& fixtureCalls();

// A fresh copy of the fixture's descriptor (tests may change fields).
VXR_ModuleDescriptor fixtureDescriptor();

// Frees an array made by the runtime (record, bounds, elements).
void freeTestArray(VXR_Array* a);

// The _dataLen elements of an array as stored.
std::vector<double> realElements(const VXR_Array* a);
std::vector<int> intElements(const VXR_Array* a);

// An array of the given type with one bound pair and the given values.
VXR_Array* makeArray(VXR_DeviceInst* parent, VXR_ArrayTypeE type, const char* name, int left, int right,
                     const std::vector<double>& values);
