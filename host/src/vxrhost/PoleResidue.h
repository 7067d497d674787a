// Host objects of pole-residue branches (revisions 1.60 and 1.42): the host
// reads the decomposition from the library's branch record and computes the
// branch's response: H(0) at DC, H(jw) in AC, and in transient the recursive
// convolution of each pole term with the piecewise-linear argument.
#pragma once
#include <complex>
#include <cstddef>
#include <utility>
#include <vector>

#include "vxrhost/Circuit.h"
#include "VXR_Interface.h"

namespace vxr {

// The library's branch record, as the host reads it.
struct PoleResRecord {
    const char* name;
    void* parent;
    int numQuotCoeffs;
    double* quotCoeffs;
    int numPoles;
    VXR_Cmplx* poles;
    int* poleMult;
    VXR_Cmplx** residues; // [pole][k]: coefficient of 1/(s - p)^(k+1)
    char reserved[8];
    void* branchVar;
    void* rhsBranch;
    void* dbtBranch;
    void* hostObject;
    int coeffsChanged;
    void* freqResponse;
};
static_assert(offsetof(PoleResRecord, numPoles) == (sizeof(void*) == 8 ? 32 : 16), "pole-residue record");
static_assert(offsetof(PoleResRecord, reserved) == (sizeof(void*) == 8 ? 64 : 32), "pole-residue record");
static_assert(offsetof(PoleResRecord, coeffsChanged) == (sizeof(void*) == 8 ? 104 : 56), "pole-residue record");

class PoleResponse {
public:
    explicit PoleResponse(const PoleResRecord* r) : rec_(r) {}
    // H(s), polynomial part included.
    std::complex<double> transfer(std::complex<double> s) const;
    // The value the branch row gets for the argument in this pass; gain()
    // is its derivative with respect to the argument.
    double value(double arg, const EvalContext& ctx);
    double gain() const { return gain_; }
    // Commits the state at an accepted point.
    void accept(const EvalContext& ctx);
    // Derivative loads of the last full pass (doublet, derivative), which AC
    // extends from the DC gain to H(jw).
    std::vector<std::pair<void*, double>> acTerms;

private:
    bool history(const EvalContext& ctx) const { return ctx.analysis == AnalysisKind::TRAN && !ctx.initialStep; }
    void steady(double x);
    double propagate(double h, double x0, double x1, std::vector<std::complex<double>>* out, double* gain) const;
    int terms() const;

    const PoleResRecord* rec_;
    std::vector<std::complex<double>> z_; // per pole and power, at tAcc_
    double tAcc_ = 0.0, xAcc_ = 0.0, lastArg_ = 0.0, gain_ = 0.0;
};

} // namespace vxr
