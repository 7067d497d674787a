// The loads of TORVEX_EN / TORVEX outside the intrinsic device: every row of
// the outer network, the thermal network and the VIDS monitor against the
// independent reference (reference/torvex_en_outer_reference.*, computed
// with the intrinsic device silent), the full load's constant entries
// against central differences of the right-hand-side load, and the frame:
// modes bit-identical, recompute only when needed, $mfactor, and an NCELL
// that cannot be counted. The intrinsic rows are intrinsic_test.cpp's.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "en_fixture.h"

using namespace te;
using vxrtest::LoadKind;

namespace {

struct RefCase {
    std::string name;
    std::vector<std::pair<std::string, double>> params;
    double tsim = 300.15;
    std::vector<std::pair<std::string, double>> solution; // node potentials and branch currents
    std::map<std::string, std::vector<double>> rows;      // rhs, rhsq, deriv, derivq by table index
    std::map<std::string, double> outs;
};

const std::vector<RefCase>& referenceCases()
{
    static const std::vector<RefCase> cases = [] {
        std::vector<RefCase> out;
        std::ifstream in(std::string(TORVEX_EN_FIXTURES) + "/reference/torvex_en_outer_reference.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream ss(line);
            std::string tag;
            ss >> tag;
            if (tag == "case") {
                out.emplace_back();
                ss >> out.back().name;
                out.back().rows = {{"rhs", std::vector<double>(56)},
                                   {"rhsq", std::vector<double>(22)},
                                   {"deriv", std::vector<double>(129)},
                                   {"derivq", std::vector<double>(59)}};
            } else if (tag == "param" || tag == "v" || tag == "i") {
                std::string name;
                double value;
                ss >> name >> value;
                (tag == "param" ? out.back().params : out.back().solution).push_back({name, value});
            } else if (tag == "tsim") {
                ss >> out.back().tsim;
            } else if (tag == "rhs" || tag == "rhsq" || tag == "deriv" || tag == "derivq") {
                int index;
                double value;
                ss >> index >> value;
                out.back().rows[tag].at(index) = value;
            } else if (tag == "out") {
                std::string name;
                double value;
                ss >> name >> value;
                out.back().outs[name] = value;
            }
        }
        return out;
    }();
    return cases;
}

// Integer parameters by name (the rest are real).
bool isIntParam(const std::string& name) { return row(name)->paramType == VXR_INT_PARAM; }

// Rows the intrinsic device loads: its currents and charges, the power into
// TINT and the IIDS monitor. A quartet belongs to its row.
bool intrinsicRhs(size_t r) { return r <= 15 || r == 47 || r == 50; }
bool intrinsicRhsQ(size_t r) { return r <= 5 || r == 21; }
bool intrinsicEntry(const std::string& group, size_t i)
{
    auto rhsRow = [](torvex_en::Node a, torvex_en::Node b) {
        for (size_t r = 0; r < 56; ++r)
            if (torvex_en::kRhsPairs[r].a == a && torvex_en::kRhsPairs[r].b == b) return r;
        return size_t{99};
    };
    auto rhsQRow = [](torvex_en::Node a, torvex_en::Node b) {
        for (size_t r = 0; r < 22; ++r)
            if (torvex_en::kRhsQPairs[r].a == a && torvex_en::kRhsQPairs[r].b == b) return r;
        return size_t{99};
    };
    if (group == "rhs") return intrinsicRhs(i);
    if (group == "rhsq") return intrinsicRhsQ(i);
    if (group == "deriv") return intrinsicRhs(rhsRow(torvex_en::kJacQuartets[i].ra, torvex_en::kJacQuartets[i].rb));
    return intrinsicRhsQ(rhsQRow(torvex_en::kJacQQuartets[i].ra, torvex_en::kJacQQuartets[i].rb));
}

bool close(double got, double want, double rel = 1e-12)
{
    if (got == want) return true;
    return std::fabs(got - want) <= rel * std::max(std::fabs(got), std::fabs(want));
}

// The thermal-row derivatives pass through the smooth 1500 K ceiling of the
// rise, whose slope is 1 minus a slope near 1 there: a double evaluation
// keeps fewer digits of it than the reference's extended precision.
double tolerance(const std::string& group, size_t index)
{
    return group == "deriv" && (index == 72 || index == 73) ? 1e-8 : 1e-12;
}

// An instance of the case, finalized and stamped, with the case's solution.
Inst* setUp(EnHost& h, const RefCase& c)
{
    std::vector<VXR_ParamAssn> assn;
    for (const auto& [name, value] : c.params)
        assn.push_back(isIntParam(name) ? intAssn(row(name)->name, static_cast<int>(value)) : realAssn(row(name)->name, value));
    h.setTemperature(c.tsim);
    Inst* inst = h.createReady(assn);
    for (const auto& [name, value] : c.solution) {
        const SV* sv = h.find(name);
        if (sv != nullptr) h.setSolution(sv, value);
    }
    return inst;
}

std::map<std::string, double torvex_en::Vars::*> outVariables()
{
    using V = torvex_en::Vars;
    return {{"ncellRatio", &V::ncellRatio}, {"typeNcellRatio", &V::typeNcellRatio}, {"lgfRatio", &V::lgfRatio},
            {"pcellRatio", &V::pcellRatio}, {"wvbarGateRatio", &V::wvbarGateRatio},
            {"wvbarDrainRatio", &V::wvbarDrainRatio}, {"rthCorner", &V::rthCorner}, {"rthRef", &V::rthRef},
            {"rthDevice", &V::rthDevice}, {"cthDevice", &V::cthDevice}, {"rthScaled", &V::rthScaled},
            {"cthScaled", &V::cthScaled}, {"csourceScaled", &V::csourceScaled}, {"rpwScaled", &V::rpwScaled},
            {"cgbFinger", &V::cgbFinger}, {"rgbFinger", &V::rgbFinger}, {"cdbFinger", &V::cdbFinger},
            {"rdbFinger", &V::rdbFinger}, {"cgbOuter", &V::cgbOuter}, {"rgbOuter", &V::rgbOuter},
            {"cdbOuter", &V::cdbOuter}, {"rdbOuter", &V::rdbOuter}, {"cgdOuter", &V::cgdOuter},
            {"cgdInner", &V::cgdInner}, {"cggsScaled", &V::cggsScaled}, {"rshieldEff", &V::rshieldEff},
            {"lGateTotal", &V::lGateTotal}, {"lDrainTotal", &V::lDrainTotal},
            {"mGateDrainTotal", &V::mGateDrainTotal}, {"lGateFinger", &V::lGateFinger},
            {"lDrainFinger", &V::lDrainFinger}, {"mGdFinger", &V::mGdFinger}, {"lGateBarCorr", &V::lGateBarCorr},
            {"lDrainBarCorr", &V::lDrainBarCorr}, {"rsubSpread", &V::rsubSpread}, {"rsubEpi", &V::rsubEpi},
            {"rsubTotal", &V::rsubTotal}, {"rsourceScaled", &V::rsourceScaled}, {"rmetalGate", &V::rmetalGate},
            {"rmetalGate3", &V::rmetalGate3}, {"rmetalDrain", &V::rmetalDrain}, {"rmetalDrain3", &V::rmetalDrain3},
            {"rpolyGate", &V::rpolyGate}, {"reddy", &V::reddy}, {"rgLine1", &V::rgLine1}, {"rgLine2", &V::rgLine2},
            {"rgLine3", &V::rgLine3}, {"rdLine1", &V::rdLine1}, {"rdLine2", &V::rdLine2}, {"rdLine3", &V::rdLine3},
            {"lgLine1", &V::lgLine1}, {"lgLine2", &V::lgLine2}, {"lgLine3", &V::lgLine3}, {"ldLine1", &V::ldLine1},
            {"ldLine2", &V::ldLine2}, {"ldLine3", &V::ldLine3}, {"mgdLine1", &V::mgdLine1},
            {"mgdLine2", &V::mgdLine2}, {"mgdLine3", &V::mgdLine3}, {"tempRise", &V::tempRise},
            {"tDevice", &V::tDevice}, {"rthT", &V::rthT}, {"cthT", &V::cthT}, {"rTextGnd", &V::rTextGnd},
            {"vdsAbs", &V::vdsAbs}, {"powerNetworkResistors", &V::powerNetworkResistors}};
}

} // namespace

