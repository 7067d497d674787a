// The ERROR texts the host received (without their context lines), in
// order; every one of them must have come with exactly one "exit" request.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_host.h"

inline std::vector<std::string> errorBodies(const vxrtest::RecordingHost& host)
{
    std::vector<std::string> out;
    for (const auto& m : host.messages())
        if (m.type == MessageTypeE_ERROR)
            out.push_back(m.body);
    EXPECT_EQ(host.exitRequests(), static_cast<int>(out.size()));
    EXPECT_EQ(host.requests().size(), out.size());
    return out;
}
