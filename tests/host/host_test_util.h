#pragma once
#include "vxrhost/Netlist.h"

#include <gtest/gtest.h>
#include <string>

// Path of a fixture library: kind "rc", "rl", "diode" or "rand", revision 187/160/142.
inline std::string fixture(const std::string& kind, int rev) {
    return std::string(VXR_FIXTURE_DIR) + "/fix" + kind + "_" + std::to_string(rev) + ".so";
}

// Parses a netlist with library messages kept quiet.
inline std::unique_ptr<vxr::Netlist> quietNetlist(const std::string& text) {
    auto nl = vxr::Netlist::parse(text);
    nl->circuit().host().echoMessages = false;
    return nl;
}

// Column index of a table by label.
inline size_t column(const vxr::Table& t, const std::string& label) {
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i] == label) return i;
    ADD_FAILURE() << "no column " << label;
    return 0;
}
