// Parameter slots of the module, from the shared slot template over kParams.
#include "module_slots.h"
#include "torvex_en.h"

namespace torvex_en {
namespace {

struct Policy {
    using Private = torvex_en::Private;
    static constexpr const ParamRow (&params)[kNumParams] = kParams;
    static constexpr int kNumRealParams = torvex_en::kNumRealParams;
    static constexpr int kNumIntParams = torvex_en::kNumIntParams;
    static Private* priv(VXR_DeviceInst* inst) { return torvex_en::priv(inst); }
};
using Slots = torvex_module::ParamSlots<Policy>;

} // namespace

void modifyRealParam(VXR_DeviceInst* inst, int location, int* rangeViolation, double value)
{
    Slots::modifyReal(inst, location, rangeViolation, value);
}
void modifyIntParam(VXR_DeviceInst* inst, int location, int value, int* rangeViolation)
{
    Slots::modifyInt(inst, location, value, rangeViolation);
}
double getRealParam(VXR_DeviceInst* inst, int location) { return Slots::getReal(inst, location); }
int getIntParam(VXR_DeviceInst* inst, int location) { return Slots::getInt(inst, location); }
void setParameters(VXR_DeviceInst* inst, int numAssignments, VXR_ParamAssn* assignments)
{
    Slots::setParameters(inst, numAssignments, assignments);
}

// The module has no array parameters.
void checkArrayParamBounds(VXR_DeviceInst*, VXR_ErrorLog*) {}

void checkRangeAll(VXR_DeviceInst* inst, VXR_ErrorLog* log)
{
    if (Slots::checkRange(inst, log)) checkArrayParamBounds(inst, log);
}

} // namespace torvex_en
