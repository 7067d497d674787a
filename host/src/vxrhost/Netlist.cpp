#include "vxrhost/Netlist.h"
#include "vxrhost/AnalysisChecks.h"
#include "vxrhost/DcContinuation.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string_view>

#include "VXR_Interface.h"

namespace vxr {

namespace {

std::string lower(std::string s) {
    for (auto& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

struct Line {
    int number;
    std::string text;
    std::vector<std::string> tok; // text split on blanks
};

[[noreturn]] void fail(int line, const std::string& msg) { throw NetlistError("line " + std::to_string(line) + ": " + msg); }

// Splits on blanks; "(", ")" and "," separate too when splitParens is set.
// Quoted strings stay one token (with the quotes). "a = b" becomes "a=b".
std::vector<std::string> tokenize(const std::string& s, bool splitParens) {
    std::vector<std::string> out;
    std::string cur;
    auto flush = [&] {
        if (!cur.empty()) out.push_back(cur);
        cur.clear();
    };
    for (size_t i = 0; i < s.size(); ++i) {
        char ch = s[i];
        if (ch == '"') {
            flush();
            size_t j = s.find('"', i + 1);
            if (j == std::string::npos) j = s.size();
            out.push_back(s.substr(i, j - i + 1));
            i = j;
        } else if (std::isspace(static_cast<unsigned char>(ch)) || (splitParens && (ch == '(' || ch == ')' || ch == ','))) {
            flush();
        } else if (ch == '=') {
            flush();
            out.push_back("=");
        } else {
            cur += ch;
        }
    }
    flush();
    // Join "name = value" into "name=value".
    std::vector<std::string> joined;
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == "=" && !joined.empty() && i + 1 < out.size()) {
            joined.back() += "=" + out[i + 1];
            ++i;
        } else if (out[i] == "=" && !joined.empty()) {
            joined.back() += "="; // "NAME =" with no value: a bad assignment, not a model name
        } else {
            joined.push_back(out[i]);
        }
    }
    return joined;
}

// A piece of netlist text in a message: at most 40 characters, no control characters.
std::string shown(const std::string& s) {
    std::string o;
    for (char ch : s.substr(0, 40)) o += std::iscntrl(static_cast<unsigned char>(ch)) ? '?' : ch;
    return s.size() > 40 ? o + "... (" + std::to_string(s.size()) + " characters)" : o;
}

double number(const std::string& s, int line, const std::string& what) {
    double v;
    if (!parseNumber(s, v)) fail(line, "bad number '" + shown(s) + "' for " + what);
    return v;
}

// The library's parameter nearest to a misspelt name (same letters in
// another case, or at most two edits away), "" when none is.
std::string nearestParam(const ModelLibrary& lib, const std::string& name) {
    auto distance = [](const std::string& a, const std::string& b) {
        std::vector<size_t> d(b.size() + 1);
        for (size_t j = 0; j <= b.size(); ++j) d[j] = j;
        for (size_t i = 1; i <= a.size(); ++i) {
            size_t diag = d[0];
            d[0] = i;
            for (size_t j = 1; j <= b.size(); ++j) {
                size_t up = d[j];
                d[j] = std::min({d[j] + 1, d[j - 1] + 1, diag + (std::tolower(static_cast<unsigned char>(a[i - 1])) !=
                                                                 std::tolower(static_cast<unsigned char>(b[j - 1])))});
                diag = up;
            }
        }
        return d[b.size()];
    };
    std::string best;
    size_t bestD = 3;
    for (auto& p : lib.params()) {
        const size_t d = distance(name, p.name);
        if (d < bestD || (d == bestD && !best.empty() && p.name < best)) bestD = d, best = p.name;
    }
    return best;
}

// A temperature in degrees Celsius, not below absolute zero.
double temperature(const std::string& s, int line, const std::string& what) {
    const double t = number(s, line, what);
    if (!(t >= -273.15)) fail(line, what + ": " + shown(s) + " degrees Celsius is below absolute zero");
    return t;
}

// f() with a SimError it throws made a NetlistError of the line.
template <class F>
auto checked(int line, F f) {
    try {
        return f();
    } catch (const NetlistError&) {
        throw;
    } catch (const SimError& e) {
        fail(line, e.what());
    }
}

const std::map<std::string, int>& defaultNames() {
    static const std::map<std::string, int> m = {
        {"cross_timetol", VXR_DEFAULT_CROSS_TIMETOL}, {"cross_exprtol", VXR_DEFAULT_CROSS_EXPRTOL},
        {"timer_tol", VXR_DEFAULT_TIMER_TOL},         {"idt_tol", VXR_DEFAULT_IDT_TOL},
        {"idtmod_tol", VXR_DEFAULT_IDTMOD_TOL},       {"branchddt_scale", VXR_BRANCHDDT_SCALE},
        {"ksmooth_const", VXR_KSMOOTH_CONST},         {"idt_scale", VXR_IDT_SCALE},
        {"cross_rel_tol", VXR_CROSS_REL_TOL},         {"max_cross_attempts", VXR_MAX_CROSS_ATTEMPTS},
        {"cross_options", VXR_CROSS_OPTIONS},         {"min_denom_val", VXR_MIN_DENOM_VAL},
        {"max_numer_val", VXR_MAX_NUMER_VAL},         {"varthresh", VXR_VARTHRESH},
        {"totalcount", VXR_DEFAULT_TOTALCOUNT}};
    return m;
}

const std::set<std::string>& knownSimParams() {
    static const std::set<std::string> s = {"maxLaplace_d_Order", "maxLaplace_p_Order", "_transitionSourceScale",
                                            "_transitionDisable"};
    return s;
}

// A relative library path is looked up beside the netlist, then in the
// directories of VXR_LIBRARY_PATH (colon-separated, -L first); throws
// NetlistError naming every place searched when none holds it.
std::string resolveLibrary(const std::string& path, const std::string& baseDir, int line) {
    if (path.empty()) fail(line, "a library path is empty");
    if (path[0] == '/') return path;
    std::vector<std::string> tried{baseDir + "/" + path};
    if (const char* env = std::getenv("VXR_LIBRARY_PATH")) {
        std::string dirs = env;
        for (size_t b = 0; b <= dirs.size();) {
            size_t e = dirs.find(':', b);
            if (e == std::string::npos) e = dirs.size();
            if (e > b) tried.push_back(dirs.substr(b, e - b) + "/" + path);
            b = e + 1;
        }
    }
    std::string list;
    for (auto& t : tried) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(t, ec)) return t;
        list += (list.empty() ? "" : ", ") + t;
    }
    fail(line, "cannot find library '" + path + "' (searched: " + list + ")");
}

