// The host's random generator.
#pragma once

#include <cstdint>

namespace vxr {

// The generator behind pSeedRand and pRand: a full-period 32-bit linear
// congruential stream that skips 0x80000000, so draws run from -2147483647 to
// 2147483647 as the runtime expects, and a draw handed back as the next seed
// (as the real distributions do) continues the stream instead of cycling.
struct HostRandom {
    uint32_t state = 1;
    void seed(uint32_t s) { state = s; }
    int operator()() {
        do
            state = state * 1664525u + 1013904223u;
        while (state == 0x80000000u);
        return static_cast<int>(state);
    }
};

} // namespace vxr
