// The rows of one analysis and their two renderings: an aligned text table
// and an RFC 4180 CSV file.
#pragma once

#include <string>
#include <vector>

namespace vxr {

// Most values (rows times columns) an analysis may keep.
constexpr double kMaxOutputValues = 2e7;

struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<double>> rows;
    std::string title;
    // False when the analysis stopped before its last row; text() says so
    // in the title and after the rows.
    bool complete = true;
    std::string failure; // why it stopped, when it did

    // Columns right-aligned, at least one blank between values; every
    // value with 7 significant digits.
    std::string text() const;
    // A header record (fields quoted where they need it) and one record per
    // row with 17 significant digits, each record ended by CRLF.
    std::string csv() const;
};

// A CSV field: quoted, inner quotes doubled, when it holds a comma, a quote,
// a line break or leading or trailing blanks.
std::string csvField(const std::string& s);

} // namespace vxr
