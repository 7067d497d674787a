// Analysis options of the test host, the analyses it runs and the error a
// user sees.
#pragma once

#include "vxrhost/SparseSolver.h"

#include <map>
#include <stdexcept>
#include <string>

namespace vxr {

inline constexpr double kPi = 3.14159265358979323846;

// A failure the user should see (bad netlist, library failure, no convergence).
struct SimError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class AnalysisKind { OP, DC, AC, TRAN };

// Parameters of the DC continuation strategies (DcContinuation.cpp), with
// their .options names.
struct DcContinuationOptions {
    double gminStart = 1e-2;    // gmin stepping: the first shunt conductance (gminstart)
    double gminFactor = 100.0;  // its reduction per stage (gminfactor); a failed stage retries at a tenth of it
    double srcStep = 0.1;       // source stepping: first step of the source scale (srcstep)
    double srcStepMax = 0.25;   // largest step of the scale (srcstepmax)
    double srcStepMin = 1e-6;   // smallest step before source stepping gives up (srcstepmin)
    double srcStepFails = 2;    // failed steps after which source stepping gives up (srcstepfails)
    double ptranG = 1e-3;       // pseudo-transient: first conductance to the last point (ptrang)
    double ptranGMax = 1e6;     // largest conductance before it gives up (ptrangmax)
    double ptranShrink = 4.0;   // reduction of the conductance per converged step
    double ptranGStiff = 30.0;  // first conductance of the pseudo-transient from a stiff anchor
    double ptranStiffShrink = 32.0; // its reduction per converged step
    int ptranStiffGrows = 1;        // its growths of the conductance while its first step fails
    double ptranSteps = 400;    // most pseudo time steps (ptransteps)
};

struct Options {
    double reltol = 1e-3;
    double vntol = 1e-6;   // absolute tolerance on voltages
    double abstol = 1e-12; // absolute tolerance on currents
    double chgtol = 1e-14;
    double gmin = 1e-12;   // gmin stepping's last stage; ties a module's isolated nodes to ground
    double trtol = 7.0;    // truncation-error tolerance factor
    double vlimit = 1.0;   // Newton step limit (V) on a model instance's voltages, see Simulator::newton
    int itl1 = 100;        // Newton iterations for a DC point
    int itl4 = 50;         // Newton iterations per time point
    DcContinuationOptions dc;
    long tranStepLimit = 0; // time steps (tried) per transient; 0: automatic (see Simulator::tran)
    bool trapezoidal = true;
    bool gear = false; // second-order BDF (trapezoidal is then false)
    SolverKind solver = defaultSolver(); // the linear solver (SparseSolver.h)
    double temp = 27.0;    // Celsius
    double tnom = 27.0;
    unsigned seed = 1;
    std::map<std::string, double> simParams;  // host simulation parameters
    std::map<int, double> defaults;           // VXR_DefaultTypeE -> value for pGetDefault
};

} // namespace vxr