bool endsNetlist(const std::string& directive);

// The logical lines of a netlist up to .end: comments and blank lines
// dropped, "+" continuations joined, LF, CRLF or a lone CR ending a line.
std::vector<Line> readLines(const std::string& text) {
    std::vector<Line> lines;
    lines.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    int n = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string_view raw(text.data() + pos, end - pos);
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++n;
        if (auto p = raw.find(';'); p != std::string_view::npos) raw = raw.substr(0, p);
        // Blank lines (any white space, as the tokenizer counts it) carry nothing.
        size_t b = 0;
        while (b < raw.size() && std::isspace(static_cast<unsigned char>(raw[b]))) ++b;
        if (b == raw.size() || raw[b] == '*') continue;
        raw.remove_prefix(b);
        if (raw[0] == '+') {
            if (lines.empty()) fail(n, "continuation line without a line to continue");
            lines.back().text.append(" ").append(raw.substr(1));
        } else {
            lines.push_back({n, std::string(raw), {}});
        }
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        lines[i].tok = tokenize(lines[i].text, false);
        if (endsNetlist(lower(lines[i].tok[0]))) {
            lines.resize(i);
            break;
        }
    }
    return lines;
}

// Parsers of the element lines, one per kind; tok is the line split on blanks.
void parsePassive(const Line& L, const std::vector<std::string>& tok, Circuit& c) {
    const std::string& name = tok[0];
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    auto nodeOf = [&](const std::string& n) { return c.node(n); };
    if (tok.size() < 4) fail(L.number, name + ": expected two nodes and a value");
    if (tok.size() > 4) fail(L.number, name + ": unexpected '" + tok[4] + "'");
    double v = number(tok[3], L.number, name);
    int a = nodeOf(tok[1]), b = nodeOf(tok[2]);
    if (kind == 'R') {
        if (v == 0) fail(L.number, name + ": zero resistance");
        c.add(std::make_unique<Resistor>(name, a, b, v));
    } else if (kind == 'C') {
        c.add(std::make_unique<Capacitor>(name, a, b, v));
    } else {
        c.add(std::make_unique<Inductor>(name, a, b, v));
    }
}

