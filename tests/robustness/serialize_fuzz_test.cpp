// Reading random and damaged serialization streams: every read either
// delivers a value or sets the direction to SRLZ_ERROR and leaves its target
// as it was; after an error nothing moves.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include <unistd.h>

#include "VXR_Operators.h"
#include "VXR_SupportLib.h"
#include "state_stream.h"

namespace {

enum class Item { Marker, Double, Int, String, RealArray, IntArray };

// An array target with its own bounds and storage; 1.87 arrays get up to
// three dimensions, older revisions one bound pair.
struct ArrayTarget {
    VXR_Array a{};
    std::vector<int> left, right;
    std::vector<double> real;
    std::vector<int> ints;

    ArrayTarget(bool isReal, int dims, int capacity, std::mt19937& rng) {
        a._arrayType = isReal ? VXR_REAL_ARRAY : VXR_INT_ARRAY;
        left.resize(3), right.resize(3);
#if VXR_REVISION == 187
        a._numDims = dims;
        a._pLeftBounds = left.data();
        a._pRightBounds = right.data();
#else
        (void)dims;
#endif
        real.resize(static_cast<size_t>(capacity));
        ints.resize(static_cast<size_t>(capacity));
        for (int i = 0; i < capacity; ++i) {
            real[static_cast<size_t>(i)] = 0.25 * i - 1.0;
            ints[static_cast<size_t>(i)] = static_cast<int>(rng() % 1000) - 500;
        }
        a._dataLen = capacity;
        if (isReal)
            a._data._pReal = real.data();
        else
            a._data._pInt = ints.data();
        setBounds(0, 0, capacity - 1);
    }
    void setBounds(int d, int l, int r) {
#if VXR_REVISION == 187
        left[static_cast<size_t>(d)] = l, right[static_cast<size_t>(d)] = r;
#else
        if (d == 0) a._leftBound = l, a._rightBound = r;
#endif
    }
    int dims() const {
#if VXR_REVISION == 187
        return a._numDims;
#else
        return 1;
#endif
    }
    // Everything a read may change, for comparison.
    std::vector<double> snapshot() const {
        std::vector<double> s{static_cast<double>(a._dataLen), static_cast<double>(dims())};
#if VXR_REVISION == 187
        for (int d = 0; d < 3; ++d) s.push_back(left[static_cast<size_t>(d)]), s.push_back(right[static_cast<size_t>(d)]);
#else
        s.push_back(a._leftBound), s.push_back(a._rightBound);
#endif
        s.insert(s.end(), real.begin(), real.end());
        s.insert(s.end(), ints.begin(), ints.end());
        return s;
    }
};

struct Step {
    Item kind;
    std::string marker;
    double d = 0;
    int i = 0;
    std::string text;
    int dims = 1, capacity = 1;
};

// A random schema of items and a valid stream written for it by the runtime.
std::vector<Step> makeSchema(std::mt19937& rng) {
    std::vector<Step> steps(1 + rng() % 8);
    for (Step& s : steps) {
        s.kind = static_cast<Item>(rng() % 6);
        s.marker = std::string(1 + rng() % 3, static_cast<char>('a' + rng() % 26));
        const double ds[] = {0.0, -0.0, 1.5, -1e308, 5e-324, 1.0 / 3.0};
        s.d = ds[rng() % 6];
        const int is[] = {0, -1, INT_MIN, INT_MAX, 42};
        s.i = is[rng() % 5];
        s.text = std::string(rng() % 12, 'x');
        if (!s.text.empty()) s.text[0] = static_cast<char>(1 + rng() % 255);
#if VXR_REVISION == 187
        s.dims = 1 + static_cast<int>(rng() % 3);
#endif
        s.capacity = 1 + static_cast<int>(rng() % 6);
    }
    return steps;
}

std::string writeStream(const std::vector<Step>& steps, std::mt19937& rng) {
    FILE* f = std::tmpfile();
    VXR_SrlzDirE dir = SRLZ_TO_FILE;
    for (const Step& s : steps) {
        switch (s.kind) {
        case Item::Marker: VXR_serializeMarker(s.marker.c_str(), f, &dir); break;
        case Item::Double: {
            double v = s.d;
            VXR_serializeDouble("d", &v, f, &dir);
            break;
        }
        case Item::Int: {
            int v = s.i;
            VXR_serializeInt("i", &v, f, &dir);
            break;
        }
        case Item::String: {
            const char* v = s.text.c_str();
            VXR_serializeString("s", &v, f, &dir);
            break;
        }
        case Item::RealArray:
        case Item::IntArray: {
            ArrayTarget t(s.kind == Item::RealArray, s.dims, s.capacity, rng);
            VXR_serializeArray("a", &t.a, f, &dir);
            break;
        }
        }
    }
    EXPECT_EQ(dir, SRLZ_TO_FILE);
    std::rewind(f);
    std::string out;
    for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<char>(c));
    std::fclose(f);
    return out;
}

