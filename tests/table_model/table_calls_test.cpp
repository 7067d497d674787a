// Records and evaluation entries: sources, control codes, the messages of a
// table that cannot be evaluated, the lookup buffer, the scalar derivative
// and allocation failures at every step.
#include <cmath>

#include "table_test_util.h"

namespace {

using tabletest::callTable;
using tabletest::TableTest;

const char* kMissing = "\nIn $table_model(), data file,\n    '%s'\ndoes not exist or is not readable.";

std::string lookupCount(int len, int dim) {
    char buf[400];
    snprintf(buf, sizeof buf,
             "\nIn $table_model(), the number of lookup variables must equal the\ndimensionality of the data. %d "
             "variable(s) supplied for data that is\n%d dimensional.",
             len, dim);
    return buf;
}

std::string controlCount(int dim, int argDim) {
    char buf[400];
    snprintf(buf, sizeof buf,
             "\nIn $table_model(), the dimensionality of the data (%d) does not match\nthe dimensionality of the "
             "interpolation control string (%d).",
             dim, argDim);
    return buf;
}

std::string missing(const std::string& name) {
    char buf[400];
    snprintf(buf, sizeof buf, kMissing, name.c_str());
    return buf;
}

// f = 1 + 2a + 3b + ab sampled on a 3 x 3 grid: bilinear, so the linear
// table reproduces it exactly.
const char* kPlane = "0 0 1\n0 1 4\n0 2 7\n1 0 3\n1 1 7\n1 2 11\n2 0 5\n2 1 10\n2 2 15\n";

class TableCalls : public TableTest {};

TEST_F(TableCalls, MissingFileIsReportedAtEveryEvaluation) {
    TableModel* t = namedTable("/nonexistent/table.tbl");
    EXPECT_TRUE(host.messages().empty());
    for (int pass = 0; pass < 2; ++pass) {
        host.clearLog();
        std::vector<double> d;
        EXPECT_EQ(callTable(t, {0.5}, &d), 0.0);
        EXPECT_EQ(d, std::vector<double>{0.0});
        EXPECT_EQ(errors(), (std::vector<std::string>{framed(missing("/nonexistent/table.tbl")),
                                                      framed(lookupCount(1, 0))}));
        EXPECT_EQ(host.exitRequests(), 2);
    }
    // With a control string the data's dimensionality 0 does not match it.
    host.clearLog();
    EXPECT_EQ(callTable(namedTable("/nonexistent/table.tbl", "1LL"), {0.5}), 0.0);
    EXPECT_EQ(errors(), (std::vector<std::string>{framed(missing("/nonexistent/table.tbl")), framed(controlCount(0, 1)),
                                                  framed(lookupCount(1, 0))}));
}

TEST_F(TableCalls, TablesThatCannotBeEvaluatedGiveZero) {
    const std::string interpCode = "\nIn $table_model(), interpolation code %d of dimension %d is not valid.\n"
                                   "Expected 1 (linear), 2 (quadratic) or 3 (cubic).";
    const std::string letter = "\nIn $table_model(), %s extrapolation method '%c' of dimension %d is not valid.\n"
                               "Expected 'C' (constant), 'L' (linear) or 'E' (error).";
    auto fmt = [](const std::string& f, auto... a) {
        char buf[400];
        snprintf(buf, sizeof buf, f.c_str(), a...);
        return std::string(buf);
    };
    struct Case {
        const char* rows;
        const char* control;
        std::vector<double> lookups;
        std::vector<std::string> errors;
    } cases[] = {
        {"0 0\n1 1\n", "1LL 1LL", {0.5}, {controlCount(1, 2)}},
        {kPlane, "", {0.5}, {lookupCount(1, 2)}},
        {kPlane, "", {0.5, 0.5, 0.5}, {lookupCount(3, 2)}},
        {"0 0\n1 1\n", "4LL", {0.5}, {fmt(interpCode, 4, 1)}},
        {"0 0\n1 1\n", "0LL", {0.5}, {fmt(interpCode, 0, 1)}},
        {kPlane, "1LL 1XL", {0.5, 0.5}, {fmt(letter, "lower", 'X', 2)}},
        {kPlane, "1Ll 1LL", {0.5, 0.5}, {fmt(letter, "upper", 'l', 1)}},
        {"0 0\n1 1\n0 2\n", "1LL", {0.5}, {"\nIn $table_model(), isolines samples must strictly ascend or "
                                          "descend.\nDuplicate points found."}},
        {"0 0\n1 1\n", "", {}, {lookupCount(0, 1)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.rows) + c.control);
        TableModel* t = fileTable(c.rows, c.control);
        std::vector<std::string> expected;
        for (const std::string& e : c.errors) expected.push_back(framed(e));
        // Each evaluation reports again and gives 0.0 with zero partials.
        for (int pass = 0; pass < 2; ++pass) {
            host.clearLog();
            std::vector<double> d;
            EXPECT_EQ(callTable(t, c.lookups, &d), 0.0);
            EXPECT_EQ(d, std::vector<double>(c.lookups.size(), 0.0));
            EXPECT_EQ(errors(), expected);
            EXPECT_EQ(host.exitRequests(), static_cast<int>(expected.size()));
        }
    }
}

TEST_F(TableCalls, NullRecordGivesZero) {
    std::vector<double> d;
    EXPECT_EQ(callTable(nullptr, {1.0, 2.0}, &d), 0.0);
    EXPECT_EQ(d, (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(VXR_scalarDerivTableModel(nullptr, 1, 1.0, 1.0), 0.0);
    VXR_freeTableModel(nullptr);
}

TEST_F(TableCalls, LookupBufferGrowsWithTheCall) {
    TableModel* t = fileTable(kPlane);
    EXPECT_EQ(callTable(t, {0.5}), 0.0); // too few: reported
    std::vector<double> d;
    EXPECT_EQ(callTable(t, {0.5, 1.5}, &d), 1 + 1.0 + 4.5 + 0.75);
    EXPECT_EQ(d, (std::vector<double>{2 + 1.5, 3 + 0.5}));
    EXPECT_EQ(callTable(t, {0.5, 1.5, 9.0}), 0.0);
    EXPECT_EQ(callTable(t, {1.5, 0.5}), 1 + 3.0 + 1.5 + 0.75);
    EXPECT_EQ(errors(), (std::vector<std::string>{framed(lookupCount(1, 2)), framed(lookupCount(3, 2))}));
}

TEST_F(TableCalls, ScalarDerivativeSumsPartialsTimesFactors) {
    TableModel* t = fileTable(kPlane);
    // p0 = 2 + b = 3.5, p1 = 3 + a = 3.25 at (0.25, 1.5)
    EXPECT_EQ(VXR_scalarDerivTableModel(t, 2, 0.25, 1.5, 2.0, -1.0), 3.5 * 2.0 - 3.25);
    EXPECT_EQ(VXR_scalarDerivTableModel(t, 2, 0.25, 1.5, 0.0, 4.0), 13.0);
    TableModel* line = fileTable("0 0\n1 10\n2 30\n");
    EXPECT_EQ(VXR_scalarDerivTableModel(line, 1, 1.5, 0.5), 10.0);
    EXPECT_TRUE(errors().empty());
    // Nothing to sum, and a table that fails sums zeros.
    EXPECT_EQ(VXR_scalarDerivTableModel(line, 0), 0.0);
    TableModel* none = namedTable("/nonexistent/t.tbl");
    EXPECT_EQ(VXR_scalarDerivTableModel(none, 2, 1.0, 2.0, 3.0, 4.0), 0.0);
    EXPECT_EQ(VXR_scalarDerivTableModel(t, 1, 1.0, 3.0), 0.0);
}

TEST_F(TableCalls, ArraySources) {
    VXR_Array* a = intArray({2, 0, 1, 0, 2, 1});
    VXR_Array* b = realArray({0, 0, 0, 1, 1, 1});
    VXR_Array* y = realArray({5, 1, 3, 4, 10, 7}); // 1 + 2a + 3b + ab
    void* t = VXR_createTableModelArraySource(inst(), 2, 2, std::vector<int>{1, 1}.data(), (char*)"CC",
                                              (char*)"LL", &a, &b, &y);
    records.push_back(t);
    // Same numbers from a file give the same tree.
    TableModel* f = fileTable("2 0 5\n0 0 1\n1 0 3\n0 1 4\n2 1 10\n1 1 7\n", "1LC 1LC");
    std::vector<double> d;
    EXPECT_EQ(callTable(t, {1.5, 0.5}, &d), 1 + 3.0 + 1.5 + 0.75);
    EXPECT_EQ(d, (std::vector<double>{2.5, 4.5}));
    callTable(f, {1.5, 0.5});
    EXPECT_EQ(tabletest::treeText(static_cast<TableModel*>(t)->isoSet), tabletest::treeText(f->isoSet));
    // Changes after the first evaluation are not seen.
    y->_data._pReal[0] = 100;
    EXPECT_EQ(callTable(t, {1.5, 0.5}), 1 + 3.0 + 1.5 + 0.75);
    EXPECT_TRUE(errors().empty());

    VXR_Array* a4 = realArray({0, 1, 2, 3});
    VXR_Array* y4 = realArray({0, 1, 2, 3});
    VXR_Array* empty = realArray({});
    VXR_Array* none = nullptr;
    struct Case {
        int dim;
        std::vector<VXR_Array**> arrays;
        std::string error;
    } cases[] = {
        {2, {&a, &a4, &y}, "\nIn $table_model(), all independent data arrays must be the same length."},
        {1, {&b, &y4},
         "\nIn $table_model(), the dependent array must be the same length as the\nindependent array(s). Supplied "
         "an independent array with 6 point(s) and\na dependent array(s) with 4 point(s)."},
        {1, {&empty, &empty}, "\nIn $table_model(), the data arrays hold no points."},
        {1, {&none, &none}, "\nIn $table_model(), the data arrays hold no points."},
        {0, {&y}, "\nIn $table_model(), at least one independent data array is required."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        host.clearLog();
        std::vector<VXR_Array**> s = c.arrays;
        s.resize(3, nullptr);
        void* bad = VXR_createTableModelArraySource(inst(), c.dim, 0, nullptr, nullptr, nullptr, s[0], s[1], s[2]);
        records.push_back(bad);
        EXPECT_EQ(callTable(bad, {0.5}), 0.0);
        EXPECT_EQ(errors(), (std::vector<std::string>{framed(c.error), framed(lookupCount(1, 0))}));
    }
}

// Every allocation of creation and first evaluation fails in turn: the
// failure is reported, nothing leaks, and the next evaluation is right.
TEST_F(TableCalls, AllocationFailuresAtEveryStep) {
    const std::string name = host.tempFile(kPlane);
    std::vector<int> codes{3, 2};
    auto create = [&] {
        return VXR_createTableModelFileSource(inst(), 2, codes.data(), (char*)"CE", (char*)"LE", name.c_str());
    };
    void* clean = create();
    records.push_back(clean);
    std::vector<double> expectedDeriv;
    const double expected = callTable(clean, {1.5, 0.5}, &expectedDeriv);
    int k = 0;
    for (;; ++k) {
        SCOPED_TRACE(k);
        vxr_test::resetAllocationProbe();
        host.clearLog();
        const long live = vxr_test::liveBlocks();
        vxr_test::failAllocationAfter(k);
        void* t = create();
        std::vector<double> d;
        double first = t ? callTable(t, {1.5, 0.5}, &d) : 0.0;
        vxr_test::failAllocationAfter(-1);
        bool failed = false;
        for (const auto& a : vxr_test::systemAllocations()) failed |= a.block == nullptr;
        if (!failed) {
            EXPECT_EQ(first, expected);
            VXR_freeTableModel(t);
            break;
        }
        EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR).at(0), framed("Out of memory."));
        if (t != nullptr) {
            EXPECT_EQ(callTable(t, {1.5, 0.5}, &d), expected);
            EXPECT_EQ(d, expectedDeriv);
        }
        VXR_freeTableModel(t);
        EXPECT_EQ(vxr_test::liveBlocks(), live);
    }
    EXPECT_GT(k, 20);
}

} // namespace
