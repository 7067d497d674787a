// Shared fixture of the table-model tests: a recording host, one instance,
// records made from text files or arrays and released at the end, and a
// check that every block was given back.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "VXR_TableModel.h"
#include "allocation_probe.h"
#include "fixture_module.h"
#include "recording_host.h"

namespace tabletest {

// Per-dimension control codes written as "3EC 1LL": interpolation code,
// lower letter, upper letter, one group per dimension; "" for none.
struct Control {
    std::vector<int> interp;
    std::string lower, upper;
    explicit Control(const std::string& text) {
        for (size_t i = 0; i + 3 <= text.size(); i += 4) {
            interp.push_back(text[i] - '0');
            lower += text[i + 1];
            upper += text[i + 2];
        }
    }
    int dims() const { return static_cast<int>(interp.size()); }
};

class TableTest : public ::testing::Test {
protected:
    vxrtest::RecordingHost host;
    vxrtest::InstanceRecord rec{host, "t1", "tab"};
    std::vector<void*> records;
    std::vector<VXR_Array*> arrays;
    long liveAtStart = 0;

    void SetUp() override {
        vxr_test::resetAllocationProbe();
        liveAtStart = vxr_test::liveBlocks();
    }
    void TearDown() override {
        for (void* r : records) VXR_freeTableModel(r);
        for (VXR_Array* a : arrays) freeTestArray(a);
        EXPECT_EQ(vxr_test::liveBlocks(), liveAtStart);
    }

    VXR_DeviceInst* inst() { return rec.ptr(); }

    TableModel* fileTable(const std::string& content, const std::string& control = "") {
        return namedTable(host.tempFile(content), control);
    }
    TableModel* namedTable(const std::string& name, const std::string& control = "") {
        Control c(control);
        void* t = VXR_createTableModelFileSource(inst(), c.dims(), c.interp.data(), c.lower.data(), c.upper.data(),
                                                 name.c_str());
        records.push_back(t);
        return static_cast<TableModel*>(t);
    }
    // One-dimensional arrays [0 : n - 1] of the instance; an empty one has
    // no bounds and no elements.
    VXR_Array* realArray(const std::vector<double>& v) { return array(VXR_REAL_ARRAY, v); }
    VXR_Array* intArray(const std::vector<double>& v) { return array(VXR_INT_ARRAY, v); }

    // An ERROR as the host receives it, with the instance line.
    static std::string framed(const std::string& body) { return vxrtest::withInstance(body, "t1", "tab"); }
    std::vector<std::string> errors() const { return host.messageTexts(MessageTypeE_ERROR); }
    std::vector<std::string> infos() const { return host.messageTexts(MessageTypeE_INFO); }
    int extrapRequests() const {
        int n = 0;
        for (const auto& r : host.requests()) n += r.request == "extrap" && r.code == 0;
        return n;
    }

private:
    VXR_Array* array(VXR_ArrayTypeE type, const std::vector<double>& v) {
        const int n = static_cast<int>(v.size());
        VXR_Array* a = n > 0 ? makeArray(inst(), type, "data", 0, n - 1, v) : VXR_createArray(inst(), type, "data");
        arrays.push_back(a);
        return a;
    }
};

// VXR_callTableModel with the lookups as its variable arguments (up to 3);
// deriv, when given, is resized to the lookup count and filled.
inline double callTable(void* t, const std::vector<double>& v, std::vector<double>* deriv = nullptr) {
    std::vector<double> d(v.size() + 1, -99.0);
    double* dp = deriv ? d.data() : nullptr;
    const int n = static_cast<int>(v.size());
    double r = 0.0;
    switch (n) {
    case 0: r = VXR_callTableModel(t, dp, 0); break;
    case 1: r = VXR_callTableModel(t, dp, 1, v[0]); break;
    case 2: r = VXR_callTableModel(t, dp, 2, v[0], v[1]); break;
    case 3: r = VXR_callTableModel(t, dp, 3, v[0], v[1], v[2]); break;
    default: ADD_FAILURE() << "callTable takes up to 3 lookups";
    }
    if (deriv) {
        EXPECT_EQ(d[v.size()], -99.0) << "a partial written past the lookup count";
        d.resize(v.size());
        *deriv = d;
    }
    return r;
}

// The tree as text: "[s:child s:child]" per inner node, "{s:y s:y}" per leaf.
inline std::string treeText(const IsoSet* node) {
    std::string out = node->leaf ? "{" : "[";
    const IsoSet* child = node->leaf ? nullptr : node->dataU.children;
    for (int k = 0; k < node->npts; ++k) {
        char buf[64];
        snprintf(buf, sizeof buf, "%s%.17g:", k ? " " : "", node->indep[k]);
        out += buf;
        if (node->leaf) {
            snprintf(buf, sizeof buf, "%.17g", node->dataU.dep[k]);
            out += buf;
        } else {
            out += child ? treeText(child) : "?";
            child = child ? child->next : nullptr;
        }
    }
    if (child != nullptr) out += " extra";
    return out + (node->leaf ? "}" : "]");
}

} // namespace tabletest
