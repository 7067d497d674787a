// Helpers shared by the frame tests.
#ifndef VXR_TESTS_FRAME_TEST_UTIL_H
#define VXR_TESTS_FRAME_TEST_UTIL_H

#include <string>

#include "recording_host.h"

constexpr bool rev187 = VXR_REVISION == 187;
// Context lines end with a newline in revision 1.87 only.
inline const char* contextTail() { return rev187 ? "\n" : ""; }

// A text no earlier test sent: the de-duplication cache lives for the process.
inline std::string fresh(const std::string& base) {
    static int counter = 0;
    return base + " #" + std::to_string(++counter);
}

#endif