TEST(TorvexEnLoad, RowsMatchTheReferenceInEveryMode)
{
    ASSERT_GE(referenceCases().size(), 10u);
    const auto vars = outVariables();
    for (const RefCase& c : referenceCases()) {
        SCOPED_TRACE(c.name);
        EnHost h;
        Inst* inst = setUp(h, c);
        h.clearLog();
        md.pGenLoad(inst, h.loader());
        const Loaded full = collect(h, inst, true);
        for (const auto& [name, member] : vars) {
            auto it = c.outs.find(name);
            if (it == c.outs.end()) continue;
            EXPECT_TRUE(close(priv(inst)->vars.*member, it->second))
                << name << ": " << priv(inst)->vars.*member << " vs " << it->second;
        }
        const std::pair<const char*, const std::vector<double>*> groups[] = {
            {"rhs", &full.rhs}, {"rhsq", &full.rhsQ}, {"deriv", &full.jac}, {"derivq", &full.jacQ}};
        for (const auto& [key, got] : groups) {
            const std::vector<double>& want = c.rows.at(key);
            for (size_t i = 0; i < want.size(); ++i) {
                if (std::isnan((*got)[i])) continue; // an entry this build does not have
                if (intrinsicEntry(key, i)) continue;
                EXPECT_TRUE(close((*got)[i], want[i], tolerance(key, i))) << key << " " << i << ": " << (*got)[i] << " vs " << want[i];
            }
        }

        // The right-hand-side load and the strobe pass give the same values, bit for bit.
        for (auto pass : {md.pGenLoadRHS, md.pDoStrobe}) {
            h.clearLog();
            pass(inst, h.loader());
            const Loaded rhsOnly = collect(h, inst, false);
            EXPECT_EQ(0, std::memcmp(rhsOnly.rhs.data(), full.rhs.data(), 56 * sizeof(double)));
            EXPECT_EQ(0, std::memcmp(rhsOnly.rhsQ.data(), full.rhsQ.data(), 22 * sizeof(double)));
        }
        retire(inst);
    }
}

