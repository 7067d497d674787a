// The Newton solver: every case of the transistor characterization suite
// converges at default model parameters, n- and p-type, with the committed
// reference answers where they exist; linear high-voltage networks take one
// or two iterations; a point that does not converge names its unknown.
#include "vxrhost/Analysis.h"
#include "vxrhost/Netlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace vxr;

namespace {

std::unique_ptr<Netlist> load(const std::string& path) {
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    auto nl = Netlist::parseFile(path);
    nl->circuit().host().echoMessages = false;
    return nl;
}

std::vector<std::string> suiteCases() {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(VXR_SUITE_DIR))
        if (e.path().extension() == ".cir") out.push_back(e.path().stem().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Rows of a CSV table (header skipped).
std::vector<std::vector<double>> readCsv(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<double>> rows;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        if (line.empty()) break;
        std::vector<double> r;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, ',')) r.push_back(std::stod(cell));
        rows.push_back(r);
    }
    return rows;
}

class Suite : public ::testing::TestWithParam<std::string> {};

TEST_P(Suite, ConvergesWithTheOldSolversAnswers) {
    auto nl = load(std::string(VXR_SUITE_DIR) + "/" + GetParam() + ".cir");
    std::vector<Table> tables;
    ASSERT_NO_THROW(tables = nl->run());
    for (auto& st : nl->statistics()) {
        EXPECT_FALSE(st.failed) << st.text();
        EXPECT_GT(st.points, 0) << st.text();
    }
    // Answers of the solver before the rounding floor and the limits, where it converged.
    const std::string ref = std::string(VXR_REFERENCE_DIR) + "/" + GetParam() + ".csv";
    if (!std::filesystem::exists(ref)) return;
    auto want = readCsv(ref);
    ASSERT_EQ(tables[0].rows.size(), want.size());
    for (size_t r = 0; r < want.size(); ++r)
        for (size_t c = 0; c < want[r].size(); ++c) {
            const double got = tables[0].rows[r][c];
            EXPECT_NEAR(got, want[r][c], 1e-3 * std::max(std::abs(got), std::abs(want[r][c])) + 1e-9)
                << "row " << r << " column " << tables[0].columns[c];
        }
}

INSTANTIATE_TEST_SUITE_P(Cases, Suite, ::testing::ValuesIn(suiteCases()),
                         [](const auto& info) { return info.param; });

// A kilovolt through resistors: every point of a sweep in one or two iterations.
TEST(LinearNetwork, KilovoltSweepTakesAtMostTwoIterationsPerPoint) {
    auto nl = Netlist::parse("V1 a 0 DC 1000\nR1 a b 1k\nR2 b c 10\nR3 c 0 1meg\nI1 0 c DC 1m\n"
                             ".op\n.dc V1 -1000 1000 50\n");
    Simulator sim(nl->circuit());
    sim.operatingPoint();
    EXPECT_LE(sim.newtonIterations, 2);
    sim.dcSweep("V1", -1000, 1000, 50, {});
    EXPECT_LE(sim.newtonIterations, 2 * sim.points);
}

// Outer resistances at the bottom of their range put kilosiemens and more
// beside the channel's microsiemens: the rows' rounding floor lets them
// converge, at default and at tight tolerances.
TEST(SmallResistances, Converge) {
    struct Case {
        const char* param;
        const char* reltol;
    } cases[] = {{"RMETAL=1e-8", "1e-3"}, {"RMETAL=1e-8", "1e-9"}, {"RSOURCE=1e-10", "1e-3"}, {"RSOURCE=1e-10", "1e-9"}};
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.param) + " reltol " + c.reltol);
        auto nl = Netlist::parse(std::string(".lib TORVEX_EN.so\n.options reltol=") + c.reltol +
                                 "\nVD d 0 DC 5\nVG g 0 DC 3\nN1 d g 0 t 0 v i TORVEX_EN " + c.param +
                                 "\nVI i 0 DC 0\n.op\n.print op i(VD)\n");
        nl->circuit().host().echoMessages = false;
        std::vector<Table> t;
        ASSERT_NO_THROW(t = nl->run());
        EXPECT_NEAR(t[0].rows[0][0], -2.43e-3, 2e-5);
    }
}

