// Mutated netlists through the host: parsing either succeeds or throws
// NetlistError with a "line N: " message; a netlist that parses is run with
// small limits and either produces its tables or throws SimError. Nothing
// may crash, hang or throw anything else.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "vxrhost/Netlist.h"

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cur;
    for (char ch : s) {
        if (ch == sep) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += ch;
        }
    }
    out.push_back(cur);
    return out;
}

std::string join(const std::vector<std::string>& v, char sep) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) out += (i ? std::string(1, sep) : "") + v[i];
    return out;
}

const char* const kOdd[] = {"1e400", "-1e400", "-0", "nan", "inf", "-inf", "1e-400", "1e308", "-1e308", "1e12",
                            "1e-30", "0", "-1", "4.9e-324", "99999999999", "1e", "1meg", ".", "-", "+", "=",
                            "\"", "(", ")", ",", "*", ";", "x=", "=1", "1e-300", "1e300", "0x10", "1k1", "2.5e+",
                            "\f", "\v", "\r", "dec", "lin", "oct", "uic", "pulse", "V(", "I()", "V(a,b,c)"};

// One random edit of the netlist text.
std::string mutate(const std::string& text, std::mt19937& rng) {
    std::vector<std::string> lines = split(text, '\n');
    if (lines.empty()) lines.push_back("");
    std::string& line = lines[rng() % lines.size()];
    std::vector<std::string> tok = split(line, ' ');
    const size_t t = rng() % tok.size();
    switch (rng() % 12) {
    case 0: tok.erase(tok.begin() + static_cast<long>(t)); break;
    case 1: tok.insert(tok.begin() + static_cast<long>(t), tok[t]); break;
    case 2: std::swap(tok[t], tok[rng() % tok.size()]); break;
    case 3:
    case 4:
    case 5: tok[t] = kOdd[rng() % (sizeof kOdd / sizeof kOdd[0])]; break;
    case 6: lines.erase(lines.begin() + static_cast<long>(rng() % lines.size())); return join(lines, '\n');
    case 7: lines.insert(lines.begin() + static_cast<long>(rng() % lines.size()), line); return join(lines, '\n');
    case 8: { // a very long line or token
        std::string repeat = tok[t];
        for (int k = 0; k < 2000; ++k) tok[t] += (rng() % 2 ? " " : "") + repeat;
        break;
    }
    case 9: tok[t] = "+" + tok[t]; break;
    case 10: { // a cut at a random byte
        const std::string s = join(lines, '\n');
        return s.substr(0, rng() % (s.size() + 1));
    }
    case 11: { // huge counts in an analysis
        const char* const analyses[] = {".dc V1 0 1e300 1e-300", ".ac dec 1e6 1e-300 1e300", ".ac lin 1e6 1 2",
                                        ".tran 1e-30 1",         ".tran 1n 1 0 1e-14",       ".ac dec 1e12 1 10",
                                        ".tran 1n 1u 0 1e-30",   ".dc V1 -1e308 1e308 1e-308"};
        line = analyses[rng() % 8];
        return join(lines, '\n');
    }
    }
    line = join(tok, ' ');
    return join(lines, '\n');
}

// Analyses small enough to run in a test.
bool smallAnalyses(const vxr::Netlist& nl) {
    for (const vxr::AnalysisCmd& a : nl.analyses()) {
        switch (a.kind) {
        case vxr::AnalysisCmd::OP: break;
        case vxr::AnalysisCmd::DC:
            if (!((a.b - a.a) / a.c <= 200)) return false;
            break;
        case vxr::AnalysisCmd::AC:
            if (a.points > 50 || !(a.b / a.a <= 1e12)) return false;
            break;
        case vxr::AnalysisCmd::TRAN:
            if (!(a.tran.tstop / a.tran.tstep <= 500) || (a.tran.tmax > 0 && !(a.tran.tstop / a.tran.tmax <= 500)))
                return false;
            break;
        }
    }
    return true;
}

struct Source {
    std::string path, libDir;
};
void PrintTo(const Source& s, std::ostream* os) { *os << s.path; }

std::string sourceName(const ::testing::TestParamInfo<Source>& i) {
    const std::string& p = i.param.path;
    const size_t slash = p.find_last_of('/'), dot = p.find_last_of('.');
    return p.substr(slash + 1, dot - slash - 1);
}

class NetlistFuzz : public ::testing::TestWithParam<Source> {};

TEST_P(NetlistFuzz, MutatedExampleParsesOrFailsWithALineNumber) {
    const Source& src = GetParam();
    const std::regex lineNumbered("^line [1-9][0-9]*: .+");
    std::mt19937 rng(31337);
    int parsed = 0, rejected = 0, ran = 0, runFailed = 0;
    {
        // The LAMBRET example with coarser analyses, so that its runs stay short.
        std::string original = vxr::readNetlistFile(src.path);
        original = std::regex_replace(original, std::regex("\\.ac dec 20 "), ".ac dec 2 ");
        original = std::regex_replace(original, std::regex("\\.tran 50p 20n"), ".tran 0.5n 3n");
        ASSERT_FALSE(original.empty()) << src.path;
        for (int c = 0; c < 250; ++c) {
            std::string text = original;
            for (int m = 1 + static_cast<int>(rng() % 3); m > 0; --m) text = mutate(text, rng);
            SCOPED_TRACE(src.path + " case " + std::to_string(c) + ":\n" + text.substr(0, 2000));
            std::unique_ptr<vxr::Netlist> nl;
            try {
                nl = vxr::Netlist::parse(text, src.libDir);
                ++parsed;
            } catch (const vxr::NetlistError& e) {
                ++rejected;
                EXPECT_TRUE(std::regex_match(std::string(e.what()).substr(0, 300), lineNumbered)) << e.what();
                continue;
            } catch (const std::exception& e) {
                ADD_FAILURE() << "parse threw something else: " << e.what();
                continue;
            }
            nl->circuit().host().echoMessages = false;
            if (!smallAnalyses(*nl)) continue;
            vxr::Options& o = nl->circuit().options();
            o.itl1 = std::min(o.itl1, 50);
            o.itl4 = std::min(o.itl4, 20);
            o.tranStepLimit = 2000;
            try {
                nl->run();
                ++ran;
            } catch (const vxr::SimError&) {
                ++runFailed;
            } catch (const std::exception& e) {
                ADD_FAILURE() << "run threw something else: " << e.what();
            }
        }
    }
    std::printf("parsed %d, rejected %d, ran %d, run failed %d\n", parsed, rejected, ran, runFailed);
    EXPECT_GT(parsed, 50);
    EXPECT_GT(rejected, 50);
    EXPECT_GT(ran, 25);
}

