// Results on the way out: the text table, the CSV files of a run, and the
// rows of an analysis that fails.
#include "host_test_util.h"
#include "vxrhost/ResultFiles.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace vxr;

namespace {

// An RFC 4180 reader, independent of the writer: records of fields.
std::vector<std::vector<std::string>> readCsv(const std::string& s) {
    std::vector<std::vector<std::string>> out(1);
    std::string f;
    bool quoted = false, any = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char ch = s[i];
        if (quoted) {
            if (ch == '"' && i + 1 < s.size() && s[i + 1] == '"') f += '"', ++i;
            else if (ch == '"') quoted = false;
            else f += ch;
        } else if (ch == '"') {
            quoted = any = true;
        } else if (ch == ',') {
            out.back().push_back(f), f.clear();
        } else if (ch == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            out.back().push_back(f), f.clear();
            out.emplace_back();
            ++i;
        } else {
            f += ch;
        }
    }
    if (!f.empty() || !out.back().empty()) out.back().push_back(f);
    if (out.back().empty()) out.pop_back();
    return out;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(HostOutput, CsvRecordsHaveTheHeadersFieldCount) {
    const std::vector<std::string> labels = {"V(a,k)", "I(V1)", "say \"hi\"", " lead", std::string(70, 'n')};
    Table t;
    t.columns = labels;
    t.rows = {{1, -1e-200, 0.1, 1e300, -2.5e-203}, {-0.0, 3, 4, 5, 6}};
    auto recs = readCsv(t.csv());
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0], labels);
    for (auto& r : recs) EXPECT_EQ(r.size(), labels.size());
    for (size_t i = 0; i < t.rows[0].size(); ++i) EXPECT_EQ(std::stod(recs[1][i]), t.rows[0][i]); // round trip
}

TEST(HostOutput, TextTableKeepsEveryValueApart) {
    struct Case {
        std::vector<std::string> columns;
        std::vector<double> row;
    } cases[] = {
        {{std::string(70, 'x')}, {-1e-200}},
        {{"a", "b"}, {-1e-203, -1e-150}},
        {{std::string(200, 'y'), "z"}, {-1.5e-300, 2}},
    };
    for (auto& c : cases) {
        Table t;
        t.columns = c.columns;
        t.rows = {c.row};
        std::istringstream in(t.text());
        std::string header, line;
        std::getline(in, header);
        std::getline(in, line);
        std::istringstream fields(line);
        std::vector<double> got;
        for (std::string f; fields >> f;) got.push_back(std::stod(f));
        ASSERT_EQ(got.size(), c.row.size()) << line;
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i] / c.row[i], 1.0, 1e-6) << line;
    }
}

// .op passes, the sweep stops where the diode's current overflows.
std::string failingSecond() {
    return ".lib " + fixture("diode", 187) + "\nV1 a 0 0.5\nN1 a 0 fixdiode IS=1e-14 N=1 XMAX=1e300\n.op\n"
                                            ".dc V1 0 30 1\n.tran 1u 10u\n";
}

TEST(HostOutput, FailingAnalysisKeepsItsRowsAndTheFilesHoldNoStaleOne) {
    auto dir = std::filesystem::temp_directory_path() / ("vxr_out_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const std::string base = (dir / "run.csv").string(), stem = (dir / "run").string();
    for (const char* stale : {".op.csv", ".dc.csv", ".tran.csv", ".tran.incomplete.csv"})
        std::ofstream(stem + stale) << "stale\r\n";
    auto nl = quietNetlist(failingSecond());
    std::vector<AnalysisCmd::Kind> kinds;
    for (auto& a : nl->analyses()) kinds.push_back(a.kind);
    ResultFiles files(base, kinds);
    std::vector<Table> got;
    size_t n = 0;
    EXPECT_THROW(nl->run([&](const Table& t, const AnalysisCmd&) {
        got.push_back(t);
        files.write(n++, t);
    }),
                 SimError);
    files.removeUnwritten();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].complete);
    EXPECT_FALSE(got[1].complete);
    EXPECT_NE(got[1].failure.find("V1 = 19"), std::string::npos) << got[1].failure;
    EXPECT_EQ(got[1].rows.size(), 19u);
    EXPECT_NE(got[1].text().find("INCOMPLETE"), std::string::npos);
    EXPECT_NE(got[1].text().find("*** incomplete: stopped after 19 rows"), std::string::npos);
    EXPECT_EQ(readCsv(slurp(stem + ".op.csv")).size(), 2u);
    EXPECT_EQ(readCsv(slurp(stem + ".dc.incomplete.csv")).size(), 20u);
    for (const char* gone : {".dc.csv", ".tran.csv", ".tran.incomplete.csv"})
        EXPECT_FALSE(std::filesystem::exists(stem + gone)) << gone;
    std::filesystem::remove_all(dir);
}

TEST(HostOutput, FileNamesAndUnwritablePaths) {
    auto dir = std::filesystem::temp_directory_path() / "vxr_names";
    std::filesystem::create_directories(dir);
    {
        ResultFiles f((dir / "x.csv").string(), {AnalysisCmd::OP, AnalysisCmd::DC, AnalysisCmd::DC, AnalysisCmd::TRAN});
        EXPECT_EQ(f.path(0), (dir / "x.op.csv").string());
        EXPECT_EQ(f.path(1), (dir / "x.dc1.csv").string());
        EXPECT_EQ(f.path(2), (dir / "x.dc2.csv").string());
        EXPECT_EQ(f.incompletePath(3), (dir / "x.tran.incomplete.csv").string());
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir)); // no temporary left
    try {
        ResultFiles f((dir / "missing" / "x.csv").string(), {AnalysisCmd::OP});
        ADD_FAILURE() << "unwritable path accepted";
    } catch (const SimError& e) {
        EXPECT_NE(std::string(e.what()).find("missing/x.op.csv"), std::string::npos) << e.what();
    }
    std::filesystem::remove_all(dir);
}

TEST(HostOutput, DamagedLibraryIsNamed) {
    auto dir = std::filesystem::temp_directory_path() / "vxr_trunc";
    std::filesystem::create_directories(dir);
    const std::string whole = slurp(fixture("diode", 187));
    struct Case {
        std::string name, bytes, message;
    } cases[] = {
        {"trunc.so", whole.substr(0, 20000), "damaged file"},
        {"header.so", whole.substr(0, 40), "damaged file"},
        {"text.so", "not a library\n", "no ELF or PE header"},
    };
    for (auto& c : cases) {
        const std::string p = (dir / c.name).string();
        std::ofstream(p, std::ios::binary) << c.bytes;
        for (const std::string& text : {".lib " + p + "\n.op\n"}) {
            try {
                quietNetlist(text);
                ADD_FAILURE() << c.name << " loaded";
            } catch (const NetlistError& e) {
                const std::string m = e.what();
                EXPECT_NE(m.find(c.message), std::string::npos) << m;
                EXPECT_NE(m.find(c.name), std::string::npos) << m;
            }
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(HostOutput, NodeNamesInAnyCase) {
    // Node names are case-insensitive like element names.
    auto t = quietNetlist("V1 A 0 2\nR1 a B 1k\nR2 b 0 1k\n.op\n.print V(b) I(v1)\n")->run();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_DOUBLE_EQ(t[0].rows[0][0], 1.0);
    EXPECT_THROW(quietNetlist("V1 a 0 1\nR1 a 0 1k\nr1 a 0 2k\n.op\n"), NetlistError);
}

} // namespace
