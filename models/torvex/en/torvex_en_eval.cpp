// Evaluation entry points.
//
// The analog block is not in yet: the loads load nothing and the zero-bias
// evaluation only sets what it guarantees (both orientations +1 at zero bias).
#include "torvex_en.h"

namespace torvex_en {

void staticCheck(VXR_DeviceInst* inst, VXR_ContribLoader*)
{
    Private* pr = priv(inst);
    pr->vars.CHDIR = 1;
    pr->vars.DRDIR = 1;
}

void genericAnalogLoad(VXR_DeviceInst*, VXR_ContribLoader*) {}

void genericAnalogLoadRHS(VXR_DeviceInst*, VXR_ContribLoader*) {}

void doAnalogStrobe(VXR_DeviceInst* inst, VXR_ContribLoader* loader) { genericAnalogLoadRHS(inst, loader); }

} // namespace torvex_en
