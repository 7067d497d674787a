// The host against a peer SPICE engine on four generated circuit families of
// size N, each run through vxrsim (a child process, with -s) and, where
// ngspice is installed, through ngspice on the same circuit with its built-in
// elements (-b -r FILE.raw; a batch run without a raw file or .print
// simulates nothing):
//  - rc_ladder/N:      N sections of 100 ohm and 10 pF behind a 1 V pulse, .tran 0.1u 10u
//  - rc_mesh/N:        a k x k grid (k = round(sqrt N)) of 1 kohm with 1 pF on each node,
//                      the same pulse into one corner, .tran 0.1u 10u
//  - diode_net/N:      N diodes to ground, each behind its own resistor from the swept
//                      source and 10 kohm to the next, .dc 0 to 5 V, 101 points
//  - rectifier_bank/N: N half-wave rectifiers (1 ohm, diode, 10 nF || load) on one
//                      5 V 1 MHz sine, .tran 10n 5u
//  - pads_on_one_node_SOLVER/N: N LAMBRET pads sharing one node (where the
//                      pad is built), .op, .ac and .tran with each solver, vxrsim alone
// The diode is the fixture module fixdiode (IS = 1e-14, N = 1, constant CJ = 1 pF),
// on ngspice's side its diode with the same equation (M = 0 makes CJO constant).
// The benchmark's time is vxrsim's whole run; the counters hold the whole-run
// and analysis-only seconds of both, their ratios (vxrsim / ngspice) and the
// largest difference between the two answers relative to each printed
// quantity's largest magnitude. A table of all runs follows the benchmarks.
//
// Own flags (before the benchmark library's): --max_n=N (largest size run,
// default 10000), --ngspice=PROGRAM ("none": vxrsim alone), --vxrsim=PROGRAM
// (another build's), --timeout=SECONDS
// (per child process, default 900), --keep=DIR (netlists and outputs kept
// there), --reltol=X (both simulators' reltol; their default 1e-3 otherwise). ngspice does not finish the 1e5 mesh; that size runs vxrsim alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Where vxrsim finds the fixture diode (and the LAMBRET pad where built).
#ifdef VXR_LAMBRET_DIR
const char* const kLibraryPath = VXR_FIXTURE_DIR ":" VXR_LAMBRET_DIR;
#else
const char* const kLibraryPath = VXR_FIXTURE_DIR;
#endif

struct Config {
    long maxN = 10000;
    std::string vxrsim = VXR_SIM;
    std::string ngspice = "ngspice";
    double timeout = 900.0;
    std::string reltol; // both simulators' reltol when set
    fs::path dir;
    bool keep = false;
} g_cfg;

// One circuit in both dialects. Instance lines differ only for the diode.
struct Circuit {
    std::string vxr, spice;
    std::vector<std::string> probes; // node names whose voltages are compared
    std::vector<double> corners;     // source corners (no interpolation across them)
    std::string kind;                // the compared analysis: vxrsim -o FILE.csv writes it to FILE.KIND.csv
};

struct Writer {
    std::ostringstream vxr, spice;
    void both(const std::string& line) {
        vxr << line << '\n';
        spice << line << '\n';
    }
    bool diodes = false;
    void diode(const std::string& name, const std::string& a, const std::string& c) {
        if (!diodes) vxr << ".lib fixdiode_160.so\n";
        diodes = true;
        vxr << 'N' << name << ' ' << a << ' ' << c << " fixdiode IS=1e-14 N=1 CJ=1p\n";
        spice << 'D' << name << ' ' << a << ' ' << c << " dmod\n";
    }
};

const char* kPulse = "V1 in 0 PULSE(0 1 0 0.5u 0.5u 4u 20u)";
const std::vector<double> kPulseCorners{0.0, 0.5e-6, 4.5e-6, 5e-6};

// The analysis and output lines; ngspice saves only the probes and prints its statistics.
Circuit finish(Writer& w, const std::string& analysis, const std::string& kind, std::vector<std::string> probes,
               std::vector<double> corners) {
    std::string print = ".print " + kind, save = ".save";
    for (auto& p : probes) {
        print += " V(" + p + ")";
        save += " V(" + p + ")";
    }
    const std::string options = g_cfg.reltol.empty() ? "" : ".options reltol=" + g_cfg.reltol + "\n";
    w.vxr << options << analysis << '\n' << print << '\n';
    w.spice << options << ".model dmod D(IS=1e-14 N=1 CJO=1p M=0)\n" << analysis << '\n' << save << "\n.options acct\n.end\n";
    return {w.vxr.str(), w.spice.str(), std::move(probes), std::move(corners), kind};
}