// A transistor given one Newton iteration per attempt cannot converge: the
// failure names the unknown, its residual or step and the tolerance.
TEST(NonConvergence, NamesTheUnknown) {
    auto nl = load(std::string(VXR_SUITE_DIR) + "/torvex_en_n_op_on.cir");
    nl->circuit().options().itl1 = 1;
    try {
        nl->run();
        FAIL() << "converged with one iteration";
    } catch (const SimError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("no convergence at the operating point (worst: "), std::string::npos) << m;
        EXPECT_TRUE(m.find("node '") != std::string::npos || m.find("branch '") != std::string::npos) << m;
        EXPECT_NE(m.find("tolerance"), std::string::npos) << m;
    }
}

} // namespace

namespace {

// Every failure names the analysis and the unknown it stopped on.
TEST(Messages, NameTheAnalysisAndTheUnknown) {
    struct Case {
        const char* what;
        const char* netlist;
        std::vector<const char*> expect;
    } cases[] = {
        {"TORVEX_CORE with every terminal floating",
         ".lib TORVEX_CORE.so\nV1 x 0 DC 0\nR1 x 0 1k\nN1 d g s b t ta TORVEX_CORE\n.dc V1 0 1 0.25\n",
         {".dc: no convergence at V1 = 0.000000", "singular matrix at node '"}},
        {"series resonance in AC", "V1 a 0 DC 0 AC 1\nL1 a b 1m\nC1 b 0 1u\n.ac lin 1 5032.921210448704 5032.921210448704\n",
         {".ac at 5032.92121 Hz: singular matrix at branch 'L1#branch' (a resonance at this frequency"}},
    };
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto nl = Netlist::parse(c.netlist);
        nl->circuit().host().echoMessages = false;
        try {
            nl->run();
            ADD_FAILURE() << "no failure";
        } catch (const SimError& e) {
            for (const char* want : c.expect) EXPECT_NE(std::string(e.what()).find(want), std::string::npos) << e.what();
        }
    }
}

// A value beside its tolerance prints with the digits that tell them apart.
TEST(Messages, ValueBesideToleranceShowsTheDifference) {
    struct Case {
        double value, tol;
        const char *wantValue, *wantTol;
    } cases[] = {
        {1.0000004e-6, 1e-6, "1.0000004e-06", "1e-06"},
        {-1.0000004e-6, 1e-6, "-1.0000004e-06", "1e-06"},
        {-2.5e-3, 1e-6, "-0.0025", "1e-06"},
        {std::nextafter(1e-6, 1.0), 1e-6, "1.0000000000000002e-06", "9.9999999999999995e-07"},
    };
    for (const Case& c : cases) {
        auto [v, t] = valueBesideTolerance(c.value, c.tol);
        EXPECT_EQ(v, c.wantValue);
        EXPECT_EQ(t, c.wantTol);
    }
}

// -s counts: the AC frequencies, and load passes and solves beside the iterations.
TEST(Statistics, CountFrequenciesLoadPassesAndSolves) {
    auto nl = Netlist::parse("V1 a 0 DC 1 AC 1\nR1 a b 1k\nC1 b 0 1u\n.op\n.ac dec 10 1 100\n");
    auto tables = nl->run();
    const auto& st = nl->statistics();
    ASSERT_EQ(st.size(), 2u);
    EXPECT_EQ(st[1].points, 21);
    EXPECT_EQ(tables[1].rows.size(), 21u);
    for (const auto& s : st) {
        EXPECT_GE(s.loadPasses, s.newtonIterations) << s.text();
        EXPECT_GE(s.linearSolves, s.newtonIterations) << s.text();
        EXPECT_NE(s.text().find(" load passes, "), std::string::npos) << s.text();
    }
    EXPECT_GE(st[1].linearSolves, 21);
}

// The continuation strategies' parameters are .options.
TEST(Options, SetTheContinuationParameters) {
    auto nl = Netlist::parse(".options gminstart=1e-3 gminfactor=10 srcstep=0.05 srcstepfails=5 ptransteps=50\nR1 a 0 1k\n.op\n");
    const DcContinuationOptions& d = nl->circuit().options().dc;
    EXPECT_EQ(d.gminStart, 1e-3);
    EXPECT_EQ(d.gminFactor, 10.0);
    EXPECT_EQ(d.srcStep, 0.05);
    EXPECT_EQ(d.srcStepFails, 5.0);
    EXPECT_EQ(d.ptranSteps, 50.0);
    EXPECT_THROW(Netlist::parse(".options srcstep=-1\nR1 a 0 1k\n.op\n"), NetlistError);
}

} // namespace
