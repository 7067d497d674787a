// Opens a model library as a host does (dlopen, or LoadLibrary on Windows),
// reads its version and manifest, creates one instance with a few
// parameters, runs the full and the right-hand-side-only load at one bias,
// and prints what it read and every value the library loaded (doubles in
// hexadecimal, exact). Built for 32-bit Linux and for 32-bit Windows from
// this one source, compiled for the library's revision (VXR_REVISION).
//
//   dll_smoke LIBRARY             prints the listing
//   dll_smoke LIBRARY REFERENCE   prints it and compares it with REFERENCE
//                                 (the other platform's listing)
//
// Lines starting with '#' are not compared (paths, build identifiers).
// Numbers agree within kRelTol of the larger magnitude in their line group:
// the two builds compute in SSE2 doubles alike, but their libm functions
// (exp, log, pow) may round differently in the last bit.
// Exit status: 0 agreed, 1 the values differ, 2 usage or a listing that
// cannot be read, 3 the library cannot be opened or is not the expected one.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "module_host.h"

namespace {

constexpr double kRelTol = 1e-12;

void* openLibrary(const char* path, std::string& error)
{
#ifdef _WIN32
    HMODULE h = LoadLibraryA(path);
    if (h == nullptr) error = "LoadLibrary failed, error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(h);
#else
    void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) error = dlerror();
    return h;
#endif
}

void* symbol(void* lib, const char* name)
{
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(lib), name));
#else
    return dlsym(lib, name);
#endif
}

std::string hex(double v)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%a", v);
    return buf;
}

const char* kindName(vxrtest::LoadKind k) { return vxrtest::toString(k); }

// The listing of one library; empty on failure (message on stderr).
bool listing(const char* path, std::ostringstream& out)
{
    std::string error;
    void* lib = openLibrary(path, error);
    if (lib == nullptr) {
        fprintf(stderr, "dll_smoke: cannot open %s: %s\n", path, error.c_str());
        return false;
    }
    using VersionFn = const VXR_LibraryVersion* (*)();
    using ManifestFn = const VXR_LibraryManifest* (*)();
    auto getVersion = reinterpret_cast<VersionFn>(symbol(lib, "getLibraryVersion"));
    auto getManifest = reinterpret_cast<ManifestFn>(symbol(lib, "getLibraryManifest"));
    if (getVersion == nullptr || getManifest == nullptr) {
        fprintf(stderr, "dll_smoke: %s: getLibraryVersion or getLibraryManifest missing\n", path);
        return false;
    }
    const VXR_LibraryVersion* v = getVersion();
    out << "version " << v->major << " " << v->minor << " " << v->revision << " "
        << (v->fullRevision ? v->fullRevision : "-") << "\n";
    if (v->minor != VXR_REVISION % 100) {
        fprintf(stderr, "dll_smoke: %s has interface revision %s; this program drives revision %d\n", path,
                v->revision, VXR_REVISION);
        return false;
    }
    const VXR_LibraryManifest* m = getManifest();
    out << "# build id " << (m->buildId ? m->buildId : "-") << "\n";
    out << "modules " << m->numOfModules << "\n";
    const VXR_ModuleDescriptor& md = m->pModules[0];
    out << "module " << md.moduleName << " terminals";
    std::vector<const char*> names;
    for (int i = 0; i < md.numOfTerminals; ++i) {
        names.push_back(md.terminalNames[i]);
        out << " " << md.terminalNames[i];
    }
    out << "\nparameters " << md.numOfParams << "\n";

    vxrtest::ModuleHost host(md, names, nullptr);
    host.setTemperature(310.15);
    VXR_DeviceInst* inst = host.createReady({vxrtest::realAssn("NCELL", 3.0), vxrtest::realAssn("LGF", 1.5e-4),
                                             vxrtest::realAssn("RTH", 0.002), vxrtest::intAssn("TYPE", 1)});
    if (inst == nullptr) {
        fprintf(stderr, "dll_smoke: %s: the instance was not created\n", path);
        return false;
    }
    // D G B TINT TEXT (VIDS IIDS): a biased device, warm inside.
    const double bias[] = {4.0, 2.5, 0.0, 1.5, 0.5, 0.0, 0.0};
    for (size_t i = 0; i < host.terminals.size() && i < sizeof bias / sizeof bias[0]; ++i)
        host.setSolution(host.terminals[i], bias[i]);
    for (const auto& msg : host.messages()) out << "message " << vxrtest::toString(msg.type) << " " << msg.body << "\n";
    for (size_t i = 0; i < host.handles().size(); ++i) {
        const vxrtest::HandleRecord& r = host.handles()[i];
        out << "handle " << i << " " << vxrtest::toString(r.kind);
        for (const VXR_StateVar* sv : r.sv)
            if (sv != nullptr) out << " " << host.nameOf(sv);
        out << "\n";
    }
    for (int pass = 0; pass < 2; ++pass) {
        host.clearLog();
        if (pass == 0)
            md.pGenLoad(inst, host.loader());
        else
            md.pGenLoadRHS(inst, host.loader());
        out << "load " << (pass == 0 ? "full" : "rhs") << " batches " << host.batches().size() << "\n";
        for (const vxrtest::BatchRecord& b : host.batches()) {
            out << "batch " << kindName(b.kind) << " " << b.values.size() << "\n";
            for (size_t i = 0; i < b.values.size(); ++i)
                out << "value " << b.handles[i] << " " << hex(b.values[i]) << "\n";
        }
    }
    host.destroy(inst);
    return true;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> r;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] != '#') r.push_back(line);
    }
    return r;
}

