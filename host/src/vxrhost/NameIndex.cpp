#include "vxrhost/NameIndex.h"

#include <algorithm>
#include <cctype>

namespace vxr {

namespace {
unsigned char lowerChar(char ch) { return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(ch))); }
} // namespace

bool NameIndex::sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerChar(a[i]) != lowerChar(b[i])) return false;
    return true;
}

uint64_t NameIndex::hashOf(std::string_view name) {
    uint64_t h = 0xcbf29ce484222325ull; // FNV-1a of the lower-case name
    for (char ch : name) h = (h ^ lowerChar(ch)) * 0x100000001b3ull;
    return h;
}

void NameIndex::grow(size_t n) {
    size_t cap = std::max<size_t>(table_.size(), 16);
    while (cap < 2 * n) cap *= 2;
    if (cap == table_.size()) return;
    std::vector<Entry> old(cap);
    old.swap(table_);
    for (const Entry& e : old) {
        if (e.number < 0) continue;
        size_t i = bucket(e.hash);
        while (table_[i].number >= 0) i = (i + 1) & (cap - 1);
        table_[i] = e;
    }
}

} // namespace vxr