// d row / d x of the right-hand-side load by central differences, against
// the full load's entries, on the rows outside the intrinsic device: a quartet (row a,b; column c,d) adds its value to
// the derivative with respect to V(c) and subtracts it from that to V(d).
TEST(TorvexEnLoad, ConstantEntriesMatchCentralDifferences)
{
    for (const char* name : {"n4_all_on", "n2p5_thresholds", "type_n_reversed_mfactor2"}) {
        SCOPED_TRACE(name);
        const RefCase* c = nullptr;
        for (const RefCase& r : referenceCases())
            if (r.name == name) c = &r;
        ASSERT_NE(c, nullptr);
        EnHost h;
        Inst* inst = setUp(h, *c);
        md.pGenLoad(inst, h.loader());
        const Loaded full = collect(h, inst, true);
        const torvex_en::Private* pr = priv(inst);

        // Every solution unknown the module reads, by stamp node.
        std::map<torvex_en::Node, SV*> unknowns;
        for (int n = torvex_en::D; n <= torvex_en::BR_G3; ++n) {
            SV* sv = torvex_en::nodeSV(inst, pr, static_cast<torvex_en::Node>(n));
            if (sv != nullptr) unknowns[static_cast<torvex_en::Node>(n)] = sv;
        }
        std::map<const SV*, double> base;
        for (const auto& [node, sv] : unknowns) {
            double v = 0.0;
            for (const auto& [n, value] : c->solution)
                if (h.find(n) == sv) v = value;
            base[sv] = v;
        }
        auto rhsAt = [&](SV* sv, double value) {
            h.setSolution(sv, value);
            h.clearLog();
            md.pGenLoadRHS(inst, h.loader());
            h.setSolution(sv, base[sv]);
            return collect(h, inst, false);
        };
        for (const auto& [node, sv] : unknowns) {
            const double x = base[sv];
            const double step = 1e-3 * std::max(1.0, std::fabs(x));
            const Loaded up = rhsAt(sv, x + step), down = rhsAt(sv, x - step);
            // Resistive rows against the DC quartets, charge rows against the charge quartets.
            for (int q = 0; q < 2; ++q) {
                const size_t rows = q == 0 ? 56 : 22;
                for (size_t r = 0; r < rows; ++r) {
                    if (q == 0 ? intrinsicRhs(r) : intrinsicRhsQ(r)) continue;
                    const double plus = q == 0 ? up.rhs[r] : up.rhsQ[r], minus = q == 0 ? down.rhs[r] : down.rhsQ[r];
                    if (std::isnan(plus)) continue;
                    const double fd = (plus - minus) / (2.0 * step);
                    double analytic = 0.0;
                    const torvex_en::PairReq& pair = (q == 0 ? torvex_en::kRhsPairs : torvex_en::kRhsQPairs)[r];
                    const auto& quartets = q == 0 ? full.jac : full.jacQ;
                    const size_t nq = q == 0 ? 129 : 59;
                    for (size_t k = 0; k < nq; ++k) {
                        const torvex_en::QuartetReq& e = (q == 0 ? torvex_en::kJacQuartets : torvex_en::kJacQQuartets)[k];
                        if (e.ra != pair.a || e.rb != pair.b || std::isnan(quartets[k])) continue;
                        if (e.ca == node) analytic += quartets[k];
                        if (e.cb == node) analytic -= quartets[k];
                    }
                    // Truncation (none for these linear rows) plus the rounding of the row values.
                    const double rounding = 8.0 * DBL_EPSILON * std::max(std::fabs(plus), std::fabs(minus)) / step;
                    const double scale = std::max(std::fabs(fd), std::fabs(analytic));
                    EXPECT_LE(std::fabs(fd - analytic), 1e-7 * scale + rounding)
                        << (q ? "rhsq " : "rhs ") << r << " by " << torvex_en::kNodeNames[node] << ": " << fd
                        << " vs " << analytic;
                }
            }
        }
        retire(inst);
    }
}

