// Fixture module for the frame tests (compiled per revision).
#ifndef VXR_TESTS_FIXTURE_MODULE_H
#define VXR_TESTS_FIXTURE_MODULE_H

#include "VXR_SupportLib.h"

// Module "FIXRC": terminals p, n; parameters C, LEVEL, R; internal node mid.
extern VXR_ModuleDescriptor FixtureModuleInfo;
// Frees an instance (revision 1.42 has no destroy slot).
void fixtureFreeInstance(VXR_DeviceInst* inst);

#endif