void parseSource(const Line& L, const std::vector<std::string>& tok, Circuit& c) {
    const std::string& name = tok[0];
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    auto nodeOf = [&](const std::string& n) { return c.node(n); };
    auto st = tokenize(L.text, true);
    if (st.size() < 3) fail(L.number, name + ": expected two nodes");
    Waveform w;
    size_t i = 3;
    bool haveValue = false;
    while (i < st.size()) {
        std::string k = lower(st[i]);
        if (k == "dc") {
            if (i + 1 >= st.size()) fail(L.number, name + ": DC needs a value");
            w.dc = number(st[i + 1], L.number, name + " DC");
            i += 2;
        } else if (k == "ac") {
            if (i + 1 >= st.size()) fail(L.number, name + ": AC needs a magnitude");
            w.acMag = number(st[i + 1], L.number, name + " AC");
            i += 2;
            double ph;
            if (i < st.size() && parseNumber(st[i], ph)) {
                w.acPhaseDeg = ph;
                ++i;
            }
        } else if (k == "pulse" || k == "sin" || k == "pwl") {
            w.kind = k == "pulse" ? Waveform::PULSE : (k == "sin" ? Waveform::SIN : Waveform::PWL);
            std::vector<double> args;
            ++i;
            double v;
            while (i < st.size() && parseNumber(st[i], v)) {
                args.push_back(v);
                ++i;
            }
            if (w.kind == Waveform::PWL) {
                if (args.size() < 2 || args.size() % 2) fail(L.number, name + ": PWL needs time-value pairs");
                for (size_t j = 0; j < args.size(); j += 2) {
                    if (j && args[j] < args[j - 2]) fail(L.number, name + ": PWL times must not decrease");
                    w.pwl.push_back({args[j], args[j + 1]});
                }
            } else {
                size_t need = w.kind == Waveform::PULSE ? 2 : 3;
                if (args.size() < need) fail(L.number, name + ": " + st[i - args.size() - 1] + " needs at least " + std::to_string(need) + " values");
                if (args.size() > 7) fail(L.number, name + ": too many values for " + k);
                w.args = args;
            }
        } else if (!haveValue) {
            w.dc = number(st[i], L.number, name);
            haveValue = true;
            ++i;
        } else {
            fail(L.number, name + ": unexpected '" + st[i] + "'");
        }
    }
    int p = nodeOf(st[1]), n = nodeOf(st[2]);
    if (kind == 'V')
        c.add(std::make_unique<VoltageSource>(name, p, n, w));
    else
        c.add(std::make_unique<CurrentSource>(name, p, n, w));
}

void parseInstance(const Line& L, const std::vector<std::string>& tok, Circuit& c,
                   const std::map<std::string, std::shared_ptr<ModelLibrary>>& libs) {
    const std::string& name = tok[0];
    auto nodeOf = [&](const std::string& n) { return c.node(n); };
    size_t firstParam = tok.size();
    for (size_t i = 1; i < tok.size(); ++i)
        if (tok[i].find('=') != std::string::npos) {
            firstParam = i;
            break;
        }
    if (firstParam < 3) fail(L.number, name + ": expected nodes and a model name");
    std::string model = tok[firstParam - 1];
    auto it = libs.find(lower(model));
    if (it == libs.end()) fail(L.number, name + ": unknown model '" + model + "' (no .lib provides it)");
    ModelLibrary& lib = *it->second;
    std::vector<std::string> nodeNames(tok.begin() + 1, tok.begin() + static_cast<long>(firstParam) - 1);
    // Fewer nodes than terminals: the module binds the rest as unconnected.
    if (nodeNames.size() > lib.terminals().size()) {
        std::string terms;
        for (auto& t : lib.terminals()) terms += " " + t;
        fail(L.number, name + ": model '" + lib.moduleName() + "' has " + std::to_string(lib.terminals().size()) +
                           " terminals (" + terms.substr(terms.empty() ? 0 : 1) + "), " +
                           std::to_string(nodeNames.size()) + " nodes given");
    }
    std::vector<int> nodes;
    for (auto& nn : nodeNames) nodes.push_back(nodeOf(nn));
    std::vector<ParamValue> params;
    for (size_t i = firstParam; i < tok.size(); ++i) {
        auto eq = tok[i].find('=');
        if (eq == std::string::npos) fail(L.number, name + ": expected NAME=value, got '" + tok[i] + "'");
        ParamValue pv;
        pv.name = tok[i].substr(0, eq);
        std::string val = tok[i].substr(eq + 1);
        if (pv.name.empty() || val.empty()) fail(L.number, name + ": bad parameter assignment '" + tok[i] + "'");
        const ParamInfo* info = lib.findParam(pv.name);
        if (!info) {
            std::string near = nearestParam(lib, pv.name);
            fail(L.number, name + ": model '" + lib.moduleName() + "' has no parameter '" + pv.name + "'" +
                               (near.empty() ? "" : " (did you mean '" + near + "'?)"));
        }
        if (val.front() == '"') {
            pv.isString = true;
            pv.text = val.substr(1, val.size() >= 2 ? val.size() - 2 : 0);
        } else if (val.front() == '[') {
            // An array value: [v0,v1,...] without blanks.
            if (val.size() < 2 || val.back() != ']')
                fail(L.number, "bad array '" + val + "' for parameter '" + pv.name + "' of " + name);
            pv.isArray = true;
            std::string body = val.substr(1, val.size() - 2);
            for (size_t b = 0; !body.empty() && b <= body.size();) {
                size_t e = body.find(',', b);
                if (e == std::string::npos) e = body.size();
                pv.values.push_back(number(body.substr(b, e - b), L.number, "parameter '" + pv.name + "'"));
                b = e + 1;
            }
        } else if (parseNumber(val, pv.number)) {
        } else if (info && info->type == VXR_STRING_PARAM) {
            pv.isString = true;
            pv.text = val;
        } else {
            fail(L.number, "bad number '" + shown(val) + "' for parameter '" + pv.name + "' of " + name);
        }
        params.push_back(pv);
    }
    c.add(lib.makeInstance(c, name, nodes, params));
}

} // namespace