TEST(TorvexEnLoad, RecomputeOnlyWhenNeededAndBitwiseRepeatable)
{
    EnHost h;
    Inst* inst = setUp(h, referenceCases().at(1));
    torvex_en::Private* pr = priv(inst);
    h.clearLog();
    md.pGenLoad(inst, h.loader());
    EXPECT_EQ(pr->recompute, 0);
    const Loaded first = collect(h, inst, true);

    // A parameter changed behind the setters' back is not seen: the second
    // pass at the same temperature does no parameter-only work.
    const double ncell = TORVEX_EN_PAR(pr, "NCELL");
    TORVEX_EN_PAR(pr, "NCELL") = 7.0;
    h.clearLog();
    md.pGenLoad(inst, h.loader());
    const Loaded second = collect(h, inst, true);
    EXPECT_EQ(0, std::memcmp(first.jac.data(), second.jac.data(), 129 * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(first.rhsQ.data(), second.rhsQ.data(), 22 * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(first.rhs.data(), second.rhs.data(), 56 * sizeof(double)));

    // A temperature change, however small, recomputes (and so sees NCELL).
    h.setTemperature(std::nextafter(referenceCases().at(1).tsim, 1e9));
    h.clearLog();
    md.pGenLoad(inst, h.loader());
    EXPECT_NE(collect(h, inst, true).rhs[17], first.rhs[17]);
    TORVEX_EN_PAR(pr, "NCELL") = ncell;
    // A NaN temperature recomputes on every pass.
    h.setTemperature(std::nan(""));
    for (int pass = 0; pass < 2; ++pass) {
        h.clearLog();
        md.pGenLoad(inst, h.loader());
        EXPECT_EQ(collect(h, inst, true).rhs[17], first.rhs[17]) << pass;
    }
    retire(inst);
}

TEST(TorvexEnLoad, MfactorScalesTheBatchesNotTheOperators)
{
    const RefCase& c = referenceCases().at(1);
    EnHost h1, h2;
    Inst* one = setUp(h1, c);
    Inst* two = setUp(h2, c);
    int flag = 0;
    md.pModifyRealParam(two, row("$mfactor")->paramLocation, &flag, 2.0);
    h1.clearLog();
    h2.clearLog();
    md.pGenLoad(one, h1.loader());
    md.pGenLoad(two, h2.loader());
    ASSERT_EQ(h1.batches().size(), h2.batches().size());
    // The four batch loads double; the operators' own single-entry loads do not.
    int batchLoads = 0;
    for (size_t b = 0; b < h1.batches().size(); ++b) {
        const auto& x = h1.batches()[b].values;
        const auto& y = h2.batches()[b].values;
        ASSERT_EQ(x.size(), y.size());
        const bool batch = x.size() > 1;
        batchLoads += batch;
        for (size_t i = 0; i < x.size(); ++i) EXPECT_EQ(y[i], (batch ? 2.0 : 1.0) * x[i]) << b << ":" << i;
    }
    EXPECT_EQ(batchLoads, 4);
    retire(one);
    retire(two);
}

TEST(TorvexEnLoad, CellCountsBeyondCountingAreReportedNotLooped)
{
    for (double ncell : {9007199254740992.0, 1e300, std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(ncell);
        EnHost h;
        Inst* inst = h.createReady({realAssn("NCELL", ncell)});
        h.clearLog();
        md.pGenLoad(inst, h.loader());
        ASSERT_EQ(h.messages().size(), 1u);
        EXPECT_EQ(h.messages()[0].type, MessageTypeE_ERROR);
        EXPECT_NE(h.messages()[0].text.find("cannot be counted"), std::string::npos) << h.messages()[0].text;
        // Reported once per recompute, not on every pass.
        h.clearLog();
        md.pGenLoad(inst, h.loader());
        EXPECT_TRUE(h.messages().empty());
        retire(inst);
    }
    // The largest count that still counts runs its loop once per recompute.
    EnHost h;
    Inst* inst = h.createReady({realAssn("NCELL", 3.0)});
    md.pGenLoad(inst, h.loader());
    EXPECT_EQ(priv(inst)->vars.fingerIndex, 3.0);
    EXPECT_TRUE(h.messages().empty());
    retire(inst);
}

namespace {

struct FingerSumRow {
    const char* geometry;
    double LGF, LEXTG, LEXTD, PCELL, TZ, NCELL;
    double sums[6]; // sumGateNear, sumGateFar, sumDrainNear, sumDrainFar, sumGdNear, sumGdFar
};

const FingerSumRow kFingerSums[] = {
#include "finger_sums_reference.inc"
};

} // namespace

// The finger coupling sums against 40-digit sums (reference/): one finger at
// a time up to 1024 cells (the rounding of the terms one by one allows
// 1e-12), in closed form beyond (2e-15), up to 2^40 cells.
TEST(TorvexEnLoad, FingerSumsMatchTheReferenceAtAnyCellCount)
{
    using V = torvex_en::Vars;
    const std::pair<const char*, double V::*> sums[6] = {
        {"sumGateNear", &V::sumGateNear},   {"sumGateFar", &V::sumGateFar}, {"sumDrainNear", &V::sumDrainNear},
        {"sumDrainFar", &V::sumDrainFar}, {"sumGdNear", &V::sumGdNear},   {"sumGdFar", &V::sumGdFar}};
    for (const FingerSumRow& r : kFingerSums) {
        SCOPED_TRACE(std::string(r.geometry) + ", NCELL " + std::to_string(r.NCELL));
        EnHost h;
        Inst* inst = h.createReady({realAssn("LGF", r.LGF), realAssn("LEXTG", r.LEXTG), realAssn("LEXTD", r.LEXTD),
                                    realAssn("PCELL", r.PCELL), realAssn("TZ", r.TZ), realAssn("NCELL", r.NCELL),
                                    realAssn("LEPI", 1e-7)});
        md.pGenLoad(inst, h.loader());
        const V& v = priv(inst)->vars;
        const double tol = std::ceil(r.NCELL) - 1.0 <= 1024.0 ? 1e-12 : 2e-15;
        for (int k = 0; k < 6; ++k) {
            const double want = r.sums[k], got = v.*sums[k].second;
            EXPECT_NEAR(got, want, tol * std::fabs(want)) << sums[k].first << " rel " << (got - want) / want;
        }
        EXPECT_EQ(v.fingerIndex, r.NCELL > 1.0 ? std::ceil(r.NCELL) : 1.0);
        EXPECT_TRUE(h.messages().empty());
        retire(inst);
    }
}

// A host that clears the recompute flag before the first load still gets
// values from a parameter-only stage that ran: nothing is read before it
// was written.
TEST(TorvexEnLoad, FirstLoadComputesEvenWithTheFlagCleared)
{
    const RefCase& c = referenceCases().at(3);
    EnHost h1, h2;
    Inst* normal = setUp(h1, c);
    Inst* forced = setUp(h2, c);
    md.pForceExecInvarCode(forced, 0);
    h1.clearLog();
    h2.clearLog();
    md.pGenLoad(normal, h1.loader());
    md.pGenLoad(forced, h2.loader());
    const Loaded a = collect(h1, normal, true), b = collect(h2, forced, true);
    EXPECT_EQ(0, std::memcmp(a.rhs.data(), b.rhs.data(), 56 * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(a.jacQ.data(), b.jacQ.data(), 59 * sizeof(double)));
    retire(normal);
    retire(forced);
}

// The zero-bias evaluation at finalize computes the parameter-only values at
// the creation temperature, asks the host for nothing and leaves the
// recompute flag set.
TEST(TorvexEnLoad, ZeroBiasEvaluationAtFinalize)
{
    EnHost h;
    h.setTemperature(310.0);
    Inst* inst = h.create({realAssn("RTH", 0.25), intAssn("RTHCALC", 2), realAssn("TSCALE", 2.0)});
    h.setTemperature(400.0);
    h.clearLog();
    md.pFinalizeTopology(inst, kCbInfo);
    EXPECT_EQ(h.count(Call::GetTemperature), 0u);
    EXPECT_EQ(h.count(Call::GetSol), 0u);
    const torvex_en::Vars& v = priv(inst)->vars;
    EXPECT_EQ(v.rthScaled, 0.125);
    EXPECT_EQ(v.tAmb, 310.0);
    EXPECT_EQ(v.vdsAbs, 0.0);
    EXPECT_EQ(v.CHDIR, 1);
    EXPECT_EQ(priv(inst)->recompute, 1);
    EXPECT_EQ(priv(inst)->paramStageDone, 0);
    retire(inst);
}

// The operators are fed and read back one by one in the full load, in
// threes read back in reverse in the right-hand-side load; their own loads
// come last, in operator order.
TEST(TorvexEnLoad, OperatorCallOrder)
{
    EnHost h;
    Inst* inst = setUp(h, referenceCases().at(0));
    auto sequence = [&] {
        std::vector<std::string> seq;
        size_t read = 0;
        bool loading = false;
        for (const vxrtest::LogEntry& e : h.log()) {
            if (e.call == Call::GetSol) {
                const std::string n = h.name(h.solutionReads()[read++].first);
                // The operators' own loads read their branch too; those reads are theirs.
                if (n.rfind("_opddt", 0) == 0 && !loading) seq.push_back("read " + n.substr(6));
            } else if (e.call == Call::BatchLoad) {
                const vxrtest::BatchRecord& b = h.batches()[e.index];
                loading = loading || b.handles.size() > 1; // the batch loads come before the operators' own
                if (b.handles.size() != 1 || b.handles[0] < 0) continue;
                const vxrtest::HandleRecord& r = h.handles()[b.handles[0]];
                const std::string n = h.name(r.sv[0]);
                if (b.kind == LoadKind::RhsPairQ) seq.push_back("feed " + n.substr(6));
                if (b.kind == LoadKind::RhsPair) seq.push_back("load " + n.substr(6));
            }
        }
        return seq;
    };
    h.clearLog();
    md.pGenLoad(inst, h.loader());
    std::vector<std::string> full;
    for (int k = 26; k <= 31; ++k) full.insert(full.end(), {"feed " + std::to_string(k), "read " + std::to_string(k)});
    for (int k = 26; k <= 31; ++k) full.push_back("load " + std::to_string(k));
    EXPECT_EQ(sequence(), full);

    h.clearLog();
    md.pGenLoadRHS(inst, h.loader());
    const std::vector<std::string> rhs = {"feed 26", "feed 27", "feed 28", "read 28", "read 27", "read 26",
                                          "feed 29", "feed 30", "feed 31", "read 31", "read 30", "read 29",
                                          "load 26", "load 27", "load 28", "load 29", "load 30", "load 31"};
    EXPECT_EQ(sequence(), rhs);
    retire(inst);
}
