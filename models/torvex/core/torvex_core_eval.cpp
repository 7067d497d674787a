// TORVEX_CORE evaluation entry points.
//
// Placeholder until the analog block lands: the loads load nothing, the
// parameter-only group and the zero-bias evaluation only set what the setup
// guarantees (orientations +1). The real evaluation replaces this file and
// fills Vars (torvex_core.h) and the load work it needs.
#include "torvex_core.h"

namespace torvex_core {

void evalParamOnly(VXR_DeviceInst*, Private*) {}

void evalStaticCheck(VXR_DeviceInst*, Private* pr, VXR_ContribLoader*)
{
    // With every node voltage 0 both orientations come out as +1.
    pr->vars.CHDIR = 1;
    pr->vars.DRDIR = 1;
}

void _module1_genericAnalogLoad(VXR_DeviceInst*, VXR_ContribLoader*) {}

void _module1_genericAnalogLoadRHS(VXR_DeviceInst*, VXR_ContribLoader*) {}

void _module1_doAnalogStrobe(VXR_DeviceInst* inst, VXR_ContribLoader* loader)
{
    _module1_genericAnalogLoadRHS(inst, loader);
}

} // namespace torvex_core