INSTANTIATE_TEST_SUITE_P(Examples, NetlistFuzz,
                         ::testing::Values(Source{VXR_EXAMPLES_DIR "/diode.cir", VXR_FIXTURE_DIR},
                                           Source{VXR_EXAMPLES_DIR "/rc_lowpass.cir", VXR_FIXTURE_DIR},
                                           Source{VXR_LAMBRET_EXAMPLE, VXR_LAMBRET_DIR}),
                         sourceName);

// Inputs the mutations above ran into: each is rejected with a line-numbered
// error, or parses and stops with SimError, instead of reading past a vector,
// converting an out-of-range double to an integer or running without end.
TEST(NetlistFaults, AbsurdInputsFailCleanly) {
    const std::string head = ".lib fixrc_187.so\nV1 in 0 PULSE(0 1 0 1n 1n 5n 10n)\nR1 in 0 1k\n";
    struct Case {
        std::string text;
        const char* error; // expected parse error; nullptr: parses
    } cases[] = {
        {head + "\f\n\v \r\r\n.op", nullptr}, // lines of other white space are blank
        {head + ".dc V1 0 1e300 1e-300", "line 4: .dc: too many points (at most 1e+07)"},
        {head + ".dc V1 -1e308 1e308 1e-308", "line 4: .dc: too many points (at most 1e+07)"},
        {head + ".ac dec 1e6 1e-300 1e300", "line 4: .ac: too many points (at most 1e+07)"},
        {head + ".ac oct 1e6 1 1e300", "line 4: .ac: too many points (at most 1e+07)"},
        {head + ".tran 1u 1 0 1e-14", "line 4: .tran: too many time steps (tstop / tmax = 1e+14; at most 1e+07)"},
        {head + ".options itl1=1e300\n.op", "line 4: option 'itl1' out of range"},
        {head + ".options seed=-1\n.op", "line 4: option 'seed' out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            auto nl = vxr::Netlist::parse(c.text, VXR_FIXTURE_DIR);
            EXPECT_EQ(c.error, nullptr);
        } catch (const vxr::NetlistError& e) {
            EXPECT_STREQ(e.what(), c.error ? c.error : "(none)");
        }
    }
}

TEST(NetlistFaults, TransientStopsAtItsStepLimitAndSaysWhen) {
    // A pulse period far below the smallest step keeps the step at its
    // minimum from 3.5 ns on; the message gives that time, not "0.000000".
    auto nl = vxr::Netlist::parse(".lib fixrc_187.so\nV1 in 0 PULSE(0 1 3.5n 1p 1p 1p 1e-26)\nR1 in 0 1k\n.tran 1n 10n",
                                  VXR_FIXTURE_DIR);
    nl->circuit().options().tranStepLimit = 1000;
    try {
        nl->run();
        ADD_FAILURE() << "no error";
    } catch (const vxr::SimError& e) {
        const std::string what = e.what();
        const auto at = what.find("too many time steps at t = ");
        ASSERT_NE(at, std::string::npos) << what;
        const double t = std::strtod(what.c_str() + at + 27, nullptr);
        EXPECT_GE(t, 3.5e-9) << what;
        EXPECT_LT(t, 10e-9) << what;
    }
}

TEST(NetlistFaults, StepTooSmallNamesTheWorstTruncationError) {
    // No step can meet a truncation-error tolerance of 1e-30: the step
    // shrinks to its minimum, and the message names the capacitor's node.
    auto nl = vxr::Netlist::parse(".lib fixrc_187.so\n.options trtol=1e-30\nV1 in 0 SIN(0 1 1meg)\n"
                                  "N1 in out 0 fixrc R=1k C=1n\n.tran 10n 1u",
                                  VXR_FIXTURE_DIR);
    try {
        nl->run();
        ADD_FAILURE() << "no error";
    } catch (const vxr::SimError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("time step too small at t = "), std::string::npos) << what;
        EXPECT_NE(what.find("(worst: node 'out': truncation error "), std::string::npos) << what;
    }
}

TEST(NetlistFaults, PulseBreakpointsFarFromTimeZeroEnd) {
    // (t0 - td) / per = 1e17: a period counter in doubles no longer advances by one.
    vxr::Waveform w;
    w.kind = vxr::Waveform::PULSE;
    w.args = {0, 1, 0, 0, 0, 0, 1e-26};
    std::vector<double> out;
    w.breakpoints(1e-9, 2e-9, out);
    EXPECT_FALSE(out.empty());
    EXPECT_LE(out.size(), 4000u);
}

} // namespace
