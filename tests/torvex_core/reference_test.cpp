// TORVEX_CORE right-hand-side values against an independent transcription
// of the equations (reference/torvex_core_reference.py, its numbers in
// reference/torvex_core_reference.txt), case by case.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "load_fixture.h"

namespace {

using namespace tc;

struct RefCase {
    std::string name;
    std::vector<std::pair<std::string, std::string>> params; // name, value text
    double tsim = 300.15;
    std::map<std::string, double> bias; // nodes and ddt branch values
    std::map<int, double> rhs, rhsQ;
    std::map<std::string, double> out;
};

std::vector<RefCase> readCases(const std::string& path)
{
    std::ifstream in(path);
    std::vector<RefCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string key;
        if (!(s >> key) || key[0] == '#') continue;
        if (key == "case") {
            cases.emplace_back();
            s >> cases.back().name;
            continue;
        }
        RefCase& c = cases.back();
        std::string name, text;
        if (key == "param") {
            s >> name >> text;
            c.params.emplace_back(name, text);
        } else if (key == "tsim") {
            s >> c.tsim;
        } else if (key == "v" || key == "ddt") {
            s >> name >> text;
            c.bias[name] = std::stod(text);
        } else if (key == "rhs" || key == "rhsq") {
            int row = 0;
            s >> row >> text;
            (key == "rhs" ? c.rhs : c.rhsQ)[row] = std::stod(text);
        } else if (key == "out") {
            s >> name >> text;
            c.out[name] = std::stod(text);
        }
    }
    return cases;
}

bool isIntParam(const std::string& name)
{
    const VXR_ParamDesc* r = row(name.c_str());
    return r != nullptr && r->paramType == VXR_INT_PARAM;
}

void expectClose(double got, double want, double floor, const std::string& what)
{
    EXPECT_NEAR(got, want, 1e-9 * std::fabs(want) + floor) << what;
}

TEST(CoreReference, RhsValuesMatchTheIndependentTranscription)
{
    const std::vector<RefCase> cases = readCases(TORVEX_CORE_REFERENCE);
    if (cases.empty()) GTEST_SKIP() << "no reference file at " << TORVEX_CORE_REFERENCE;
    EXPECT_GE(cases.size(), 10u);
    for (const RefCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<VXR_ParamAssn> assn;
        for (const auto& [name, text] : c.params)
            assn.push_back(isIntParam(name) ? intAssn(name.c_str(), std::stoi(text))
                                            : realAssn(name.c_str(), std::stod(text)));
        LoadHost h(assn);
        h.setTemperature(c.tsim);
        for (const auto& [name, v] : c.bias) h.set(name, v);
        const Deposits d = h.rhsOnly();
        for (const auto& [r, want] : c.rhs) expectClose(d.rhs[static_cast<size_t>(r)], want, 1e-18, "rhs " + std::to_string(r));
        for (const auto& [r, want] : c.rhsQ)
            expectClose(d.rhsQ[static_cast<size_t>(r)], want, 1e-27, "rhsQ " + std::to_string(r));

        const int chdir = probe::chdir(h.inst), drdir = probe::drdir(h.inst);
        const std::map<std::string, double> got = {
            {"PDISS", d.rhs[18]},
            {"IDS", chdir * d.rhs[0]},
            {"IAVCH", chdir > 0 ? d.rhs[1] : d.rhs[2]},
            {"IDRIFT", drdir * d.rhs[3]},
            {"IAVDR", drdir > 0 ? d.rhs[4] : d.rhs[5]},
            {"CHDIR", chdir},
            {"DRDIR", drdir},
            {"Tdev", probe::tdev(h.inst)}};
        for (const auto& [name, want] : c.out)
            if (got.count(name)) expectClose(got.at(name), want, 1e-18, name);
    }
}

} // namespace
