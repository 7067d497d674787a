// A small recording host for the frame-state tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "VXR_SupportLib.h"

struct HostRecord {
    std::vector<std::pair<int, std::string>> messages;         // (type, text)
    std::vector<std::pair<int, std::string>> debugEvents;      // (event, tag or "")
    std::vector<std::pair<std::string, void*>> hostFrees;      // 1.42 host free members
    std::vector<void*> restoredCross;                          // pRestoreCrossEvent arguments
    std::vector<std::pair<std::string, long>> seeks;           // (file name, position)
    int scanCalls = 0;
    double defaults[16] = {};                                  // loader pGetDefault answers
};

extern HostRecord g_host;

// Resets the record and fills a host table / loader with the recording members.
void initHost(VXR_SimInterface& si);
void initLoader(VXR_ContribLoader& ldr);
void resetHost();

// The recording host's file service: fd -> a real temporary file.
std::string writeTempFile(const std::string& content);
const char* hostFileName(FILE* f);
void closeAllHostFiles();
