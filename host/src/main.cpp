// vxrsim: command-line front end of the test host.
//   vxrsim [-o results.csv] [-q] [-s] [-L libdir] netlist.cir
//   vxrsim describe library.so
#include "vxrhost/Netlist.h"
#include "vxrhost/ResultFiles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {
const char* kUsage =
    "usage: vxrsim [-o results.csv] [-q] [-s] [-L libdir] netlist\n"
    "       vxrsim describe library\n"
    "  -o FILE  also write each analysis as a CSV file: FILE.csv gives FILE.op.csv,\n"
    "           FILE.dc.csv, FILE.ac.csv, FILE.tran.csv (FILE.dc1.csv, FILE.dc2.csv, ...\n"
    "           where a kind repeats); an analysis that failed is written to\n"
    "           FILE.KIND.incomplete.csv\n"
    "  -q       do not echo library messages\n"
    "  -s       print each analysis's points, Newton iterations, time steps and time on stderr\n"
    "  -L DIR   search DIR for .lib files (also VXR_LIBRARY_PATH)\n"
    "  --help   print this text\n"
    "  --version\n"
    "exit status: 0 success, 1 an analysis failed, 2 a bad command line, netlist or library\n";

int usageError(const std::string& why) {
    std::fprintf(stderr, "vxrsim: %s\n%s", why.c_str(), kUsage);
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usageError("no netlist given");
    if (std::strcmp(argv[1], "describe") == 0) {
        if (argc != 3) return usageError("describe takes one library");
        try {
            auto lib = vxr::ModelLibrary::open(argv[2]);
            std::cout << vxr::describeLibrary(*lib);
            return 0;
        } catch (const vxr::SimError& e) {
            std::fprintf(stderr, "vxrsim: %s\n", e.what());
            return 2;
        }
    }
    std::string csvPath, netlist;
    bool quiet = false, stats = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "-o" || a == "-L") {
            if (!hasValue) return usageError("option '" + a + "' needs a value");
            std::string v = argv[++i];
            if (v.empty()) return usageError("option '" + a + "' needs a value");
            if (a == "-o") {
                csvPath = v;
                continue;
            }
            const char* old = std::getenv("VXR_LIBRARY_PATH");
            if (old && *old) v += std::string(":") + old;
            setenv("VXR_LIBRARY_PATH", v.c_str(), 1);
        } else if (a == "-q") {
            quiet = true;
        } else if (a == "-s") {
            stats = true;
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("vxrsim, the test host of the vxr model libraries; model interface revisions 1.42, 1.60, 1.87\n");
            return 0;
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option '" + a + "'");
        } else if (netlist.empty()) {
            netlist = a;
        } else {
            return usageError("more than one netlist ('" + netlist + "', '" + a + "')");
        }
    }
    if (netlist.empty()) return usageError("no netlist given");
    std::unique_ptr<vxr::Netlist> nl;
    try {
        nl = vxr::Netlist::parseFile(netlist);
        if (nl->analyses().empty()) throw vxr::NetlistError("no analysis requested (.op, .dc, .ac or .tran)");
    } catch (const vxr::SimError& e) {
        std::fprintf(stderr, "vxrsim: %s: %s\n", netlist.c_str(), e.what());
        return 2;
    }
    // Every output file is opened before the first analysis runs.
    std::unique_ptr<vxr::ResultFiles> files;
    if (!csvPath.empty()) {
        std::vector<vxr::AnalysisCmd::Kind> kinds;
        for (auto& a : nl->analyses()) kinds.push_back(a.kind);
        try {
            files = std::make_unique<vxr::ResultFiles>(csvPath, kinds);
        } catch (const vxr::SimError& e) {
            std::fprintf(stderr, "vxrsim: %s\n", e.what());
            return 2;
        }
    }
    nl->circuit().host().echoMessages = !quiet;
    auto printStats = [&] {
        if (stats)
            for (auto& st : nl->statistics()) std::fprintf(stderr, "vxrsim: %s\n", st.text().c_str());
    };
    size_t done = 0;
    std::string writeError, incompleteFile;
    auto onTable = [&](const vxr::Table& t, const vxr::AnalysisCmd&) {
        std::cout << (done ? "\n" : "") << t.text() << std::flush;
        if (files) {
            try {
                std::string path = files->write(done, t);
                if (!t.complete) incompleteFile = path;
            } catch (const vxr::SimError& e) {
                if (writeError.empty()) writeError = e.what();
            }
        }
        ++done;
    };
    int rc = 0;
    try {
        nl->run(onTable);
    } catch (const vxr::SimError& e) {
        std::fprintf(stderr, "vxrsim: %s: %s\n", netlist.c_str(), e.what());
        rc = 1;
    }
    if (!incompleteFile.empty())
        std::fprintf(stderr, "vxrsim: the rows of the failed analysis are in '%s'\n", incompleteFile.c_str());
    if (files) files->removeUnwritten();
    printStats();
    if (!writeError.empty()) {
        std::fprintf(stderr, "vxrsim: %s\n", writeError.c_str());
        rc = 1;
    }
    if (rc != 0 && done < nl->analyses().size())
        std::fprintf(stderr, "vxrsim: %zu of %zu analyses not run\n", nl->analyses().size() - done, nl->analyses().size());
    return rc;
}