Circuit rcLadder(long n) {
    Writer w;
    w.both("* RC ladder, " + std::to_string(n) + " sections");
    w.both(kPulse);
    for (long i = 1; i <= n; ++i) {
        const std::string k = std::to_string(i), prev = i == 1 ? "in" : "n" + std::to_string(i - 1);
        w.both("R" + k + " " + prev + " n" + k + " 100");
        w.both("C" + k + " n" + k + " 0 10p");
    }
    std::vector<std::string> probes{"n1"};
    for (long k : {10L, 30L, n})
        if (k <= n && k != 1) probes.push_back("n" + std::to_string(k));
    return finish(w, ".tran 0.1u 10u", "tran", probes, kPulseCorners);
}

Circuit rcMesh(long n) {
    const long k = std::max(2L, std::lround(std::sqrt(static_cast<double>(n))));
    auto node = [](long i, long j) { return "m" + std::to_string(i) + "_" + std::to_string(j); };
    Writer w;
    w.both("* RC mesh, " + std::to_string(k) + " x " + std::to_string(k));
    w.both(kPulse);
    w.both("R0 in " + node(0, 0) + " 1k");
    for (long i = 0; i < k; ++i)
        for (long j = 0; j < k; ++j) {
            const std::string a = node(i, j), tag = std::to_string(i) + "_" + std::to_string(j);
            w.both("C" + tag + " " + a + " 0 1p");
            if (j + 1 < k) w.both("RH" + tag + " " + a + " " + node(i, j + 1) + " 1k");
            if (i + 1 < k) w.both("RV" + tag + " " + a + " " + node(i + 1, j) + " 1k");
        }
    return finish(w, ".tran 0.1u 10u", "tran", {node(0, 0), node(k / 2, k / 2), node(k - 1, k - 1)}, kPulseCorners);
}

Circuit diodeNet(long n) {
    Writer w;
    w.both("* diode network, " + std::to_string(n) + " diodes");
    w.both("V1 in 0 DC 0");
    for (long i = 1; i <= n; ++i) {
        const std::string k = std::to_string(i);
        w.both("RA" + k + " in a" + k + " " + std::to_string(1000 + 100 * (i % 10)));
        w.diode(k, "a" + k, "0");
        if (i < n) w.both("RC" + k + " a" + k + " a" + std::to_string(i + 1) + " 10k");
    }
    std::vector<std::string> probes{"a1"};
    if (n >= 2) probes.push_back("a" + std::to_string(n / 2 + 1));
    return finish(w, ".dc V1 0 5 0.05", "dc", probes, {});
}

Circuit rectifierBank(long n) {
    Writer w;
    w.both("* rectifier bank, " + std::to_string(n) + " rectifiers");
    w.both("V1 in 0 SIN(0 5 1meg)");
    for (long i = 1; i <= n; ++i) {
        const std::string k = std::to_string(i);
        w.both("RS" + k + " in a" + k + " 1");
        w.diode(k, "a" + k, "o" + k);
        w.both("C" + k + " o" + k + " 0 10n");
        w.both("RL" + k + " o" + k + " 0 " + std::to_string(1000 + 100 * (i % 10)));
    }
    std::vector<std::string> probes{"o1"};
    if (n >= 2) probes.push_back("o" + std::to_string(n / 2 + 1));
    return finish(w, ".tran 10n 5u", "tran", probes, {});
}

// n LAMBRET pads sharing one node, each into 1 kohm, with the solver named:
// operating point, AC and transient. vxrsim alone (the pad is none of
// ngspice's built-in elements); its time and memory grow linearly in n.
Circuit padsOnOneNode(long n, const std::string& solver) {
    std::ostringstream s;
    s << "* " << n << " LAMBRET pads on one node\n.lib LAMBRET.so\n.options solver=" << solver << "\n";
    if (!g_cfg.reltol.empty()) s << ".options reltol=" << g_cfg.reltol << "\n";
    s << "VIN src 0 DC 0 AC 1 PULSE(0 1 1n 100p 100p 5n 10n)\nRSRC src ext 50\n";
    for (long i = 0; i < n; ++i) s << "NP" << i << " ext int" << i << " 0 LAMBRET\nRL" << i << " int" << i << " 0 1k\n";
    s << ".op\n.ac dec 10 1k 1g\n.tran 0.1n 10n\n.print tran V(int0)\n";
    Circuit c;
    c.vxr = s.str();
    c.kind = "tran";
    return c;
}

// ---- child processes ------------------------------------------------------------------