bool parseNumber(const std::string& text, double& value) {
    if (text.empty() || text.find('\0') != std::string::npos) return false;
    const char* s = text.c_str();
    char c0 = s[0];
    if (!(std::isdigit(static_cast<unsigned char>(c0)) || c0 == '.' || c0 == '-' || c0 == '+')) return false;
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s) return false;
    std::string rest = lower(end);
    // strtod accepts "inf"/"nan" and hexadecimal forms; a netlist number does not.
    for (const char* p = s; p < end; ++p)
        if (std::isalpha(static_cast<unsigned char>(*p)) && *p != 'e' && *p != 'E') return false;
    double scale = 1.0;
    size_t used = 0;
    if (rest.compare(0, 3, "meg") == 0) {
        scale = 1e6;
        used = 3;
    } else if (!rest.empty()) {
        switch (rest[0]) {
        case 'f': scale = 1e-15; used = 1; break;
        case 'p': scale = 1e-12; used = 1; break;
        case 'n': scale = 1e-9; used = 1; break;
        case 'u': scale = 1e-6; used = 1; break;
        case 'm': scale = 1e-3; used = 1; break;
        case 'k': scale = 1e3; used = 1; break;
        case 'g': scale = 1e9; used = 1; break;
        case 't': scale = 1e12; used = 1; break;
        default: break;
        }
    }
    for (size_t i = used; i < rest.size(); ++i)
        if (!std::isalpha(static_cast<unsigned char>(rest[i]))) return false; // unit letters only
    value = v * scale;
    return std::isfinite(value);
}

std::string readNetlistFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw NetlistError("cannot read netlist '" + path + "': a directory");
    errno = 0;
    std::ifstream f(path);
    if (!f) throw NetlistError("cannot read netlist '" + path + "'" + (errno ? std::string(": ") + std::strerror(errno) : ""));
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::unique_ptr<Netlist> Netlist::parseFile(const std::string& path) {
    const std::string text = readNetlistFile(path);
    std::string dir = ".";
    if (auto p = path.find_last_of('/'); p != std::string::npos) dir = path.substr(0, p);
    return parse(text, dir);
}