// A stream over the bytes: a temporary file, or a pipe (no size known).
FILE* openBytes(const std::string& bytes, bool pipeStream) {
    if (!pipeStream) {
        FILE* f = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::rewind(f);
        return f;
    }
    int fds[2];
    if (pipe(fds) != 0) return nullptr;
    const ssize_t n = write(fds[1], bytes.data(), bytes.size()); // well below the pipe's buffer
    EXPECT_EQ(n, static_cast<ssize_t>(bytes.size()));
    close(fds[1]);
    return fdopen(fds[0], "r");
}

// Reads the stream along the schema. Returns the number of items read before
// the first failure (steps.size() when all succeeded).
// `start` is stored as a C host would (any int).
size_t readStream(const std::vector<Step>& steps, FILE* f, std::mt19937& rng, int start = SRLZ_FROM_FILE) {
    VXR_SrlzDirE dir;
    static_assert(sizeof dir == sizeof start);
    std::memcpy(&dir, &start, sizeof dir);
    size_t ok = 0;
    for (const Step& s : steps) {
        int was;
        std::memcpy(&was, &dir, sizeof was);
        const bool wasError = was != SRLZ_FROM_FILE;
        switch (s.kind) {
        case Item::Marker: VXR_serializeMarker(s.marker.c_str(), f, &dir); break;
        case Item::Double: {
            const double keep = -7.75;
            double v = keep;
            VXR_serializeDouble("d", &v, f, &dir);
            EXPECT_TRUE(dir != SRLZ_ERROR || std::memcmp(&v, &keep, sizeof v) == 0);
            break;
        }
        case Item::Int: {
            int v = 1234;
            VXR_serializeInt("i", &v, f, &dir);
            EXPECT_TRUE(dir != SRLZ_ERROR || v == 1234);
            break;
        }
        case Item::String: {
            const char* const keep = "keep";
            const char* v = keep;
            VXR_serializeString("s", &v, f, &dir);
            if (dir == SRLZ_ERROR) {
                EXPECT_EQ(v, keep);
            } else {
                EXPECT_NE(v, keep);
                if (v != keep) VXR_free(const_cast<char*>(v));
            }
            break;
        }
        case Item::RealArray:
        case Item::IntArray: {
            ArrayTarget t(s.kind == Item::RealArray, s.dims, s.capacity, rng);
            const std::vector<double> before = t.snapshot();
            VXR_serializeArray("a", &t.a, f, &dir);
            if (dir == SRLZ_ERROR) {
                const std::vector<double> after = t.snapshot();
                EXPECT_EQ(std::memcmp(before.data(), after.data(), before.size() * sizeof(double)), 0);
            } else {
                EXPECT_GE(t.a._dataLen, 0);
                EXPECT_LE(t.a._dataLen, s.capacity);
                EXPECT_GE(t.dims(), 0);
                EXPECT_LE(t.dims(), s.dims);
            }
            break;
        }
        }
        EXPECT_TRUE(!wasError || dir == SRLZ_ERROR); // sticky
        if (dir == SRLZ_FROM_FILE) ++ok;
        else if (dir != SRLZ_ERROR) ADD_FAILURE() << "direction " << static_cast<int>(dir);
    }
    return ok;
}

// Byte offset at which each item of the valid stream ends.
std::vector<size_t> itemEnds(const std::vector<Step>& steps, std::mt19937 rng) {
    std::vector<size_t> ends;
    std::vector<Step> prefix;
    for (const Step& s : steps) {
        prefix.push_back(s);
        std::mt19937 r = rng;
        ends.push_back(writeStream(prefix, r).size());
    }
    return ends;
}

TEST(SerializeFuzz, TruncatedStreamsFailAtTheFirstIncompleteItem) {
    std::mt19937 rng(20240611);
    int cases = 0;
    for (int schema = 0; schema < 150; ++schema) {
        const std::vector<Step> steps = makeSchema(rng);
        const std::mt19937 arrays = rng;
        std::mt19937 w = arrays;
        const std::string valid = writeStream(steps, w);
        const std::vector<size_t> ends = itemEnds(steps, arrays);
        for (size_t cut = 0; cut <= valid.size(); cut += 1 + rng() % 5) {
            SCOPED_TRACE("schema " + std::to_string(schema) + " cut " + std::to_string(cut));
            size_t complete = 0;
            while (complete < ends.size() && ends[complete] <= cut) ++complete;
            // A marker read consumes the bytes it can match; everything
            // before the cut item reads as written.
            FILE* f = openBytes(valid.substr(0, cut), cases % 3 == 0);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(readStream(steps, f, rng), complete);
            std::fclose(f);
            ++cases;
        }
    }
    EXPECT_GT(cases, 1000);
}

