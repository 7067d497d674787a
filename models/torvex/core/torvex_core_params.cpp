// TORVEX_CORE parameter slots, from the shared slot template over kParams.
#include <cstdio>

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
// CS has no range, but the mobility-reduction factor is at least 1 only for
// CS >= 0: a negative CS adds CS (QGM - QIM)^2 / (QGM^2 + 0.01) and can make
// it 0 or negative, and the channel current NaN. Reported like a range
// violation: an ERROR naming CS and its value and an exit request.
void _module1_checkRangeAll(VXR_DeviceInst* inst, VXR_ErrorLog* log)
{
    Slots::checkRange(inst, log);
    if (inst == nullptr) return;
    const double CS = TORVEX_PAR(priv(inst), "CS");
    if (!(CS < 0.0)) return;
    char text[200];
    std::snprintf(text, sizeof text,
                  "Parameter CS = %g conflicts with the mobility model: a negative CS can make the mobility-reduction "
                  "factor 0 or negative; CS must be at least 0.",
                  CS);
    VXR_SimInterface* simIf = inst->pSimInterface;
    VXR_Message(simIf, inst, nullptr, MessageTypeE_ERROR, text);
    if (simIf != nullptr && simIf->pSystemRequest != nullptr) simIf->pSystemRequest("exit", 1, inst, nullptr, simIf);
}

} // namespace torvex_core
