// vxrsim: command-line front end of the test host.
//   vxrsim [-o results.csv] [-q] [-s] netlist.cir
//   vxrsim describe library.so
#include "vxrhost/Netlist.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {
int usage() {
    std::fprintf(stderr,
                 "usage: vxrsim [-o results.csv] [-q] [-s] [-L libdir] netlist\n"
                 "       vxrsim describe library\n"
                 "  -o FILE  also write the results as CSV (several analyses are separated by a blank line)\n"
                 "  -q       do not echo library messages\n"
                 "  -s       print each analysis's points, Newton iterations, time steps and time on stderr\n"
                 "  -L DIR   search DIR for .lib files (also VXR_LIBRARY_PATH)\n");
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "describe") == 0) {
        if (argc != 3) return usage();
        try {
            auto lib = vxr::ModelLibrary::open(argv[2]);
            std::cout << vxr::describeLibrary(*lib);
            return 0;
        } catch (const vxr::SimError& e) {
            std::fprintf(stderr, "vxrsim: %s\n", e.what());
            return 1;
        }
    }
    std::string csvPath, netlist;
    bool quiet = false, stats = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-o" && i + 1 < argc) csvPath = argv[++i];
        else if (a == "-L" && i + 1 < argc) {
            const char* old = std::getenv("VXR_LIBRARY_PATH");
            std::string v = argv[++i];
            if (old && *old) v += std::string(":") + old;
            setenv("VXR_LIBRARY_PATH", v.c_str(), 1);
        }
        else if (a == "-q") quiet = true;
        else if (a == "-s") stats = true;
        else if (a == "-h" || a == "--help") return usage();
        else if (!a.empty() && a[0] == '-') return usage();
        else if (netlist.empty()) netlist = a;
        else return usage();
    }
    if (netlist.empty()) return usage();
    std::unique_ptr<vxr::Netlist> nl;
    try {
        nl = vxr::Netlist::parseFile(netlist);
    } catch (const vxr::SimError& e) {
        std::fprintf(stderr, "vxrsim: %s: %s\n", netlist.c_str(), e.what());
        return 2;
    }
    nl->circuit().host().echoMessages = !quiet;
    auto printStats = [&] {
        if (stats)
            for (auto& st : nl->statistics()) std::fprintf(stderr, "vxrsim: %s\n", st.text().c_str());
    };
    try {
        auto tables = nl->run();
        std::ofstream csv;
        if (!csvPath.empty()) {
            csv.open(csvPath);
            if (!csv) {
                std::fprintf(stderr, "vxrsim: cannot write '%s'\n", csvPath.c_str());
                return 1;
            }
        }
        for (size_t i = 0; i < tables.size(); ++i) {
            std::cout << (i ? "\n" : "") << tables[i].text();
            if (csv) csv << (i ? "\n" : "") << tables[i].csv();
        }
        printStats();
        return 0;
    } catch (const vxr::SimError& e) {
        printStats();
        std::fprintf(stderr, "vxrsim: %s: %s\n", netlist.c_str(), e.what());
        return 1;
    }
}
