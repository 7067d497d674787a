// Netlist parsing: numbers, waveforms and the error messages of bad netlists.
#include "host_test_util.h"

#include "vxrhost/NameIndex.h"

#include <cmath>
#include <functional>
#include <regex>
#include <string>

using namespace vxr;

namespace {

TEST(HostNetlist, Numbers) {
    struct Case {
        const char* text;
        bool ok;
        double value;
    } cases[] = {{"1", true, 1},        {"1k", true, 1e3},      {"2.5meg", true, 2.5e6}, {"2.5MEG", true, 2.5e6},
                 {"10uF", true, 10e-6}, {"3n", true, 3e-9},     {"4p", true, 4e-12},     {"5f", true, 5e-15},
                 {"1g", true, 1e9},     {"1t", true, 1e12},     {"1e-3", true, 1e-3},    {"-2m", true, -2e-3},
                 {"1ohm", true, 1},     {"1k2", false, 0},      {"abc", false, 0},       {"", false, 0},
                 {"inf", false, 0},     {"nan", false, 0},      {"0x10", false, 0},      {"1e999", false, 0}};
    for (auto& c : cases) {
        double v = 0;
        EXPECT_EQ(parseNumber(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        }
    }
}

// Names in any case find their number, through the table's growth; an equal
// name is not filed twice.
TEST(HostNetlist, NameIndexIgnoresCase) {
    std::vector<std::string> names;
    NameIndex index;
    auto nameOf = [&](int k) -> const std::string& { return names[static_cast<size_t>(k)]; };
    for (int k = 0; k < 5000; ++k) {
        names.push_back((k % 2 ? "Node_" : "n") + std::to_string(k));
        ASSERT_EQ(index.insert(names.back(), k, nameOf), std::make_pair(k, true)) << names.back();
    }
    struct Case {
        const char* name;
        int number;
    } cases[] = {{"n0", 0}, {"N0", 0}, {"NODE_1", 1}, {"node_4999", 4999}, {"n4998", 4998},
                 {"n1", -1}, {"node_0", -1}, {"", -1}, {"n00", -1}, {"n5000", -1}};
    for (auto& c : cases) {
        EXPECT_EQ(index.find(c.name, nameOf), c.number) << c.name;
        if (c.number >= 0) EXPECT_EQ(index.insert(c.name, 9999, nameOf), std::make_pair(c.number, false)) << c.name;
    }
    EXPECT_EQ(index.size(), 5000u);
}

TEST(HostNetlist, BadNetlistsNameTheLine) {
    struct Case {
        std::string netlist;
        std::string message;
    } cases[] = {
        {"V1 a 0 1\nQ1 a 0 0 npn\n.op\n", "line 2: unknown element type 'Q1'"},
        {"RC low pass\nV1 a 0 1\n.op\n", "line 1: RC: expected two nodes and a value (the first line is read like any other, not as a title"},
        {"V1 a 0 1\nR1 a\n.op\n", "line 2: R1: expected two nodes and a value"},
        {"V1 a 0 1\nR1 a 0 1x2\n.op\n", "line 2: bad number '1x2' for R1"},
        {"V1 a 0 1\nR1 a 0 1k\n.tran 1m\n", "line 3: .tran needs"},
        {"V1 a 0 1\nR1 a 0 1k\n.op\n.print V(b)\n", "line 4: unknown node 'b'"},
        {"V1 a 0 1\nR1 a 0 1k\n.dc R1 0 1 0.1\n", "line 3: .dc: 'R1' is not an independent source"},
        // The outer loop of a nested sweep is checked like the inner one.
        {"V1 a 0 1\nR1 a 0 1k\n.dc V1 0 1 0.1 R1 0 1 0.5\n", "line 3: .dc: 'R1' is not an independent source"},
        {"V1 a 0 1\nV2 b 0 1\nR1 a b 1k\n.dc V1 0 1 0.1 V2 0 1 0\n", "line 4: .dc: the step of V2 does not lead"},
        {"V1 a 0 1\nV2 b 0 1\nR1 a b 1k\n.dc V1 0 1 0.1 V2 1 0 0.5\n", "line 4: .dc: the step of V2 does not lead"},
        {"V1 a 0 1\nV2 b 0 1\nR1 a b 1k\n.dc V1 0 1 0.1 v1 0 1 0.5\n", "line 4: .dc: both loops sweep 'V1'"},
        {"V1 a 0 1\nV2 b 0 1\nR1 a b 1k\n.dc V1 0 1 0.1 V2 0 1\n", "line 4: .dc needs"},
        {"V1 a 0 1\nV2 b 0 1\nR1 a b 1k\n.dc V1 0 1 1e-4 V2 0 1 1e-4\n", "line 4: .dc: too many points"},
        {"V1 a 0 1\nR1 a 0 1k\n.foo\n", "line 3: unknown directive '.foo'"},
        {"V1 a 0 1\nR1 a 0 1k\n.dc V9 0 1 0.1\n", "line 3: .dc: no source 'V9' in the circuit"},
        {"V1 a 0 1\nR1 a 0 1k\n.ac DECADE 10 1 10\n", "line 3: .ac: unknown sweep type 'decade'"},
        {"V1 a 0 1\nR1 a 0 1k\n.ac dec 2.5 1 10\n", "line 3: .ac: bad number of points (2.5; a whole number from 1 to 1e6)"},
        {"V1 a 0 1\nR1 a 0 1k\n.ac lin 10 10 1\n", "line 3: .ac: bad frequency range (fstart 10, fstop 1; 0 < fstart <= fstop)"},
        {"V1 a 0 1\nR1 a 0 1k\n.tran 1u 1m 2m\n",
         "line 3: .tran: bad time parameters (tstep 1e-06, tstop 0.001, tstart 0.002, tmax 0: tstart must be below tstop)"},
        {"V1 a 0 1\nR1 a 0 1k\n.tran 0 1m\n", "line 3: .tran: bad time parameters (tstep 0, tstop 0.001, tstart 0, tmax 0: tstep must be positive)"},
        {"V1 a 0 1\nR1 a 0 1k\n.tran 1u 1m 0 -1u\n", ": tmax must not be negative)"},
        {"V1 a 0 1\nR1 a 0 1k\n.tran 1e-8 1\n", "line 3: .tran: too many output points (tstop / tstep = 1e+08; at most 1e+07)"},
        // Directives in any case; .END ends the netlist before the line that would fail.
        {"V1 a 0 1\nR1 a 0 1k\n.Tran 1u 1m 2m\n.END\nQ1 a b\n", "line 3: .tran: bad time parameters"},
        {"V1 a 0 1\nR1 a 0 1k\nN1 a 0 nomodel\n.op\n", "line 3: N1: unknown model 'nomodel'"},
        {".lib /nonexistent.so\n", "line 1: cannot load library"},
        {"V1 a 0 1\nR1 a 0 1k\nR1 a 0 2k\n.op\n", "line 3: duplicate element name 'R1'"},
        {".options reltol=-1\n", "line 1: option 'reltol' must be positive"},
        {".lib " + fixture("rc", 187) + "\nV1 in 0 1\nN1 in out 0 fixrc R=1k RR=3\n.op\n",
         "line 3: N1: model 'fixrc' has no parameter 'RR' (did you mean 'R'?)"},
        {".lib " + fixture("rc", 187) + "\nV1 in 0 1\nN1 in out 0 fixrc RTH =\n.op\n", "line 3: N1: bad parameter assignment 'RTH='"},
        {".lib " + fixture("rc", 187) + "\n.lib " + fixture("rc", 160) + "\n.op\n", "line 2: a second library of module 'fixrc'"},
        {".lib nowhere.so\n.op\n", "searched: ./nowhere.so"},
        {"V1 a 0 1\nR1 a 0 1k\n.tran 1e-7 1 0 1e-7\n", "line 3: .tran: too much output"},
        {".temp -274\n.op\n", "line 1: .temp: -274 degrees Celsius is below absolute zero"},
        {".options tnom=-300\n.op\n", "line 1: option 'tnom': -300 degrees Celsius is below absolute zero"},
        {"V1 a 0 1\nR1 a 0 " + std::string(1000000, '9') + "x\n.op\n", "(1000001 characters)' for R1"},
        {".lib " + fixture("rl", 160) + "\nV1 in 0 1\nN1 in 0 fixrl L=x\n.op\n", "line 3: bad number 'x' for parameter 'L' of N1"},
        {".lib " + fixture("rl", 142) + "\nV1 in 0 1\nN1 in 0 fixrl R=0\n.op\n", "parameter 'R' out of range"},
        // Fewer nodes than terminals reach the module, which refuses them in
        // revisions 1.60 and 1.42; more nodes never reach it.
        {".lib " + fixture("rc", 160) + "\nV1 in 0 1\nN1 in out fixrc\n.op\n",
         "line 3: instance 'N1' requested the simulation to stop: Expected 3 ports; received 2 ports instead."},
        {".lib " + fixture("diode", 142) + "\nV1 in 0 1\nN1 in fixdiode\n.op\n",
         "line 3: instance 'N1' requested the simulation to stop: Expected 2 ports; received 1 ports instead."},
        {".lib " + fixture("rc", 187) + "\nV1 in 0 1\nN1 in out 0 0 fixrc\n.op\n",
         "line 3: N1: model 'fixrc' has 3 terminals (IN OUT REF), 4 nodes given"},
    };
    for (auto& c : cases) {
        try {
            quietNetlist(c.netlist);
            ADD_FAILURE() << "accepted: " << c.netlist;
        } catch (const NetlistError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// Every spelling of a directive reads the same: aliases, any case, and a
// .title that is skipped.
TEST(HostNetlist, DirectiveAliasesReadAlike) {
    const std::string lib = fixture("rc", 187);
    struct Case {
        std::string netlist;
        std::vector<std::string> columns;
    } cases[] = {
        {".title the aliases\n.model_library " + lib + "\n.option reltol=1e-4\nV1 in 0 1\nN1 in out 0 fixrc R=1k\n.OP\n.save V(out)\n",
         {"V(out)"}},
        {".LIB " + lib + " rcx\n.Options RELTOL=1e-4\nV1 in 0 1\nN1 in out 0 rcx R=1k\n.op\n.probe op I(V1) V(in,out)\n",
         {"I(V1)", "V(in,out)"}},
        {".lib " + lib + "\n.simparam maxLaplace_d_Order=4\nV1 in 0 1\nN1 in out 0 FIXRC R=1k\n.Print V(out)\n.op\n.End\n.bogus\n",
         {"V(out)"}},
    };
    for (auto& c : cases) {
        auto t = quietNetlist(c.netlist)->run();
        ASSERT_EQ(t.size(), 1u) << c.netlist;
        EXPECT_EQ(t[0].columns, c.columns) << c.netlist;
        ASSERT_EQ(t[0].rows.size(), 1u);
    }
}

// An analysis called directly refuses bad parameters with the netlist's
// message (without its line).
TEST(HostNetlist, AnalysesCheckTheirParametersLikeTheNetlist) {
    const std::string circuit = "V1 a 0 1\nV2 b 0 1\nR1 a b 1k\nR2 b 0 1k\n";
    struct Case {
        std::string directive;
        std::function<void(Simulator&)> call;
    } cases[] = {
        {".dc V1 0 1 -0.1", [](Simulator& s) { s.dcSweep(SweepSpec{"V1", 0, 1, -0.1}, {}); }},
        {".dc R1 0 1 0.1", [](Simulator& s) { s.dcSweep(SweepSpec{"R1", 0, 1, 0.1}, {}); }},
        {".dc V1 0 1 0.1 v1 0 1 0.5",
         [](Simulator& s) {
             SweepSpec outer{"v1", 0, 1, 0.5};
             s.dcSweep(SweepSpec{"V1", 0, 1, 0.1}, {}, &outer);
         }},
        {".dc V1 0 1 1e-4 V2 0 1 1e-4",
         [](Simulator& s) {
             SweepSpec outer{"V2", 0, 1, 1e-4};
             s.dcSweep(SweepSpec{"V1", 0, 1, 1e-4}, {}, &outer);
         }},
        {".ac dec 0 1 10", [](Simulator& s) { s.ac("dec", 0, 1, 10, {}); }},
        {".ac oct 1e6 1 1e300", [](Simulator& s) { s.ac("oct", 1000000, 1, 1e300, {}); }},
        {".ac lin 10 0 1", [](Simulator& s) { s.ac("lin", 10, 0, 1, {}); }},
        {".tran 1u 1m 1m", [](Simulator& s) { s.tran(TranSpec{1e-6, 1e-3, 1e-3, 0}, {}); }},
        {".tran 1u 1 0 1e-14", [](Simulator& s) { s.tran(TranSpec{1e-6, 1, 0, 1e-14}, {}); }},
    };
    for (auto& c : cases) {
        std::string fromNetlist;
        try {
            quietNetlist(circuit + c.directive + "\n");
            ADD_FAILURE() << "accepted: " << c.directive;
        } catch (const NetlistError& e) {
            fromNetlist = e.what();
        }
        auto nl = quietNetlist(circuit + ".op\n");
        Simulator sim(nl->circuit());
        try {
            c.call(sim);
            ADD_FAILURE() << "the analysis accepted: " << c.directive;
        } catch (const SimError& e) {
            EXPECT_EQ("line 5: " + std::string(e.what()), fromNetlist) << c.directive;
        }
    }
}

TEST(HostNetlist, FailuresDuringAnalysisAreClear) {
    // A floating node or a loop of voltage sources makes the matrix singular:
    // the error names an unknown of the floating part, a module's internal
    // node included (MID of fixrl floats with both of its terminals). A model
    // whose equations are not finite at the start is named the same way.
    struct Case {
        std::string netlist;
        std::vector<std::string> names; // any of them
        std::string what = "singular matrix at ";
    } cases[] = {
        {"V1 a 0 1\nC1 a b 1n\nR1 b c 1k\n.op\n", {"node 'b'", "node 'c'"}},
        {"V1 a 0 1\nR1 a 0 1k\nR2 x y 1k\n.dc V1 0 1 0.5\n", {"node 'x'", "node 'y'"}},
        {"V1 a 0 1\nV2 a 0 2\nR1 a 0 1k\n.op\n", {"branch 'V1#branch'", "branch 'V2#branch'"}},
        {".lib " + fixture("rl", 187) + "\nV1 a 0 1\nR1 a 0 1k\nN1 x y fixrl\n.tran 1u 10u\n",
         {"node 'x'", "node 'y'", "node 'N1.MID'"}},
        {".lib " + fixture("rc", 160) + "\nV1 in 0 1\nR2 out 0 1k\nN1 in out 0 fixrc R=1e-320\n.op\n",
         {"node 'in'", "node 'out'"}, "a non-finite value in the equation of "},
    };
    for (auto& c : cases) {
        try {
            quietNetlist(c.netlist)->run();
            ADD_FAILURE() << "singular circuit accepted: " << c.netlist;
        } catch (const SimError& e) {
            std::string m = e.what();
            EXPECT_NE(m.find(c.what), std::string::npos) << m;
            bool named = false;
            for (auto& n : c.names) named |= m.find(n) != std::string::npos;
            EXPECT_TRUE(named) << m;
        }
    }
    EXPECT_THROW(quietNetlist("V1 a 0 1\nR1 a 0 1\n")->run(), NetlistError);
}

// A point that runs out of Newton iterations with its residuals within
// tolerance names the unknown whose last step was furthest outside its
// tolerance, and both numbers: the step beyond a positive tolerance.
TEST(HostNetlist, NoConvergenceGivesTheStepBesideItsTolerance) {
    try {
        quietNetlist("V1 b 0 DC 10\nR2 b a 1k\nR1 a 0 1k\n.options itl1=1\n.op\n")->run();
        ADD_FAILURE() << "one Newton iteration cannot be a converged point";
    } catch (const SimError& e) {
        const std::string m = e.what();
        std::smatch match;
        ASSERT_TRUE(std::regex_search(m, match, std::regex("last step ([-+0-9.e]+), tolerance ([-+0-9.e]+)\\)"))) << m;
        const double step = std::stod(match[1].str()), tol = std::stod(match[2].str());
        EXPECT_GT(tol, 0.0) << m;
        EXPECT_GT(std::abs(step), tol) << m;
    }
}

// Rows run over the outer source, then the inner one; the first two columns
// hold the outer and the inner value. V(a) by superposition.
TEST(HostNetlist, NestedDcSweep) {
    auto nl = quietNetlist("V1 in 0 7\nV2 b 0 -3\nR1 in a 1k\nR2 b a 2k\nR3 a 0 1k\n"
                           ".dc V1 0 2 1 V2 -1 1 0.5\n.print V(a)\n.op\n.print op V(a)\n");
    auto t = nl->run();
    ASSERT_EQ(t.size(), 2u);
    const Table& s = t[0];
    ASSERT_EQ(s.columns, (std::vector<std::string>{"V2", "V1", "V(a)"}));
    ASSERT_EQ(s.rows.size(), 15u);
    for (size_t k = 0; k < s.rows.size(); ++k) {
        const double v2 = -1 + 0.5 * static_cast<double>(k / 3), v1 = static_cast<double>(k % 3);
        EXPECT_DOUBLE_EQ(s.rows[k][0], v2) << k;
        EXPECT_DOUBLE_EQ(s.rows[k][1], v1) << k;
        EXPECT_NEAR(s.rows[k][2], (v1 / 1e3 + v2 / 2e3) / (1 / 1e3 + 1 / 2e3 + 1 / 1e3), 1e-12) << k;
    }
    // Both sources get their own values back after the sweep.
    EXPECT_NEAR(t[1].rows[0][0], (7 / 1e3 - 3 / 2e3) / (1 / 1e3 + 1 / 2e3 + 1 / 1e3), 1e-12);
}

TEST(HostNetlist, SourcesAndContinuations) {
    auto nl = quietNetlist("* comment\nV1 a 0 PWL(0 0 1m 1\n+ 2m 0)\nR1 a 0 1k ; inline comment\n"
                           "I1 0 b 2m\nR2 b 0 1k\nL1 b c 1m\nR3 c 0 1k\n.tran 0.5m 2m\n.print V(a) V(b) I(L1)\n.end\nQ garbage\n");
    auto t = nl->run()[0];
    ASSERT_EQ(t.rows.size(), 5u);
    double va[] = {0, 0.5, 1, 0.5, 0};
    for (size_t i = 0; i < 5; ++i) EXPECT_NEAR(t.rows[i][1], va[i], 1e-9);
    // The current source pushes 2 mA into b, shared by R2 and the R3 through L1.
    EXPECT_NEAR(t.rows[4][2], 1.0, 1e-3);
    EXPECT_NEAR(t.rows[4][3], 1e-3, 1e-6);
}

} // namespace
