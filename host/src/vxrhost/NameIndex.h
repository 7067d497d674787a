// Names to numbers, in any case: an open-addressing table of (hash, number)
// pairs. The names stay with the caller, who tells the table how to read the
// name filed under a number.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace vxr {

class NameIndex {
public:
    // The number filed under name (nameOf(k) reads the name of number k), -1 when none is.
    template <class NameOf>
    int find(std::string_view name, const NameOf& nameOf) const {
        if (table_.empty()) return -1;
        const uint64_t h = hashOf(name);
        for (size_t i = bucket(h);; i = (i + 1) & (table_.size() - 1)) {
            const Entry& e = table_[i];
            if (e.number < 0) return -1;
            if (e.hash == h && sameName(nameOf(e.number), name)) return e.number;
        }
    }
    // Files name under number k unless a name equal in any case is there:
    // returns the number filed and whether it is k.
    template <class NameOf>
    std::pair<int, bool> insert(std::string_view name, int k, const NameOf& nameOf) {
        grow(count_ + 1);
        const uint64_t h = hashOf(name);
        size_t i = bucket(h);
        for (; table_[i].number >= 0; i = (i + 1) & (table_.size() - 1))
            if (table_[i].hash == h && sameName(nameOf(table_[i].number), name)) return {table_[i].number, false};
        table_[i] = {h, k};
        ++count_;
        return {k, true};
    }
    // Room for n names in all.
    void reserve(size_t n) { grow(n); }
    size_t size() const { return count_; }

    // Whether a and b are equal in any case.
    static bool sameName(std::string_view a, std::string_view b);

private:
    struct Entry {
        uint64_t hash = 0;
        int number = -1; // -1: empty
    };
    static uint64_t hashOf(std::string_view name);
    size_t bucket(uint64_t h) const { return static_cast<size_t>(h ^ (h >> 29)) & (table_.size() - 1); }
    // At most half full after n names.
    void grow(size_t n);

    std::vector<Entry> table_;
    size_t count_ = 0;
};

} // namespace vxr