struct RunResult {
    bool ok = false;
    std::string error;
    double wall = 0.0;
    long maxRssKb = 0;
};

RunResult runChild(const std::vector<std::string>& argv, const fs::path& out, const fs::path& err,
                   const std::vector<std::pair<std::string, std::string>>& env = {}) {
    RunResult r;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        r.error = "fork failed";
        return r;
    }
    if (pid == 0) {
        for (auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr)) _exit(126);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru{};
    for (;;) {
        const pid_t w = wait4(pid, &status, WNOHANG, &ru);
        if (w == pid) break;
        if (w < 0) {
            r.error = "wait failed";
            return r;
        }
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() > g_cfg.timeout) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &ru);
            r.error = "timed out";
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.maxRssKb = ru.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        r.error = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status)) : "killed by a signal";
        return r;
    }
    r.ok = true;
    return r;
}

std::string slurp(const fs::path& p) {
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The number after the last occurrence of key in text (NaN when absent).
double numberAfter(const std::string& text, const std::string& key) {
    const size_t at = text.rfind(key);
    if (at == std::string::npos) return NAN;
    return std::strtod(text.c_str() + at + key.size(), nullptr);
}

// vxrsim -s: "vxrsim: .tran: ..., 0.011 s" per analysis; the seconds of all analyses.
double vxrAnalysisSeconds(const std::string& err) {
    double sum = 0.0;
    bool any = false;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("vxrsim: .", 0) != 0) continue;
        const size_t s = line.rfind(" s");
        const size_t c = line.rfind(", ", s);
        if (s == std::string::npos || c == std::string::npos) continue;
        sum += std::strtod(line.c_str() + c + 2, nullptr);
        any = true;
    }
    return any ? sum : NAN;
}

// Columns by lower-case name, the first being the time or sweep value.
struct Series {
    std::vector<std::string> names;
    std::vector<std::vector<double>> cols;
};

