// Data files, point sets and the isoline tree.
#include <algorithm>
#include <functional>
#include <cstdarg>
#include <numeric>

#include "table_test_util.h"

namespace {

using tabletest::TableTest;
using tabletest::treeText;

std::string format(const char* fmt, ...) {
    char buf[6000];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

class TableFile : public TableTest {
protected:
    // Reads the file of a record; the set's points as "x..:y" texts.
    std::vector<std::string> read(TableModel* tm, bool* gotSet = nullptr) {
        PointSet* set = readPointSetFromFile(tm);
        if (gotSet) *gotSet = set != nullptr;
        std::vector<std::string> out;
        for (const Point* p = set ? set->points : nullptr; p; p = p->next) {
            std::string s;
            for (int k = 0; k < set->dim; ++k) s += format("%g ", p->x[k]);
            out.push_back(s + format(":%g", p->y));
        }
        deletePointSet(set);
        return out;
    }
    // The tree of a file's rows as text; "" when none was built.
    std::string tree(const std::string& content) {
        TableModel* tm = fileTable(content);
        PointSet* set = readPointSetFromFile(tm);
        IsoSet* t = pointSetToIsoSet(tm, set);
        deletePointSet(set);
        std::string out = t ? treeText(t) : "";
        destroyIsoSet(t);
        return out;
    }
};

TEST_F(TableFile, DataLinesCommentsAndNumberPrefixes) {
    struct Case {
        const char* content;
        std::vector<std::string> points;
    } cases[] = {
        {"", {}},
        {"# comments only\n\n   # indented\n\t\n\r\n\f\v\n", {}},
        {"1 2 # a comment\n", {"1 :2"}},
        {"  1\t2\n#\n3 4", {"1 :2", "3 :4"}},               // no final line feed
        {"1.5e-3 2.5V\n1k 7\n-inf 1e999\n", {"0.0015 :2.5", "1 :7", "-inf :inf"}},
        {"0 1 2#3 4\n5 6 7\n", {"0 1 :2", "5 6 :7"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        host.clearLog();
        bool gotSet = false;
        EXPECT_EQ(read(fileTable(c.content), &gotSet), c.points);
        EXPECT_EQ(gotSet, !c.points.empty());
        EXPECT_TRUE(host.messages().empty());
        EXPECT_EQ(host.exitRequests(), 0);
    }
}

// A NUL ends the text of its line; the next line is read as usual.
TEST_F(TableFile, NulInsideALineEndsIt) {
    const char raw[] = "1 2\0ignored tokens x\n3 4\n";
    EXPECT_EQ(read(fileTable(std::string(raw, sizeof raw - 1))), (std::vector<std::string>{"1 :2", "3 :4"}));
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(TableFile, MalformedFilesGiveTheirMessageAndLine) {
    const char* fewColumns =
        "\nIn $table_model(), not enough points on line %d of file\n    '%s'.\nAt least 2 points expected.";
    const char* invalid =
        "\nIn $table_model(), invalid data format while reading input file\n     '%s'\nline %d, '%s' is not a valid "
        "number.";
    const char* tooMany = "\nIn $table_model(), too many points on line %d of file\n    '%s'.\nData dimensionality "
                          "is %d. It cannot increase to %d. It is set by the first\npoint in the file.";
    const char* tooFew = "\nIn $table_model(), not enough points on line %d of file\n    '%s'.\nData dimensionality "
                         "is %d. It cannot decrease to %d. It is set by the first\npoint in the file.";
    const std::string longLine = "1 2" + std::string(1100, ' ') + "3\n"; // read as "1 2" and "   ...3"
    struct Case {
        std::string content;
        std::function<std::string(const char* file)> expected;
    } cases[] = {
        // blank, comment and tab lines are counted
        {"   # note\n\t\n1\n", [&](const char* f) { return format(fewColumns, 3, f); }},
        {"1 2\n1 2 3\n", [&](const char* f) { return format(tooMany, 2, f, 1, 2); }},
        {"1 2\n\n1\n", [&](const char* f) { return format(tooFew, 3, f, 1, 0); }},
        {"1 2 3\n4 5 6\n\n7 8\n", [&](const char* f) { return format(tooFew, 4, f, 2, 1); }},
        // the bad token is found before the column count
        {"1 2\n1 2 x\n", [&](const char* f) { return format(invalid, f, 2, "x"); }},
        {"1 2\nV2 3\n", [&](const char* f) { return format(invalid, f, 2, "V2"); }},
        // a carriage return after a space is a token of its own
        {"0 1\n1 2 \r\n", [&](const char* f) { return format(invalid, f, 2, "\r"); }},
        // a line longer than the buffer continues as the next line
        {longLine, [&](const char* f) { return format(tooFew, 2, f, 1, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        host.clearLog();
        const std::string name = host.tempFile(c.content);
        const std::string expected = c.expected(name.c_str());
        bool gotSet = true;
        EXPECT_TRUE(read(namedTable(name), &gotSet).empty());
        EXPECT_FALSE(gotSet);
        EXPECT_EQ(errors(), std::vector<std::string>{framed(expected)});
        EXPECT_EQ(host.exitRequests(), 1);
    }
}

TEST_F(TableFile, UnreadableFilesNameTheFileAsWritten) {
    const std::string longName(5000, 'a');
    for (const std::string& name : {std::string("/nonexistent/dir/data.tbl"), std::string("/tmp"), longName}) {
        host.clearLog();
        bool gotSet = true;
        read(namedTable(name), &gotSet);
        EXPECT_FALSE(gotSet);
        ASSERT_EQ(errors().size(), 1u);
        const std::string body =
            "\nIn $table_model(), data file,\n    '" + name + "'\ndoes not exist or is not readable.";
        if (name.size() < 100)
            EXPECT_EQ(errors()[0], framed(body));
        else
            EXPECT_EQ(errors()[0].compare(0, 200, body, 0, 200), 0);
        EXPECT_EQ(host.exitRequests(), 1);
    }
}

#if VXR_REVISION != 142
std::string g_resolvedPath;
void searchDataPath(const char* in, char* out, VXR_DeviceInst*, VXR_SimInterface*) {
    if (std::string(in) == "alias.tbl") snprintf(out, 4096, "%s", g_resolvedPath.c_str());
}

TEST_F(TableFile, HostResolvesTheDataPath) {
    host.sim()->pSearchDataPath = searchDataPath;
    g_resolvedPath = host.tempFile("1 2\n");
    EXPECT_EQ(read(namedTable("alias.tbl")), std::vector<std::string>{"1 :2"});
    g_resolvedPath = "/nonexistent/resolved.tbl";
    read(namedTable("alias.tbl"));
    EXPECT_EQ(errors(), std::vector<std::string>{framed(
                            "\nIn $table_model(), data file,\n    'alias.tbl'\ndoes not exist or is not readable.")});
}
#endif

TEST_F(TableFile, RowsInAnyOrderGiveTheSameTree) {
    struct Case {
        std::vector<std::string> rows;
        std::string tree;
    } cases[] = {
        {{"1 3 10", "0 3 20", "1 2 30", "0 2 40"}, "[0:{2:40 3:20} 1:{2:30 3:10}]"},
        // Groups sharing a second coordinate at their border stay apart.
        {{"0 5 1 10", "0 5 2 20", "1 5 0 30", "1 5 3 40"}, "[0:[5:{1:10 2:20}] 1:[5:{0:30 3:40}]]"},
        {{"3 1 7 2", "-1 1 7 4", "3 0 7 6", "-1 0 8 5"}, "[-1:[0:{8:5} 1:{7:4}] 3:[0:{7:6} 1:{7:2}]]"},
        {{"1 2 3 4"}, "[1:[2:{3:4}]]"},
        {{"2 1", "0 3", "1 2", "-1 4"}, "{-1:4 0:3 1:2 2:1}"},
    };
    for (Case& c : cases) {
        std::vector<int> order(c.rows.size());
        std::iota(order.begin(), order.end(), 0);
        do {
            std::string content = "# rows\n";
            for (int i : order) content += c.rows[static_cast<size_t>(i)] + "\n";
            SCOPED_TRACE(content);
            EXPECT_EQ(tree(content), c.tree);
        } while (std::next_permutation(order.begin(), order.end()));
    }
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(TableFile, DuplicatePointsBuildNoTree) {
    const std::string duplicate = framed(
        "\nIn $table_model(), isolines samples must strictly ascend or descend.\nDuplicate points found.");
    for (const char* content : {"1 2\n0 3\n1 4\n", "0 0 1\n1 0 2\n0 -0 3\n", "5 1\n5 1\n"}) {
        SCOPED_TRACE(content);
        host.clearLog();
        EXPECT_EQ(tree(content), "");
        EXPECT_EQ(errors(), std::vector<std::string>{duplicate});
        EXPECT_EQ(host.exitRequests(), 1);
    }
}

} // namespace