// Damage of one of five kinds; kind 4 is meant for a stream read from a pipe.
void damage(std::string& bytes, int kind, std::mt19937& rng) {
    switch (kind) {
    case 0: // bit flips
        for (int k = 1 + static_cast<int>(rng() % 4); k > 0 && !bytes.empty(); --k)
            bytes[rng() % bytes.size()] ^= static_cast<char>(1u << (rng() % 8));
        break;
    case 1: // an int field made extreme (lengths, counts, bounds)
        if (bytes.size() >= 4) {
            const int32_t extremes[] = {INT_MIN, INT_MAX, -1, 0, 1 << 30, 65, 100000};
            const int32_t v = extremes[rng() % 7];
            std::memcpy(&bytes[rng() % (bytes.size() - 3)], &v, 4);
        }
        break;
    case 2: // bytes inserted or removed
        if (!bytes.empty()) {
            const size_t at = rng() % bytes.size();
            if (rng() % 2)
                bytes.erase(at, 1 + rng() % 4);
            else
                bytes.insert(at, std::string(1 + rng() % 4, static_cast<char>(rng())));
        }
        break;
    case 3: // random bytes
        bytes.resize(rng() % 64);
        for (char& b : bytes) b = static_cast<char>(rng());
        break;
    case 4: // a damaged stream read from a pipe
        if (!bytes.empty()) bytes[rng() % bytes.size()] = static_cast<char>(rng());
        break;
    }
}

TEST(SerializeFuzz, DamagedAndRandomStreamsNeverCorruptTargets) {
    std::mt19937 rng(777);
    for (int c = 0; c < 4000; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const std::vector<Step> steps = makeSchema(rng);
        std::string bytes = writeStream(steps, rng);
        damage(bytes, c % 5, rng);
        FILE* f = openBytes(bytes, c % 5 == 4);
        ASSERT_NE(f, nullptr);
        readStream(steps, f, rng);
        std::fclose(f);
    }
}

TEST(SerializeFuzz, ValidStreamsReadBackAndBadDirectionsMoveNothing) {
    std::mt19937 rng(99);
    for (int c = 0; c < 300; ++c) {
        const std::vector<Step> steps = makeSchema(rng);
        const std::string bytes = writeStream(steps, rng);
        FILE* f = openBytes(bytes, c % 2 == 1);
        EXPECT_EQ(readStream(steps, f, rng), steps.size());
        std::fclose(f);
        // Any direction but the two valid ones is an error before the first byte.
        f = openBytes(bytes, false);
        const int bad[] = {SRLZ_ERROR, 3, -1, INT_MAX};
        EXPECT_EQ(readStream(steps, f, rng, bad[c % 4]), 0u);
        EXPECT_EQ(std::ftell(f), 0);
        std::fclose(f);
    }
}

#if VXR_REVISION != 142
// A transition waveform with a random event chain: n nodes, the first
// `pending` of them pending, the rest spares.
VXR_TransitionSpec* randomTransitionSpec(std::mt19937& rng) {
    VXR_TransitionSpec* p = createTransitionSpec(nullptr, nullptr);
    p->_cacheExprVal = 0.5 * static_cast<double>(rng() % 9);
    p->_numBreak = static_cast<int>(rng() % 101);
    p->_startTime = rng() % 2 ? -1.0 : 1e-3;
    const int n = static_cast<int>(rng() % 6);
    const int pending = n ? 1 + static_cast<int>(rng() % static_cast<unsigned>(n)) : 0;
    VXR_TransitionEvent** tail = &p->_pPendingFirst;
    for (int i = 0; i < n; ++i) {
        auto* e = static_cast<VXR_TransitionEvent*>(VXR_calloc(1, sizeof(VXR_TransitionEvent), nullptr, nullptr, nullptr));
        e->_targetVal = static_cast<double>(i);
        e->_evtStartTime = 1e-3 * (i + 1);
        e->_type = 1 + i % 2;
        *tail = e;
        tail = &e->_pNext;
        if (i == pending - 1) p->_pPendingLast = e;
    }
    return p;
}

// Nodes of the chain, or -1 when the pending list is not well formed.
int chainNodes(const VXR_TransitionSpec* p) {
    if (!p->_pPendingFirst) return p->_pPendingLast ? -1 : 0;
    int n = 0;
    bool sawLast = false;
    for (const VXR_TransitionEvent* e = p->_pPendingFirst; e; e = e->_pNext, ++n) sawLast |= e == p->_pPendingLast;
    return sawLast ? n : -1;
}

