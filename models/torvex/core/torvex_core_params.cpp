// TORVEX_CORE parameter slots, from the shared slot template over kParams.
#include "module_slots.h"
#include "torvex_core.h"

namespace torvex_core {
namespace {

struct Policy {
    using Private = torvex_core::Private;
    static constexpr const ParamRow (&params)[kNumParams] = kParams;
    static constexpr int kNumRealParams = torvex_core::kNumRealParams;
    static constexpr int kNumIntParams = torvex_core::kNumIntParams;
    static Private* priv(VXR_DeviceInst* inst) { return torvex_core::priv(inst); }
};
using Slots = torvex_module::ParamSlots<Policy>;

} // namespace

void _module1_modifyRealParam(VXR_DeviceInst* inst, int location, int* rangeViolation, double value)
{
    Slots::modifyReal(inst, location, rangeViolation, value);
}
void _module1_modifyIntParam(VXR_DeviceInst* inst, int location, int value, int* rangeViolation)
{
    Slots::modifyInt(inst, location, value, rangeViolation);
}
double _module1_getRealParam(VXR_DeviceInst* inst, int location) { return Slots::getReal(inst, location); }
int _module1_getIntParam(VXR_DeviceInst* inst, int location) { return Slots::getInt(inst, location); }
void _module1_setParameters(VXR_DeviceInst* inst, int numAssignments, VXR_ParamAssn* assignments)
{
    Slots::setParameters(inst, numAssignments, assignments);
}
void _module1_checkRangeAll(VXR_DeviceInst* inst, VXR_ErrorLog* log) { Slots::checkRange(inst, log); }

} // namespace torvex_core