// Lines end in CR LF; a header may be quoted.
Series readCsv(const fs::path& p) {
    Series s;
    std::ifstream f(p);
    std::string line;
    auto next = [&] {
        if (!std::getline(f, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    };
    if (!next()) return s;
    std::istringstream h(line);
    for (std::string c; std::getline(h, c, ',');) {
        if (c.size() >= 2 && c.front() == '"' && c.back() == '"') c = c.substr(1, c.size() - 2);
        std::transform(c.begin(), c.end(), c.begin(), [](unsigned char ch) { return std::tolower(ch); });
        s.names.push_back(c);
    }
    s.cols.resize(s.names.size());
    while (next() && !line.empty()) {
        std::istringstream r(line);
        size_t i = 0;
        for (std::string c; std::getline(r, c, ',') && i < s.cols.size(); ++i) s.cols[i].push_back(std::strtod(c.c_str(), nullptr));
    }
    return s;
}

// An ASCII raw file (SPICE_ASCIIRAWFILE=1) of one real plot.
Series readRaw(const fs::path& p) {
    Series s;
    std::ifstream f(p);
    std::string line;
    long nvars = 0;
    while (std::getline(f, line)) {
        if (line.rfind("No. Variables:", 0) == 0) nvars = std::strtol(line.c_str() + 14, nullptr, 10);
        if (line.rfind("Variables:", 0) == 0) {
            for (long i = 0; i < nvars && std::getline(f, line); ++i) {
                std::istringstream v(line);
                long idx;
                std::string name;
                v >> idx >> name;
                std::transform(name.begin(), name.end(), name.begin(), [](unsigned char ch) { return std::tolower(ch); });
                s.names.push_back(name);
            }
        }
        if (line.rfind("Values:", 0) == 0) break;
    }
    s.cols.resize(s.names.size());
    std::string tok;
    long k = 0;
    while (f >> tok) {
        if (k % (nvars + 1) != 0) s.cols[(k % (nvars + 1)) - 1].push_back(std::strtod(tok.c_str(), nullptr));
        ++k;
    }
    return s;
}

// The peer's value at x: quadratic through the three nearest points that no
// source corner separates from x (its points are not vxrsim's).
double interpolate(const std::vector<double>& xs, const std::vector<double>& ys, double x, const std::vector<double>& corners) {
    const size_t n = xs.size();
    if (n == 0) return NAN;
    size_t b = std::lower_bound(xs.begin(), xs.end(), x) - xs.begin();
    const double scale = std::max(std::abs(xs.back()), 1e-300);
    if (b < n && std::abs(xs[b] - x) <= 1e-12 * scale) return ys[b];
    if (b > 0 && std::abs(xs[b - 1] - x) <= 1e-12 * scale) return ys[b - 1];
    if (b == 0 || b >= n) return ys[std::min(b, n - 1)];
    auto separated = [&](double p) {
        for (double c : corners)
            if ((p < c && c < x) || (x < c && c < p)) return true;
        return false;
    };
    size_t a = b - 1;
    std::vector<size_t> idx{a, b};
    const bool left = a > 0 && !separated(xs[a - 1]), right = b + 1 < n && !separated(xs[b + 1]);
    if (left && (!right || x - xs[a - 1] <= xs[b + 1] - x)) idx.push_back(a - 1);
    else if (right) idx.push_back(b + 1);
    double v = 0.0;
    for (size_t i : idx) {
        double l = 1.0;
        for (size_t j : idx)
            if (j != i) l *= (x - xs[j]) / (xs[i] - xs[j]);
        v += l * ys[i];
    }
    return v;
}

// Largest |ours - peer| over the printed points, relative to the largest
// magnitude of all printed quantities (a far ladder node stays near zero).
double disagreement(const Series& ours, const Series& peer, const std::vector<double>& corners, std::string& why) {
    if (ours.cols.size() < 2 || peer.cols.empty() || ours.cols[0].empty() || peer.cols[0].empty()) {
        why = "no results to compare";
        return NAN;
    }
    double big = 0.0, diff = 0.0;
    for (size_t c = 1; c < ours.names.size(); ++c) {
        auto it = std::find(peer.names.begin(), peer.names.end(), ours.names[c]);
        if (it == peer.names.end()) {
            why = "ngspice did not save " + ours.names[c];
            return NAN;
        }
        const auto& py = peer.cols[it - peer.names.begin()];
        for (size_t i = 0; i < ours.cols[c].size(); ++i) {
            big = std::max(big, std::abs(ours.cols[c][i]));
            diff = std::max(diff, std::abs(ours.cols[c][i] - interpolate(peer.cols[0], py, ours.cols[0][i], corners)));
        }
    }
    return diff / std::max(big, 1e-300);
}

// ---- the benchmarks -------------------------------------------------------------------

struct Row {
    std::string name;
    double vxrWhole = NAN, vxrAnalysis = NAN, ngWhole = NAN, ngAnalysis = NAN, diff = NAN;
    std::string note;
};
std::vector<Row> g_rows;

bool haveNgspice() {
    static const bool have = g_cfg.ngspice != "none" &&
                             runChild({g_cfg.ngspice, "--version"}, g_cfg.dir / "ngspice.version", g_cfg.dir / "ngspice.err").ok;
    return have;
}

// peer: ngspice runs the circuit too (where installed); otherwise the row's note says why not.
void runFamily(benchmark::State& state, const std::string& family, const std::function<Circuit(long)>& make, bool peer,
               const char* alone = "ngspice not run at this size") {
    const long n = state.range(0);
    const std::string tag = family + "_" + std::to_string(n);
    const Circuit c = make(n);
    const fs::path cir = g_cfg.dir / (tag + ".cir"), sp = g_cfg.dir / (tag + ".sp");
    std::ofstream(cir) << c.vxr;
    std::ofstream(sp) << c.spice;
    Row row;
    row.name = family + "/" + std::to_string(n);
    for (auto _ : state) {
        RunResult v = runChild({g_cfg.vxrsim, "-q", "-s", "-o", (g_cfg.dir / (tag + ".csv")).string(), cir.string()},
                               g_cfg.dir / (tag + ".out"), g_cfg.dir / (tag + ".err"), {{"VXR_LIBRARY_PATH", kLibraryPath}});
        if (!v.ok) {
            state.SkipWithError(("vxrsim: " + v.error).c_str());
            row.note = "vxrsim " + v.error;
            break;
        }
        state.SetIterationTime(v.wall);
        row.vxrWhole = v.wall;
        row.vxrAnalysis = vxrAnalysisSeconds(slurp(g_cfg.dir / (tag + ".err")));
        state.counters["vxr_whole_s"] = v.wall;
        state.counters["vxr_analysis_s"] = row.vxrAnalysis;
        state.counters["vxr_rss_mb"] = static_cast<double>(v.maxRssKb) / 1024.0;
        if (!peer || !haveNgspice()) {
            row.note = peer ? "no ngspice" : alone;
            continue;
        }
        const fs::path raw = g_cfg.dir / (tag + ".raw"), log = g_cfg.dir / (tag + ".ngspice.log");
        RunResult s = runChild({g_cfg.ngspice, "-b", "-r", raw.string(), sp.string()}, log, g_cfg.dir / (tag + ".ngspice.err"),
                               {{"SPICE_ASCIIRAWFILE", "1"}});
        if (!s.ok) {
            row.note = "ngspice " + s.error;
            continue;
        }
        row.ngWhole = s.wall;
        row.ngAnalysis = numberAfter(slurp(log), "Total analysis time (seconds) =");
        row.diff = disagreement(readCsv(g_cfg.dir / (tag + "." + c.kind + ".csv")), readRaw(raw), c.corners, row.note);
        state.counters["ng_whole_s"] = row.ngWhole;
        state.counters["ng_analysis_s"] = row.ngAnalysis;
        state.counters["ng_rss_mb"] = static_cast<double>(s.maxRssKb) / 1024.0;
        state.counters["whole_ratio"] = row.vxrWhole / row.ngWhole;
        state.counters["analysis_ratio"] = row.vxrAnalysis / row.ngAnalysis;
        state.counters["rel_diff"] = row.diff;
        if (row.diff > 1e-4) row.note = "answers differ by more than 1e-4";
    }
    g_rows.push_back(row);
}

void printTable() {
    std::printf("\n| circuit | vxrsim whole | ngspice whole | ratio | vxrsim analysis | ngspice analysis | ratio | rel. diff | note |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (auto& r : g_rows)
        std::printf("| %s | %.3f s | %.3f s | %.2f | %.3f s | %.3f s | %.2f | %.1e | %s |\n", r.name.c_str(), r.vxrWhole, r.ngWhole,
                    r.vxrWhole / r.ngWhole, r.vxrAnalysis, r.ngAnalysis, r.vxrAnalysis / r.ngAnalysis, r.diff, r.note.c_str());
}

// Takes the benchmark's own flags out of argv.
void parseFlags(int& argc, char** argv) {
    int out = 1;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* flag) -> const char* {
            const size_t n = std::strlen(flag);
            return a.compare(0, n, flag) == 0 ? argv[i] + n : nullptr;
        };
        if (const char* v = value("--max_n=")) g_cfg.maxN = std::atol(v);
        else if (const char* v = value("--ngspice=")) g_cfg.ngspice = v;
        else if (const char* v = value("--vxrsim=")) g_cfg.vxrsim = v;
        else if (const char* v = value("--timeout=")) g_cfg.timeout = std::atof(v);
        else if (const char* v = value("--keep=")) keep = v;
        else if (const char* v = value("--reltol=")) g_cfg.reltol = v;
        else argv[out++] = argv[i];
    }
    argc = out;
    if (!keep.empty()) {
        g_cfg.dir = keep;
        g_cfg.keep = true;
        fs::create_directories(g_cfg.dir);
    } else {
        std::string templ = (fs::temp_directory_path() / "vxr_peer_XXXXXX").string();
        if (!mkdtemp(templ.data())) throw std::runtime_error("cannot make a temporary directory");
        g_cfg.dir = templ;
    }
}

} // namespace

