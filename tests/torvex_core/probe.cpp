#include "probe.h"

#include "torvex_core.h"

namespace probe {
using namespace torvex_core;

static Private* P(void* inst) { return priv(static_cast<VXR_DeviceInst*>(inst)); }

int recompute(void* inst) { return P(inst)->recompute; }
void setRecompute(void* inst, int value) { P(inst)->recompute = value; }
bool given(void* inst, int index) { return givenBit(P(inst), index); }
void setRth0(void* inst, double v) { P(inst)->vars.Rth0 = v; }
double rth0(void* inst) { return P(inst)->vars.Rth0; }
double tdev(void* inst) { return P(inst)->vars.Tdev; }
int drdir(void* inst) { return P(inst)->vars.DRDIR; }
int chdir(void* inst) { return P(inst)->vars.CHDIR; }
void* op(void* inst, int pos) { return P(inst)->op[pos]; }

int handleCount(int array)
{
    const int n[] = {kNumRhs, kNumRhsQ, kNumJac, kNumJacQ, kNumDdtDoublets};
    return n[array];
}

void* handle(void* inst, int array, int index)
{
    Private* pr = P(inst);
    void** a[] = {pr->rhs, pr->rhsQ, pr->jac, pr->jacQ, pr->ddtDoublet};
    return a[array][index];
}

void entry(int array, int index, std::string names[4], int* dep)
{
    for (int k = 0; k < 4; ++k) names[k].clear();
    *dep = NONLIN_DEP;
    if (array <= 1) {
        const PairReq& r = (array == 0 ? kRhsPairs : kRhsQPairs)[index];
        names[0] = kNodeNames[r.a];
        names[1] = kNodeNames[r.b];
        *dep = r.dep;
    } else if (array <= 3) {
        const QuartetReq& r = (array == 2 ? kJacQuartets : kJacQQuartets)[index];
        names[0] = kNodeNames[r.ra];
        names[1] = kNodeNames[r.rb];
        names[2] = kNodeNames[r.ca];
        names[3] = kNodeNames[r.cb];
        *dep = r.dep;
    } else {
        const DoubletReq& r = kDdtDoublets[index];
        names[0] = kOpNames[r.op];
        names[1] = kNodeNames[r.a];
        names[2] = kNodeNames[r.b];
    }
}

} // namespace probe
