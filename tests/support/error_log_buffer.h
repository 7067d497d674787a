// A range-violation log for tests: capacity as given (0 allowed), entries
// readable as names.
#pragma once

#include <string>
#include <vector>

#include "VXR_SupportLib.h"

namespace vxrtest {

struct ErrorLogBuffer {
    explicit ErrorLogBuffer(int capacity) : inst(capacity > 0 ? capacity : 1), str(capacity > 0 ? capacity : 1)
    {
        log.length = 0;
        log.maxLength = capacity;
        log.errorInst = inst.data();
        log.errorStr = str.data();
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> r;
        for (int i = 0; i < log.length; ++i) r.push_back(log.errorStr[i]);
        return r;
    }
    VXR_ErrorLog log{};
    std::vector<VXR_DeviceInst*> inst;
    std::vector<char*> str;
};

} // namespace vxrtest
