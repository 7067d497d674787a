#include "vxrhost/Table.h"

#include <algorithm>
#include <cstdio>

namespace vxr {

namespace {
std::string format(const char* fmt, double v) {
    char buf[40]; // "%.17g" and "%.6e" of any double take at most 24 characters
    int n = std::snprintf(buf, sizeof buf, fmt, v);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

void pad(std::string& out, const std::string& s, size_t width) {
    out.append(width > s.size() ? width - s.size() : 0, ' ');
    out += s;
}
} // namespace

std::string Table::text() const {
    std::vector<std::vector<std::string>> cells(rows.size());
    std::vector<size_t> w(columns.size(), 14);
    for (size_t i = 0; i < columns.size(); ++i) w[i] = std::max(w[i], columns[i].size() + 2);
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t i = 0; i < rows[r].size(); ++i) {
            cells[r].push_back(format("%.6e", rows[r][i]));
            if (i < w.size()) w[i] = std::max(w[i], cells[r].back().size() + 1);
        }
    std::string o;
    if (!title.empty()) o += title + (complete ? "" : " [INCOMPLETE]") + "\n";
    for (size_t i = 0; i < columns.size(); ++i) pad(o, columns[i], w[i]);
    o += "\n";
    for (auto& r : cells) {
        for (size_t i = 0; i < r.size(); ++i) pad(o, r[i], i < w.size() ? w[i] : r[i].size() + 1);
        o += "\n";
    }
    if (!complete) {
        o += "*** incomplete: stopped after " + std::to_string(rows.size()) + (rows.size() == 1 ? " row" : " rows");
        o += failure.empty() ? std::string() : ": " + failure;
        o += "\n";
    }
    return o;
}

std::string csvField(const std::string& s) {
    const bool quote = s.find_first_of(",\"\r\n") != std::string::npos ||
                       (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.back() == ' ' || s.back() == '\t'));
    if (!quote) return s;
    std::string q = "\"";
    for (char ch : s) {
        if (ch == '"') q += '"';
        q += ch;
    }
    return q + "\"";
}

std::string Table::csv() const {
    std::string o;
    for (size_t i = 0; i < columns.size(); ++i) o += (i ? "," : "") + csvField(columns[i]);
    o += "\r\n";
    for (auto& r : rows) {
        for (size_t i = 0; i < r.size(); ++i) o += (i ? "," : "") + format("%.17g", r[i]);
        o += "\r\n";
    }
    return o;
}

} // namespace vxr
