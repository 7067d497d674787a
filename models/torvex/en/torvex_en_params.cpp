// Parameter slots of the module, from the shared slot template over kParams.
#include <cmath>
#include <cstdio>

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

// Parameters that are each in range but together leave an equation without
// a value: an ERROR naming them and an exit request, so the instance is not
// used. The epitaxial substrate resistance takes ln((1 + b) / (1 - b)) and
// ln(4 b / (1 - b^2)) with b = 1 - 2 LEPI / PCELL, which need LEPI < PCELL / 2.
void checkConflicts(VXR_DeviceInst* inst)
{
    const Private* pr = priv(inst);
    const double LEPI = TORVEX_EN_PAR(pr, "LEPI"), PCELL = TORVEX_EN_PAR(pr, "PCELL");
    const bool eachInRange = LEPI >= 1e-8 && LEPI < HUGE_VAL && PCELL >= 1e-8 && PCELL < HUGE_VAL;
    if (!eachInRange || LEPI < 0.5 * PCELL) return;
    char text[200];
    std::snprintf(text, sizeof text,
                  "Parameters LEPI = %g and PCELL = %g conflict: LEPI must be less than PCELL / 2 (the epitaxial "
                  "substrate resistance is undefined otherwise).",
                  LEPI, PCELL);
    VXR_SimInterface* simIf = inst->pSimInterface;
    VXR_Message(simIf, inst, nullptr, MessageTypeE_ERROR, text);
    if (simIf != nullptr && simIf->pSystemRequest != nullptr) simIf->pSystemRequest("exit", 1, inst, nullptr, simIf);
}

void checkRangeAll(VXR_DeviceInst* inst, VXR_ErrorLog* log)
{
    if (Slots::checkRange(inst, log)) checkArrayParamBounds(inst, log);
    if (inst != nullptr) checkConflicts(inst);
}

} // namespace torvex_en