// The last word of a "value" line as a double.
bool valueOf(const std::string& line, double& v)
{
    if (line.compare(0, 6, "value ") != 0) return false;
    const size_t at = line.rfind(' ');
    char* end = nullptr;
    v = strtod(line.c_str() + at + 1, &end);
    return end != line.c_str() + at + 1 && *end == '\0';
}

// Compares two listings; prints the differences. Returns whether they agree.
bool compare(const std::vector<std::string>& got, const std::vector<std::string>& want)
{
    if (got.size() != want.size()) {
        printf("dll_smoke: %zu lines against %zu in the reference\n", got.size(), want.size());
    }
    int differ = 0, inexact = 0, exact = 0;
    double worst = 0.0;
    // Scale of each batch: the largest magnitude in it, on either side.
    double scale = 0.0;
    for (size_t i = 0; i < got.size() && i < want.size(); ++i) {
        double a = 0.0, b = 0.0;
        if (got[i].compare(0, 6, "batch ") == 0) {
            scale = 0.0;
            for (size_t j = i + 1; j < got.size() && j < want.size() && valueOf(got[j], a) && valueOf(want[j], b); ++j)
                scale = fmax(scale, fmax(fabs(a), fabs(b)));
        }
        if (valueOf(got[i], a) && valueOf(want[i], b) &&
            got[i].substr(0, got[i].rfind(' ')) == want[i].substr(0, want[i].rfind(' '))) {
            if (memcmp(&a, &b, sizeof a) == 0 || (isnan(a) && isnan(b))) {
                ++exact;
                continue;
            }
            ++inexact;
            const double rel = scale > 0.0 ? fabs(a - b) / scale : INFINITY;
            worst = fmax(worst, rel);
            if (rel <= kRelTol) continue;
        } else if (got[i] == want[i]) {
            continue;
        }
        if (++differ <= 20) printf("differs: \"%s\" against \"%s\"\n", got[i].c_str(), want[i].c_str());
    }
    printf("dll_smoke: %d values bit-identical, %d within the tolerance (largest difference %.3g of the batch scale, "
           "tolerance %.3g), %d lines differ\n",
           exact, inexact, worst, kRelTol, differ);
    return differ == 0 && got.size() == want.size();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: %s LIBRARY [REFERENCE]\n", argv[0]);
        return 2;
    }
    printf("dll_smoke: started (%s)\n", argv[1]);
    fflush(stdout);
    std::ostringstream out;
    if (!listing(argv[1], out)) return 3;
    if (argc == 2) {
        fputs(out.str().c_str(), stdout);
        return 0;
    }
    FILE* f = fopen(argv[2], "rb");
    if (f == nullptr) {
        fprintf(stderr, "dll_smoke: cannot read %s\n", argv[2]);
        return 2;
    }
    std::string ref;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) ref.append(buf, n);
    fclose(f);
    const std::vector<std::string> want = lines(ref);
    // The reference is a listing of this program: its first line is the start line.
    if (want.empty() || want[0].compare(0, 18, "dll_smoke: started") != 0) {
        fprintf(stderr, "dll_smoke: %s is not a listing\n", argv[2]);
        return 2;
    }
    std::vector<std::string> got = lines(out.str());
    const bool same = compare(got, std::vector<std::string>(want.begin() + 1, want.end()));
    printf("dll_smoke: %s\n", same ? "agrees with the reference" : "DIFFERS from the reference");
    return same ? 0 : 1;
}
