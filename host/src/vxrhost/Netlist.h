// A small SPICE-like netlist: parsing, building the circuit and running the
// analyses it asks for.
#pragma once

#include "vxrhost/Analysis.h"
#include "vxrhost/ModelLibrary.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vxr {

// A netlist error; the text starts with "line N: ".
struct NetlistError : SimError {
    using SimError::SimError;
};

// Parses a number with an engineering suffix (f p n u m k meg g t, any case)
// followed by optional unit letters ("10uF", "1k", "2.5meg"). Returns false
// for anything else.
bool parseNumber(const std::string& text, double& value);

// The text of a netlist file; throws NetlistError when it cannot be read.
std::string readNetlistFile(const std::string& path);

struct AnalysisCmd {
    enum Kind { OP, DC, AC, TRAN } kind = OP;
    // "op", "dc", "ac" or "tran".
    static const char* kindName(Kind k);
    int line = 0;
    std::string source;   // DC: swept source (the inner loop)
    double a = 0, b = 0, c = 0;
    bool nested = false;  // DC: a second source in the outer loop
    SweepSpec outer;
    std::string acType;   // AC: dec, oct, lin
    int points = 0;
    TranSpec tran;
};

// What one analysis of a run took (vxrsim -s).
struct AnalysisStats {
    std::string analysis; // ".op", ".dc VD", ...
    long points = 0;
    long newtonIterations = 0;
    long loadPasses = 0, linearSolves = 0;
    long rejectedSteps = 0;
    long acceptedSteps = 0;
    double seconds = 0.0;
    bool failed = false;
    std::string text() const;
};

class Netlist {
public:
    // Parses and builds the circuit; throws NetlistError on a bad netlist.
    // baseDir resolves relative library paths.
    static std::unique_ptr<Netlist> parse(const std::string& text, const std::string& baseDir = ".");
    static std::unique_ptr<Netlist> parseFile(const std::string& path);

    Circuit& circuit() { return *circuit_; }
    const std::vector<AnalysisCmd>& analyses() const { return analyses_; }

    // Runs every analysis in netlist order; throws SimError on failure.
    std::vector<Table> run();
    // The same, handing each analysis's table to onTable as it ends. When an
    // analysis fails, onTable gets its rows so far (complete false, failure
    // set) before run throws.
    void run(const std::function<void(const Table&, const AnalysisCmd&)>& onTable);
    // One entry per analysis that run() started, the failed one included.
    const std::vector<AnalysisStats>& statistics() const { return stats_; }
    // Probes for an analysis (its own .print, else the generic ones, else a default set).
    std::vector<Probe> probesFor(AnalysisCmd::Kind kind) const;

    // One quantity of a .print line.
    struct PrintItem {
        std::string text;
        int line;
    };

private:
    Probe makeProbe(const std::string& item, AnalysisCmd::Kind kind, int line) const;

    std::unique_ptr<Circuit> circuit_;
    std::vector<AnalysisCmd> analyses_;
    std::vector<std::pair<int, std::vector<PrintItem>>> prints_; // (kind or -1, items)
    std::vector<std::string> netlistNodes_;
    std::vector<AnalysisStats> stats_;
};

} // namespace vxr
