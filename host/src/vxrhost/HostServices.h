// Services the host gives every model instance of one circuit.
#pragma once

#include "vxrhost/HostRandom.h"
#include "vxrhost/Options.h"

#include <functional>
#include <string>
#include <vector>

namespace vxr {

// A noise contribution a library reported for one of its noise sources
// (pReportNoiseContrib): the rows the source feeds, -1 for ground or none.
struct NoiseReport {
    std::string instance;
    int source;
    int plus, minus;
};

// One severity-tagged message as received from a library (or the host).
struct Message {
    int severity; // VXR_MessageTypeE
    std::string text;
    std::string instance;
};

const char* severityName(int severity);

// Services shared by every model instance of one circuit: options, messages,
// system requests and the random generator.
struct HostServices {
    Options options;
    std::vector<Message> messages;
    std::vector<NoiseReport> noiseReports; // in the order the libraries reported them
    bool echoMessages = true;
    bool exitRequested = false;
    std::string exitInstance;
    std::string exitMessage; // last message before the exit request
    int extrapRequests = 0;
    int limiterCalls = 0, limitedSteps = 0; // the junction limiter: calls, and calls that limited
    HostRandom rng;

    void message(int severity, const std::string& text, const std::string& instance);
    void systemRequest(const std::string& request, int code, const std::string& instance);
    // Throws SimError when a library asked to stop.
    void checkExit() const {
        if (exitRequested) throwExit();
    }
    [[noreturn]] void throwExit() const;
};

} // namespace vxr