// A damaged saved waveform is rejected or read, and its event list is well
// formed either way; the list counts are the fields most worth damaging.
TEST(SerializeFuzz, DamagedTransitionStatesAreRejectedOrWellFormed) {
    std::mt19937 rng(4242);
    constexpr size_t kCounts = 16 + 5 * 8 + 2 * 4 + 8 * 8 + 15;
    int rejected = 0, read = 0;
    for (int c = 0; c < 3000; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        VXR_TransitionSpec* src = randomTransitionSpec(rng);
        VXR_SrlzDirE dir = SRLZ_TO_FILE;
        std::string bytes = vxrtest::writeState(&src->_opState, &dir);
        ASSERT_EQ(dir, SRLZ_TO_FILE);
        EXPECT_EQ(bytes.size(), kCounts + 8 + 44 * static_cast<size_t>(chainNodes(src)));
        if (c % 6 == 5) {
            const int32_t values[] = {INT_MIN, -2, -1, 0, 1, 2, 5, 6, INT_MAX};
            std::memcpy(&bytes[kCounts + 4 * (rng() % 2)], &values[rng() % 9], 4);
        } else {
            damage(bytes, c % 6 == 4 ? 4 : c % 5, rng);
        }
        FILE* f = openBytes(bytes, c % 6 == 4);
        ASSERT_NE(f, nullptr);
        VXR_TransitionSpec* dst = randomTransitionSpec(rng);
        dir = SRLZ_FROM_FILE;
        dst->_opState.pSerializeSelf(&dst->_opState, f, &dir);
        std::fclose(f);
        // A rejected list part leaves nothing pending; a failure before it
        // leaves the list as it was.
        if (dir == SRLZ_ERROR)
            ++rejected;
        else
            ++read;
        EXPECT_TRUE(dir == SRLZ_ERROR || dir == SRLZ_FROM_FILE);
        EXPECT_GE(chainNodes(dst), 0);
        EXPECT_EQ(dst->_pRepository, nullptr);
        freeTransitionSpec(&src->_opState);
        freeTransitionSpec(&dst->_opState);
    }
    EXPECT_GT(rejected, 1000);
    EXPECT_GT(read, 100);
}

// A saved z-domain filter state of the given orders, with a transition
// waveform, detached from any operator.
VXR_ziState* ziState(int numerOrder, int denomOrder, std::mt19937& rng) {
    auto* z = static_cast<VXR_ziState*>(VXR_calloc(1, sizeof(VXR_ziState), nullptr, nullptr, nullptr));
    z->_opState = {VXR_ZI_STATE, serialize_ziState, freeZiState};
    z->_numerOrder = numerOrder;
    z->_denomOrder = denomOrder;
    z->_xHist = static_cast<double*>(VXR_calloc(static_cast<size_t>(numerOrder), sizeof(double), nullptr, nullptr, nullptr));
    z->_yHist = static_cast<double*>(VXR_calloc(static_cast<size_t>(denomOrder), sizeof(double), nullptr, nullptr, nullptr));
    for (int i = 0; i < numerOrder; ++i) z->_xHist[i] = 0.5 * i;
    for (int i = 0; i < denomOrder; ++i) z->_yHist[i] = -0.25 * i;
    z->_pTransitionState = randomTransitionSpec(rng);
    z->_targetVal = 0.75;
    return z;
}

// Damaged saved filter states: read or rejected, never past their histories.
TEST(SerializeFuzz, DamagedFilterStatesAreReadOrRejected) {
    std::mt19937 rng(1616);
    int rejected = 0;
    for (int c = 0; c < 2000; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const int nN = 1 + static_cast<int>(rng() % 3), nD = 1 + static_cast<int>(rng() % 3);
        VXR_ziState* src = ziState(nN, nD, rng);
        VXR_SrlzDirE dir = SRLZ_TO_FILE;
        std::string bytes = vxrtest::writeState(&src->_opState, &dir);
        ASSERT_EQ(dir, SRLZ_TO_FILE);
        damage(bytes, c % 5, rng);
        FILE* f = openBytes(bytes, c % 5 == 4);
        ASSERT_NE(f, nullptr);
        VXR_ziState* dst = ziState(nN, nD, rng);
        dir = SRLZ_FROM_FILE;
        dst->_opState.pSerializeSelf(&dst->_opState, f, &dir);
        std::fclose(f);
        rejected += dir == SRLZ_ERROR;
        EXPECT_EQ(dst->_numerOrder, nN);
        EXPECT_EQ(dst->_denomOrder, nD);
        EXPECT_GE(chainNodes(static_cast<VXR_TransitionSpec*>(dst->_pTransitionState)), 0);
        src->_opState.pFreeSelf(&src->_opState);
        dst->_opState.pFreeSelf(&dst->_opState);
    }
    EXPECT_GT(rejected, 500);
}
#endif

} // namespace
