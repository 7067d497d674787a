#include "vxrhost/ResultFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <unistd.h>

namespace vxr {

namespace {
std::string errnoText() { return std::strerror(errno); }

// Writes text to path; a failure names the file shown.
void writeAll(const std::string& path, const std::string& text, const std::string& shown) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw SimError("cannot write '" + shown + "': " + errnoText());
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int err = errno;
    if (std::fclose(f) != 0 || !ok) {
        errno = ok ? errno : err;
        throw SimError("cannot write '" + shown + "': " + errnoText());
    }
}
} // namespace

ResultFiles::ResultFiles(const std::string& csvPath, const std::vector<AnalysisCmd::Kind>& kinds) {
    std::string base = csvPath;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".csv") == 0) base.resize(base.size() - 4);
    std::map<int, int> count, seen;
    for (auto k : kinds) ++count[k];
    const std::string suffix = ".tmp" + std::to_string(static_cast<long>(getpid()));
    for (auto k : kinds) {
        File f;
        std::string stem = base + "." + AnalysisCmd::kindName(k);
        if (count[k] > 1) stem += std::to_string(++seen[k]);
        f.path = stem + ".csv";
        f.incomplete = stem + ".incomplete.csv";
        f.temp = f.path + suffix;
        files_.push_back(f);
        try {
            writeAll(f.temp, "", f.path);
        } catch (const SimError&) {
            files_.pop_back();
            for (auto& g : files_) std::remove(g.temp.c_str());
            throw;
        }
    }
}

ResultFiles::~ResultFiles() {
    for (auto& f : files_) std::remove(f.temp.c_str());
}

std::string ResultFiles::write(size_t i, const Table& t) {
    File& f = files_.at(i);
    f.written = true;
    const std::string& target = t.complete ? f.path : f.incomplete;
    writeAll(f.temp, t.csv(), target);
    if (std::rename(f.temp.c_str(), target.c_str()) != 0) throw SimError("cannot write '" + target + "': " + errnoText());
    std::remove((t.complete ? f.incomplete : f.path).c_str());
    return target;
}

void ResultFiles::removeUnwritten() {
    for (auto& f : files_)
        if (!f.written) {
            std::remove(f.path.c_str());
            std::remove(f.incomplete.c_str());
        }
}

} // namespace vxr