int main(int argc, char** argv) {
    parseFlags(argc, argv);
    struct Family {
        const char* name;
        Circuit (*make)(long);
        long peerLimit; // largest size ngspice is run at
    };
    const Family families[] = {
        {"rc_ladder", rcLadder, 100000}, {"rc_mesh", rcMesh, 10000}, {"diode_net", diodeNet, 100000},
        {"rectifier_bank", rectifierBank, 100000}};
    for (const Family& f : families) {
        auto* b = benchmark::RegisterBenchmark(f.name, [f](benchmark::State& s) {
            runFamily(s, f.name, f.make, s.range(0) <= f.peerLimit);
        });
        for (long n = 100; n <= 100000 && n <= g_cfg.maxN; n *= 10) b->Arg(n);
        b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
#ifdef VXR_LAMBRET_DIR
    // Dense LU refuses more than a few thousand unknowns (eight per pad) and
    // factors in cubic time: it runs a small bank only.
    for (const std::string solver : {"klu", "sparselu", "dense"}) {
        const std::string family = "pads_on_one_node_" + solver;
        auto* b = benchmark::RegisterBenchmark(family.c_str(), [family, solver](benchmark::State& s) {
            runFamily(
                s, family, [solver](long n) { return padsOnOneNode(n, solver); }, false, "LAMBRET pads: vxrsim alone");
        });
        for (long n : solver == "dense" ? std::vector<long>{100} : std::vector<long>{1000, 4000, 10000})
            if (n <= g_cfg.maxN) b->Arg(n);
        b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printTable();
    if (!g_cfg.keep) fs::remove_all(g_cfg.dir);
    return 0;
}
