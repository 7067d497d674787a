// Fuzz entry over the table-model reader, tree builder and evaluation: the
// input is a data file; a hash of it picks the control codes and lookups.
// Built as a libFuzzer target with clang (VXR_LIBFUZZER), and otherwise run
// as a bounded, seeded mutation test over the example corpus.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <cmath>
#include <limits>
#include <vector>

#include "VXR_TableModel.h"

namespace {

void ignoreMessage(VXR_MessageTypeE, const char*, VXR_DeviceInst*, VXR_SimInterface*) {}
void ignoreRequest(const char*, int, VXR_DeviceInst*, VXR_ContribLoader*, VXR_SimInterface*) {}

uint64_t mix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t hashBytes(const uint8_t* data, size_t size) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VXR_SimInterface sim{};
    sim.pMessage = ignoreMessage;
    sim.pSystemRequest = ignoreRequest;
    VXR_ModuleDescriptor md{};
    md.moduleName = "fuzz";
    VXR_DeviceInst inst{};
    inst.instName = "f1";
    inst.pModuleDescriptor = &md;
    inst.pSimInterface = &sim;

    uint64_t state = hashBytes(data, size);
    const char letters[] = "CLE";
    const int maxDims = 64;
    int codes[maxDims];
    char lower[maxDims], upper[maxDims];
    for (int d = 0; d < maxDims; ++d) {
        uint64_t r = mix(state);
        codes[d] = 1 + static_cast<int>(r % 3);
        lower[d] = letters[(r >> 8) % 3];
        upper[d] = letters[(r >> 16) % 3];
    }
    const bool withControl = mix(state) % 4 != 0;

    // The record reads from memory instead of a named file.
    TableModel* tm = static_cast<TableModel*>(
        VXR_createTableModelFileSource(&inst, 0, nullptr, nullptr, nullptr, "fuzz.tbl"));
    if (tm == nullptr) return 0;
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    FILE* f = size > 0 ? fmemopen(text.data(), size, "r") : nullptr;
    PointSet* set = f ? readPointSetFromStream(tm, f, tm->userFile) : nullptr;
    if (f) fclose(f);
    if (set != nullptr) {
        tm->dim = set->dim;
        tm->isoSet = pointSetToIsoSet(tm, set);
        deletePointSet(set);
    }
    if (tm->isoSet != nullptr && withControl && tm->dim <= maxDims) {
        // The tree moves to a record with a control for its dimensions.
        TableModel* ctl = static_cast<TableModel*>(
            VXR_createTableModelFileSource(&inst, tm->dim, codes, lower, upper, "fuzz.tbl"));
        if (ctl != nullptr) {
            ctl->dim = tm->dim;
            ctl->isoSet = tm->isoSet;
            tm->isoSet = nullptr;
            VXR_freeTableModel(tm);
            tm = ctl;
        }
    }

    // Lookups on, between and beyond the first isoline's samples, and odd values.
    const int dim = tm->dim > 0 ? tm->dim : 1;
    std::vector<double> lookup(static_cast<size_t>(dim)), deriv(static_cast<size_t>(dim));
    const double odd[] = {0.0, -1e300, 1e300, std::numeric_limits<double>::quiet_NaN(), -0.0, 0.5};
    for (int round = 0; round < 4; ++round) {
        const IsoSet* node = tm->isoSet;
        for (int d = 0; d < dim; ++d) {
            uint64_t r = mix(state);
            double v = odd[r % 6];
            if (node != nullptr && node->npts > 0) {
                int k = static_cast<int>((r >> 8) % static_cast<uint64_t>(node->npts));
                double step = node->npts > 1 ? node->indep[node->npts - 1] - node->indep[0] : 1.0;
                v = node->indep[k] + step * (static_cast<double>((r >> 16) % 7) - 3.0) / 4.0;
                node = node->leaf ? nullptr : node->dataU.children;
            }
            lookup[static_cast<size_t>(d)] = v;
        }
        const int len = round == 3 ? dim + 1 - static_cast<int>(mix(state) % 3) : dim;
        if (len <= dim) doCallTableModel(tm, round % 2 ? deriv.data() : nullptr, len, lookup.data());
    }
    VXR_freeTableModel(tm);
    return 0;
}

#ifndef VXR_LIBFUZZER
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// Byte-level mutations biased towards the characters the reader cares about.
std::string mutate(std::string s, uint64_t& state) {
    static const char alphabet[] = "0123456789.-+eEx#\t\n\r \v\0nainf";
    const int edits = 1 + static_cast<int>(mix(state) % 4);
    for (int e = 0; e < edits; ++e) {
        uint64_t r = mix(state);
        size_t at = s.empty() ? 0 : static_cast<size_t>((r >> 8) % s.size());
        switch (r % 6) {
        case 0: // replace a byte
            if (!s.empty()) s[at] = alphabet[(r >> 32) % (sizeof alphabet - 1)];
            break;
        case 1: // insert a byte
            s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), alphabet[(r >> 32) % (sizeof alphabet - 1)]);
            break;
        case 2: // delete a stretch
            s.erase(at, static_cast<size_t>((r >> 32) % 6));
            break;
        case 3: // repeat a stretch (duplicate rows, long lines)
            s.insert(at, s.substr(at, static_cast<size_t>((r >> 32) % 40)));
            break;
        case 4: // a random byte
            if (!s.empty()) s[at] = static_cast<char>(r >> 40);
            break;
        case 5: // a long run of one character
            s.insert(at, static_cast<size_t>((r >> 32) % 1500), alphabet[(r >> 24) % (sizeof alphabet - 1)]);
            break;
        }
    }
    return s;
}

TEST(TableFuzz, SeededMutationsOfTheExamples) {
    std::vector<std::string> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(TABLE_CORPUS_DIR)) {
        std::ifstream in(entry.path(), std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GE(seeds.size(), 10u);
    auto run = [](const std::string& s) {
        return LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    for (const std::string& s : seeds) EXPECT_EQ(run(s), 0);
    uint64_t state = 20261209;
    for (int i = 0; i < 3000; ++i) {
        std::string input = seeds[static_cast<size_t>(mix(state) % seeds.size())];
        if (mix(state) % 5 == 0) input += seeds[static_cast<size_t>(mix(state) % seeds.size())]; // splice
        EXPECT_EQ(run(mutate(input, state)), 0);
    }
}

} // namespace
#endif