namespace {

// What the directive parsers read into.
struct Reader {
    Circuit& c;
    std::vector<AnalysisCmd>& analyses;
    std::vector<std::pair<int, std::vector<Netlist::PrintItem>>>& prints;
    std::string baseDir;
    std::map<std::string, std::shared_ptr<ModelLibrary>> libs; // lower-case name -> library
};

void parseLibrary(const Line& L, Reader& r) {
    const auto& tok = L.tok;
    if (tok.size() < 2) fail(L.number, lower(tok[0]) + " needs a library path");
    std::string path = tok[1];
    if (path.size() >= 2 && path.front() == '"') path = path.substr(1, path.size() - 2);
    path = resolveLibrary(path, r.baseDir, L.number);
    std::shared_ptr<ModelLibrary> lib;
    try {
        lib = ModelLibrary::open(path);
    } catch (const SimError& e) {
        fail(L.number, e.what());
    }
    auto [it, added] = r.libs.try_emplace(lower(lib->moduleName()), lib);
    // Under an alias a second library of the module is fine; the module name stays the first's.
    if (!added && it->second != lib && tok.size() < 3)
        fail(L.number, "a second library of module '" + lib->moduleName() + "': '" + lib->path() + "' and '" +
                           it->second->path() + "'");
    if (tok.size() >= 3) r.libs[lower(tok[2])] = lib;
}

void parseTemp(const Line& L, Reader& r) {
    if (L.tok.size() != 2) fail(L.number, ".temp needs one temperature");
    r.c.options().temp = temperature(L.tok[1], L.number, ".temp");
}

// .options and .simparam: NAME=value pairs.
void parseOptions(const Line& L, Reader& r) {
    const auto& tok = L.tok;
    Options& opt = r.c.options();
    const bool simparam = lower(tok[0]) == ".simparam";
    for (size_t i = 1; i < tok.size(); ++i) {
        auto eq = tok[i].find('=');
        std::string key = tok[i].substr(0, eq);
        std::string lk = lower(key);
        std::string val = eq == std::string::npos ? "" : tok[i].substr(eq + 1);
        if (simparam || knownSimParams().count(key)) {
            if (eq == std::string::npos) fail(L.number, "simulation parameter '" + key + "' needs a value");
            opt.simParams[key] = number(val, L.number, key);
            continue;
        }
        if (lk == "method") {
            std::string m = lower(val);
            opt.gear = m == "gear";
            if (m == "trap" || m == "trapezoidal") opt.trapezoidal = true;
            else if (m == "be" || m == "euler" || m == "gear") opt.trapezoidal = false;
            else fail(L.number, "unknown integration method '" + val + "'");
            continue;
        }
        if (lk == "solver") {
            if (!parseSolver(lower(val), opt.solver)) fail(L.number, "unknown solver '" + val + "' (klu, sparselu or dense)");
            if (!solverAvailable(opt.solver)) fail(L.number, "solver '" + val + "' is not built into this host");
            continue;
        }
        if (eq == std::string::npos) fail(L.number, "option '" + key + "' needs a value");
        double v = number(val, L.number, key);
        // Counts and the seed must fit their integer types.
        if (((lk == "itl1" || lk == "itl4") && !(std::fabs(v) <= 1e9)) ||
            (lk == "seed" && !(v >= 0 && v <= 4294967295.0)) || (lk == "tranlimit" && !(v <= 1e15)))
            fail(L.number, "option '" + key + "' out of range");
        if (lk == "reltol") opt.reltol = v;
        else if (lk == "vntol") opt.vntol = v;
        else if (lk == "abstol") opt.abstol = v;
        else if (lk == "chgtol") opt.chgtol = v;
        else if (lk == "gmin") opt.gmin = v;
        else if (lk == "trtol") opt.trtol = v;
        else if (lk == "vlimit") opt.vlimit = v;
        else if (lk == "itl1") opt.itl1 = static_cast<int>(v);
        else if (lk == "itl4") opt.itl4 = static_cast<int>(v);
        else if (lk == "tranlimit") opt.tranStepLimit = static_cast<long>(v);
        else if (lk == "temp") opt.temp = temperature(val, L.number, "option 'temp'");
        else if (lk == "tnom") opt.tnom = temperature(val, L.number, "option 'tnom'");
        else if (lk == "seed") { opt.seed = static_cast<unsigned>(v); r.c.host().rng.seed(opt.seed); }
        else if (double* dc = dcOption(opt, lk)) *dc = v;
        else if (defaultNames().count(lk)) opt.defaults[defaultNames().at(lk)] = v;
        else fail(L.number, "unknown option '" + key + "'");
        if (!(v > 0) && lk != "seed" && lk != "temp" && lk != "tnom" && !defaultNames().count(lk)) fail(L.number, "option '" + key + "' must be positive");
    }
}

AnalysisCmd& addAnalysis(const Line& L, Reader& r, AnalysisCmd::Kind kind) {
    AnalysisCmd& a = r.analyses.emplace_back();
    a.kind = kind;
    a.line = L.number;
    return a;
}

void parseOp(const Line& L, Reader& r) { addAnalysis(L, r, AnalysisCmd::OP); }

void parseDc(const Line& L, Reader& r) {
    const auto& tok = L.tok;
    if (tok.size() != 5 && tok.size() != 9) fail(L.number, ".dc needs: source start stop step [source2 start2 stop2 step2]");
    AnalysisCmd& a = addAnalysis(L, r, AnalysisCmd::DC);
    a.source = tok[1];
    a.a = number(tok[2], L.number, ".dc start");
    a.b = number(tok[3], L.number, ".dc stop");
    a.c = number(tok[4], L.number, ".dc step");
    checked(L.number, [&] { return dcSweepSteps(SweepSpec{a.source, a.a, a.b, a.c}); });
    if (tok.size() == 9) {
        a.nested = true;
        a.outer.source = tok[5];
        a.outer.start = number(tok[6], L.number, ".dc start2");
        a.outer.stop = number(tok[7], L.number, ".dc stop2");
        a.outer.step = number(tok[8], L.number, ".dc step2");
    }
    checked(L.number, [&] { return dcSweepRows(SweepSpec{a.source, a.a, a.b, a.c}, a.nested ? &a.outer : nullptr); });
}

void parseAc(const Line& L, Reader& r) {
    const auto& tok = L.tok;
    if (tok.size() != 5) fail(L.number, ".ac needs: dec|oct|lin points fstart fstop");
    AnalysisCmd& a = addAnalysis(L, r, AnalysisCmd::AC);
    a.acType = lower(tok[1]);
    const double points = number(tok[2], L.number, ".ac points");
    a.a = number(tok[3], L.number, ".ac fstart");
    a.b = number(tok[4], L.number, ".ac fstop");
    checked(L.number, [&] { return acSweepRows(a.acType, points, a.a, a.b); });
    a.points = static_cast<int>(points);
}

void parseTran(const Line& L, Reader& r) {
    AnalysisCmd& a = addAnalysis(L, r, AnalysisCmd::TRAN);
    std::vector<std::string> nums;
    for (size_t i = 1; i < L.tok.size(); ++i) {
        if (lower(L.tok[i]) == "uic") a.tran.uic = true;
        else nums.push_back(L.tok[i]);
    }
    if (nums.size() < 2 || nums.size() > 4) fail(L.number, ".tran needs: tstep tstop [tstart [tmax]] [uic]");
    a.tran.tstep = number(nums[0], L.number, ".tran tstep");
    a.tran.tstop = number(nums[1], L.number, ".tran tstop");
    if (nums.size() > 2) a.tran.tstart = number(nums[2], L.number, ".tran tstart");
    if (nums.size() > 3) a.tran.tmax = number(nums[3], L.number, ".tran tmax");
    checked(L.number, [&] { return tranRows(a.tran); });
}

// .print [op|dc|ac|tran] items; an item keeps its blanks inside parentheses ("V(a, b)").
void parsePrint(const Line& L, Reader& r) {
    int k = -1;
    size_t first = 1;
    if (L.tok.size() > 1) {
        std::string t = lower(L.tok[1]);
        if (t == "op") k = AnalysisCmd::OP;
        else if (t == "dc") k = AnalysisCmd::DC;
        else if (t == "ac") k = AnalysisCmd::AC;
        else if (t == "tran") k = AnalysisCmd::TRAN;
        if (k >= 0) first = 2;
    }
    const size_t blank = L.text.find_first_of(" \t");
    std::vector<std::string> parts;
    std::string cur;
    int depth = 0;
    for (char ch : L.text.substr(blank == std::string::npos ? L.text.size() : blank)) {
        if (ch == '(') ++depth;
        if (ch == ')') --depth;
        if ((ch == ' ' || ch == '\t') && depth == 0) {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else if (ch != ' ' && ch != '\t') {
            cur += ch;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    std::vector<Netlist::PrintItem> items;
    for (size_t i = first - 1; i < parts.size(); ++i) items.push_back({parts[i], L.number});
    if (items.empty()) fail(L.number, lower(L.tok[0]) + " needs at least one quantity");
    r.prints.push_back({k, items});
}

// When a directive is read: with the settings, before every element (so
// that elements see the libraries and options), or in netlist order with the
// elements. The line reader stops at an END directive.
enum class Pass { SETTINGS, BODY, IGNORED, END };

struct Directive {
    std::string_view name;
    Pass pass;
    void (*parse)(const Line&, Reader&);
};

constexpr Directive kDirectives[] = {
    {".lib", Pass::SETTINGS, parseLibrary},
    {".model_library", Pass::SETTINGS, parseLibrary},
    {".temp", Pass::SETTINGS, parseTemp},
    {".options", Pass::SETTINGS, parseOptions},
    {".option", Pass::SETTINGS, parseOptions},
    {".simparam", Pass::SETTINGS, parseOptions},
    {".op", Pass::BODY, parseOp},
    {".dc", Pass::BODY, parseDc},
    {".ac", Pass::BODY, parseAc},
    {".tran", Pass::BODY, parseTran},
    {".print", Pass::BODY, parsePrint},
    {".save", Pass::BODY, parsePrint},
    {".probe", Pass::BODY, parsePrint},
    {".title", Pass::IGNORED, nullptr},
    {".end", Pass::END, nullptr},
};

// The directive of a lower-case name, nullptr when there is none.
const Directive* findDirective(const std::string& name) {
    for (const Directive& d : kDirectives)
        if (d.name == name) return &d;
    return nullptr;
}

bool endsNetlist(const std::string& directive) {
    const Directive* d = findDirective(directive);
    return d && d->pass == Pass::END;
}

// Parsers of the element lines by their first letter.
void parseElement(const Line& L, Reader& r) {
    const std::string& name = L.tok[0];
    try {
        switch (std::toupper(static_cast<unsigned char>(name[0]))) {
        case 'R':
        case 'C':
        case 'L': parsePassive(L, L.tok, r.c); break;
        case 'V':
        case 'I': parseSource(L, L.tok, r.c); break;
        case 'N':
        case 'X': parseInstance(L, L.tok, r.c, r.libs); break;
        default: fail(L.number, "unknown element type '" + name + "'");
        }
    } catch (const NetlistError&) {
        throw;
    } catch (const SimError& e) {
        fail(L.number, e.what());
    }
}

} // namespace

std::unique_ptr<Netlist> Netlist::parse(const std::string& text, const std::string& baseDir) {
    auto nl = std::unique_ptr<Netlist>(new Netlist);
    nl->circuit_ = std::make_unique<Circuit>();
    Circuit& c = *nl->circuit_;
    const std::vector<Line> lines = readLines(text);
    c.reserve(lines.size());
    Reader r{c, nl->analyses_, nl->prints_, baseDir, {}};

    // Settings and libraries first, so that elements see them; then the
    // elements and the other directives in netlist order.
    for (auto& L : lines)
        if (L.tok[0][0] == '.')
            if (const Directive* d = findDirective(lower(L.tok[0])); d && d->pass == Pass::SETTINGS) d->parse(L, r);
    for (auto& L : lines) {
        if (L.tok[0][0] != '.') {
            try {
                parseElement(L, r);
            } catch (const NetlistError& e) {
                if (L.number != 1) throw;
                throw NetlistError(std::string(e.what()) +
                                   " (the first line is read like any other, not as a title: start a title with '*' or '.title')");
            }
            continue;
        }
        const Directive* d = findDirective(lower(L.tok[0]));
        if (!d) fail(L.number, "unknown directive '" + L.tok[0] + "'");
        if (d->pass == Pass::BODY) d->parse(L, r);
    }
    try {
        c.setup();
    } catch (const SimError& e) {
        throw NetlistError(e.what());
    }
    for (auto& a : nl->analyses_)
        if (a.kind == AnalysisCmd::DC)
            for (const std::string* src : {&a.source, a.nested ? &a.outer.source : nullptr})
                if (src) checked(a.line, [&] { return &sweptWaveform(c, *src); });
    for (auto& [k, items] : nl->prints_)
        for (auto& it : items) (void)nl->makeProbe(it.text, k < 0 ? AnalysisCmd::OP : static_cast<AnalysisCmd::Kind>(k), it.line);
    // The output an analysis keeps in memory: its rows times its columns.
    for (auto& a : nl->analyses_) {
        double rows = 1, cols = static_cast<double>(nl->probesFor(a.kind).size());
        if (a.kind == AnalysisCmd::DC) {
            rows = dcSweepRows(SweepSpec{a.source, a.a, a.b, a.c}, a.nested ? &a.outer : nullptr);
            cols += a.nested ? 2 : 1;
        } else if (a.kind == AnalysisCmd::AC) {
            rows = acSweepRows(a.acType, a.points, a.a, a.b);
            cols += 1;
        } else if (a.kind == AnalysisCmd::TRAN) {
            rows = tranRows(a.tran);
            cols += 1;
        }
        checked(a.line, [&] {
            checkOutputSize(AnalysisCmd::kindName(a.kind), rows, cols);
            return 0;
        });
    }
    return nl;
}

Probe Netlist::makeProbe(const std::string& item, AnalysisCmd::Kind kind, int line) const {
    Probe p;
    p.label = item;
    auto open = item.find('(');
    if (open == std::string::npos || item.back() != ')') fail(line, "cannot print '" + item + "' (use V(node), V(a,b) or I(element))");
    std::string fn = lower(item.substr(0, open));
    std::string args = item.substr(open + 1, item.size() - open - 2);
    std::vector<std::string> a;
    {
        std::string cur;
        for (char ch : args) {
            if (ch == ',') {
                a.push_back(cur);
                cur.clear();
            } else if (ch != ' ' && ch != '\t') {
                cur += ch;
            }
        }
        a.push_back(cur);
    }
    if (fn.empty() || (fn[0] != 'v' && fn[0] != 'i')) fail(line, "cannot print '" + item + "'");
    std::string part = fn.substr(1);
    if (part.empty()) p.part = kind == AnalysisCmd::AC ? Probe::MAG : Probe::REAL;
    else if (part == "m") p.part = Probe::MAG;
    else if (part == "p") p.part = Probe::PHASE;
    else if (part == "db") p.part = Probe::DB;
    else if (part == "r") p.part = Probe::REAL;
    else if (part == "i") p.part = Probe::IMAG;
    else fail(line, "cannot print '" + item + "'");
    if (fn[0] == 'v') {
        p.kind = Probe::VOLTAGE;
        if (a.size() < 1 || a.size() > 2 || a[0].empty()) fail(line, "V() needs one or two nodes");
        int n0 = circuit_->findNode(a[0]);
        if (n0 == -2) fail(line, "unknown node '" + a[0] + "' in " + item);
        p.a = n0;
        if (a.size() == 2) {
            int n1 = circuit_->findNode(a[1]);
            if (n1 == -2) fail(line, "unknown node '" + a[1] + "' in " + item);
            p.b = n1;
        }
    } else {
        p.kind = Probe::CURRENT;
        if (a.size() != 1 || a[0].empty()) fail(line, "I() needs one element or branch");
        if (Element* e = circuit_->find(a[0])) {
            if (!e->hasCurrent()) fail(line, "element '" + a[0] + "' has no current to print");
            if (kind == AnalysisCmd::AC && e->currentIndex() < 0) fail(line, "the AC current of '" + a[0] + "' is not available");
            p.elem = e;
        } else {
            int u = circuit_->findUnknown(a[0]);
            if (u < 0 || !circuit_->unknowns()[u].isCurrent()) fail(line, "unknown element or branch '" + a[0] + "' in " + item);
            p.unknown = u;
        }
    }
    return p;
}

std::vector<Probe> Netlist::probesFor(AnalysisCmd::Kind kind) const {
    std::vector<Probe> out;
    for (int pass = 0; pass < 2 && out.empty(); ++pass)
        for (auto& [k, items] : prints_)
            if ((pass == 0 && k == kind) || (pass == 1 && k < 0))
                for (auto& it : items) out.push_back(makeProbe(it.text, kind, it.line));
    if (out.empty()) {
        // Default: every netlist node voltage and every voltage-source current.
        const auto& u = circuit_->unknowns();
        for (size_t i = 0; i < u.size(); ++i)
            if (!u[i].isCurrent() && u[i].name.find('.') == std::string::npos)
                out.push_back(makeProbe("V(" + u[i].name + ")", kind, 0));
        for (auto& e : circuit_->elements())
            if (dynamic_cast<VoltageSource*>(e.get())) out.push_back(makeProbe("I(" + e->name() + ")", kind, 0));
    }
    return out;
}

std::string AnalysisStats::text() const {
    char buf[320];
    const double perPoint = points > 0 ? static_cast<double>(newtonIterations) / static_cast<double>(points) : 0.0;
    int k = std::snprintf(buf, sizeof buf, "%s: %ld points, %ld Newton iterations (%.2f per point), %ld load passes, %ld linear solves",
                          analysis.c_str(), points, newtonIterations, perPoint, loadPasses, linearSolves);
    if (analysis.rfind(".tran", 0) == 0 && k > 0 && k < static_cast<int>(sizeof buf))
        k += std::snprintf(buf + k, sizeof buf - k, ", %ld accepted and %ld rejected steps", acceptedSteps, rejectedSteps);
    if (k > 0 && k < static_cast<int>(sizeof buf))
        std::snprintf(buf + k, sizeof buf - k, ", %.3f s%s", seconds, failed ? ", failed" : "");
    return buf;
}

const char* AnalysisCmd::kindName(Kind k) {
    switch (k) {
    case OP: return "op";
    case DC: return "dc";
    case AC: return "ac";
    case TRAN: return "tran";
    }
    return "?";
}

std::vector<Table> Netlist::run() {
    std::vector<Table> out;
    run([&](const Table& t, const AnalysisCmd&) { out.push_back(t); });
    return out;
}

void Netlist::run(const std::function<void(const Table&, const AnalysisCmd&)>& onTable) {
    if (analyses_.empty()) throw NetlistError("no analysis requested (.op, .dc, .ac or .tran)");
    Simulator sim(*circuit_);
    stats_.clear();
    for (auto& a : analyses_) {
        auto probes = probesFor(a.kind);
        AnalysisStats& st = stats_.emplace_back();
        st.analysis = std::string(".") + AnalysisCmd::kindName(a.kind);
        if (a.kind == AnalysisCmd::DC) st.analysis += " " + a.source + (a.nested ? " " + a.outer.source : "");
        const auto t0 = std::chrono::steady_clock::now();
        auto collect = [&] {
            st.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            st.points = sim.points;
            st.newtonIterations = sim.newtonIterations;
            st.loadPasses = sim.loadPasses();
            st.linearSolves = sim.linearSolves;
            st.rejectedSteps = sim.rejectedSteps;
            st.acceptedSteps = static_cast<long>(sim.acceptedSteps.size());
        };
        Table t;
        sim.discardTable();
        try {
            switch (a.kind) {
            case AnalysisCmd::OP: t = sim.op(probes); break;
            case AnalysisCmd::DC: t = sim.dcSweep(SweepSpec{a.source, a.a, a.b, a.c}, probes, a.nested ? &a.outer : nullptr); break;
            case AnalysisCmd::AC: t = sim.ac(a.acType, a.points, a.a, a.b, probes); break;
            case AnalysisCmd::TRAN: t = sim.tran(a.tran, probes); break;
            }
        } catch (const SimError& e) {
            collect();
            st.failed = true;
            Table partial = sim.table();
            if (partial.title.empty()) { // failed before its first row was due
                partial.title = st.analysis;
                if (a.kind == AnalysisCmd::TRAN) partial.columns.push_back("time");
                if (a.kind == AnalysisCmd::AC) partial.columns.push_back("frequency");
                if (a.kind == AnalysisCmd::DC && a.nested) partial.columns.push_back(a.outer.source);
                if (a.kind == AnalysisCmd::DC) partial.columns.push_back(a.source);
                for (auto& p : probes) partial.columns.push_back(p.label);
            }
            partial.complete = false;
            partial.failure = e.what();
            onTable(partial, a);
            throw;
        }
        collect();
        onTable(t, a);
    }
}

} // namespace vxr
