// Byte format and failure behaviour of the serialization primitives.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

#include "VXR_FrameServices.h"
#include "VXR_SupportLib.h"

namespace {

// Independent little-endian packing of the expected bytes.
struct Packer {
    std::string b;
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
    void i32(int v) { u32(static_cast<uint32_t>(v)); }
    void f64(double d) {
        uint64_t v;
        std::memcpy(&v, &d, 8);
        for (int i = 0; i < 8; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
    void str(const std::string& s) {
        i32(static_cast<int>(s.size()));
        b += s;
    }
    void raw(const std::string& s) { b += s; }
};

std::string fileBytes(FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string out;
    int c;
    while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<char>(c));
    return out;
}

FILE* fileWith(const std::string& bytes) {
    FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

// A small runtime array with its own storage.
struct TestArray {
    VXR_Array a{};
    int left[2] = {0, 0};
    int right[2] = {0, 0};
    std::vector<double> real;
    std::vector<int> ints;
    TestArray(VXR_ArrayTypeE type, int l, int r) {
        a._arrayType = type;
        const int n = std::abs(r - l) + 1;
#if VXR_REVISION == 187
        left[0] = l;
        right[0] = r;
        a._numDims = 1;
        a._pLeftBounds = left;
        a._pRightBounds = right;
#else
        a._leftBound = l;
        a._rightBound = r;
#endif
        a._dataLen = n;
        if (type == VXR_REAL_ARRAY) {
            for (int i = 0; i < n; ++i) real.push_back(0.5 + i);
            a._data._pReal = real.data();
        } else {
            for (int i = 0; i < n; ++i) ints.push_back(-3 + 7 * i);
            a._data._pInt = ints.data();
        }
    }
    int l() const {
#if VXR_REVISION == 187
        return a._pLeftBounds[0];
#else
        return a._leftBound;
#endif
    }
    int r() const {
#if VXR_REVISION == 187
        return a._pRightBounds[0];
#else
        return a._rightBound;
#endif
    }
};

TEST(Serialize, WritesTheReferenceByteLayout) {
    FILE* f = std::tmpfile();
    VXR_SrlzDirE dir = SRLZ_TO_FILE;
    double d = -1.25e-300;
    int i = -123456789;
    const char* s = "ab\x01z";
    const char* empty = "";
    TestArray ra(VXR_REAL_ARRAY, 2, 0);  // downward bounds: 3 elements
    TestArray ia(VXR_INT_ARRAY, 1, 2);
    VXR_serializeMarker("op", f, &dir);
    VXR_serializeDouble("d", &d, f, &dir);
    VXR_serializeInt("i", &i, f, &dir);
    VXR_serializeString("s", &s, f, &dir);
    VXR_serializeString("e", &empty, f, &dir);
    VXR_serializeArray("ra", &ra.a, f, &dir);
    VXR_serializeArray("ia", &ia.a, f, &dir);
    VXR_serializeMarker("", f, &dir);
    EXPECT_EQ(dir, SRLZ_TO_FILE);

    Packer p;
    p.raw("op");
    p.f64(d);
    p.i32(i);
    p.str("ab\x01z");
    p.str("");
    p.i32(1), p.i32(2), p.i32(0), p.i32(3), p.f64(0.5), p.f64(1.5), p.f64(2.5);
    p.i32(1), p.i32(1), p.i32(2), p.i32(2), p.i32(-3), p.i32(4);
    EXPECT_EQ(fileBytes(f), p.b);
    std::fclose(f);
}

TEST(Serialize, ReadsBackWhatWasWritten) {
    Packer p;
    const double values[] = {-0.0, 5e-324, std::nan("7"), 1.0 / 3.0};
    for (double v : values) p.f64(v);
    p.i32(INT_MIN);
    p.str("hello");
    p.raw("zi");
    p.i32(1), p.i32(0), p.i32(1), p.i32(2), p.f64(-8.0), p.f64(9.0);  // 2 of the array's 3 elements
    FILE* f = fileWith(p.b);
    VXR_SrlzDirE dir = SRLZ_FROM_FILE;
    for (double v : values) {
        double got = 99.0;
        VXR_serializeDouble("d", &got, f, &dir);
        uint64_t a, b;
        std::memcpy(&a, &v, 8);
        std::memcpy(&b, &got, 8);
        EXPECT_EQ(a, b);
    }
    int i = 0;
    VXR_serializeInt("i", &i, f, &dir);
    EXPECT_EQ(i, INT_MIN);
    const char* s = nullptr;
    VXR_serializeString("s", &s, f, &dir);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "hello");
    VXR_free(const_cast<char*>(s));
    VXR_serializeMarker("zi", f, &dir);
    TestArray ra(VXR_REAL_ARRAY, 0, 2);
    VXR_serializeArray("ra", &ra.a, f, &dir);
    EXPECT_EQ(dir, SRLZ_FROM_FILE);
    EXPECT_EQ(ra.a._dataLen, 2);
    EXPECT_EQ(ra.l(), 0);
    EXPECT_EQ(ra.r(), 1);
    EXPECT_EQ(ra.real[0], -8.0);
    EXPECT_EQ(ra.real[1], 9.0);
    EXPECT_EQ(ra.real[2], 2.5);  // the block keeps what lies past the new length
    std::fclose(f);
}

// Each case: bytes in the file and one read that must fail and leave its
// target as it was.
TEST(Serialize, FailedReadsSetErrorAndLeaveTargetUnchanged) {
    Packer shortDouble;
    shortDouble.f64(1.0);
    shortDouble.b.pop_back();
    Packer shortInt;
    shortInt.raw("\x01\x02\x03");
    Packer negLen;
    negLen.i32(-5);
    negLen.raw("abcdefgh");
    Packer hugeLen;
    hugeLen.i32(INT_MAX - 1);
    hugeLen.raw("abc");
    Packer maxLen;
    maxLen.i32(INT_MAX);
    Packer shortText;
    shortText.i32(6);
    shortText.raw("abc");
    Packer bigArray;  // 5 elements into an array of 3
    bigArray.i32(1), bigArray.i32(0), bigArray.i32(4), bigArray.i32(5);
    for (int k = 0; k < 5; ++k) bigArray.f64(k);
    Packer wideBounds;  // bounds of 10 elements with a length that fits
    wideBounds.i32(1), wideBounds.i32(0), wideBounds.i32(9), wideBounds.i32(3);
    for (int k = 0; k < 3; ++k) wideBounds.f64(k);
    Packer extraDims;
    extraDims.i32(2), extraDims.i32(0), extraDims.i32(0), extraDims.i32(0), extraDims.i32(2), extraDims.i32(3);
    for (int k = 0; k < 3; ++k) extraDims.f64(k);
    Packer negDims;
    negDims.i32(-1), negDims.i32(0);
    Packer negData;
    negData.i32(1), negData.i32(0), negData.i32(2), negData.i32(-3);
    Packer truncatedData;
    truncatedData.i32(1), truncatedData.i32(0), truncatedData.i32(2), truncatedData.i32(3);
    truncatedData.f64(7), truncatedData.f64(8), truncatedData.raw("1234567");

    enum Kind { DOUBLE, INT, STRING, ARRAY };
    struct Case {
        const char* what;
        Kind kind;
        std::string bytes;
    } cases[] = {
        {"double one byte short", DOUBLE, shortDouble.b},
        {"empty file", DOUBLE, ""},
        {"int three bytes", INT, shortInt.b},
        {"negative string length", STRING, negLen.b},
        {"string length beyond the file", STRING, hugeLen.b},
        {"string length INT_MAX", STRING, maxLen.b},
        {"string text cut short", STRING, shortText.b},
        {"array length above its data", ARRAY, bigArray.b},
        {"array bounds above its data", ARRAY, wideBounds.b},
        {"more dimensions than the array", ARRAY, extraDims.b},
        {"negative dimension count", ARRAY, negDims.b},
        {"negative data length", ARRAY, negData.b},
        {"array elements cut short", ARRAY, truncatedData.b},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FILE* f = fileWith(c.bytes);
        VXR_SrlzDirE dir = SRLZ_FROM_FILE;
        switch (c.kind) {
        case DOUBLE: {
            double v = 42.0;
            VXR_serializeDouble("v", &v, f, &dir);
            EXPECT_EQ(v, 42.0);
            break;
        }
        case INT: {
            int v = 42;
            VXR_serializeInt("v", &v, f, &dir);
            EXPECT_EQ(v, 42);
            break;
        }
        case STRING: {
            const char* const keep = "keep";
            const char* v = keep;
            VXR_serializeString("v", &v, f, &dir);
            EXPECT_EQ(v, keep);
            break;
        }
        case ARRAY: {
            TestArray ta(VXR_REAL_ARRAY, 0, 2);
            VXR_serializeArray("v", &ta.a, f, &dir);
            EXPECT_EQ(ta.a._dataLen, 3);
            EXPECT_EQ(ta.l(), 0);
            EXPECT_EQ(ta.r(), 2);
#if VXR_REVISION == 187
            EXPECT_EQ(ta.a._numDims, 1);
#endif
            EXPECT_EQ(ta.real, (std::vector<double>{0.5, 1.5, 2.5}));
            break;
        }
        }
        EXPECT_EQ(dir, SRLZ_ERROR);
        std::fclose(f);
    }
}

TEST(Serialize, ErrorIsStickyAndTransfersNothing) {
    Packer p;
    p.i32(5);
    p.str("abc");
    p.raw("zz");
    for (VXR_SrlzDirE start : {SRLZ_ERROR, static_cast<VXR_SrlzDirE>(7)}) {
        FILE* f = fileWith(p.b);
        VXR_SrlzDirE dir = start;
        int i = 1;
        double d = 2.0;
        const char* s = nullptr;
        VXR_serializeInt("i", &i, f, &dir);
        EXPECT_EQ(dir, SRLZ_ERROR);
        VXR_serializeDouble("d", &d, f, &dir);
        VXR_serializeString("s", &s, f, &dir);
        VXR_serializeMarker("zz", f, &dir);
        EXPECT_EQ(dir, SRLZ_ERROR);
        EXPECT_EQ(std::ftell(f), 0);
        EXPECT_EQ(i, 1);
        EXPECT_EQ(d, 2.0);
        EXPECT_EQ(s, nullptr);
        std::fclose(f);
    }
    // A write after a failure leaves the file empty.
    FILE* f = std::tmpfile();
    VXR_SrlzDirE dir = SRLZ_ERROR;
    int i = 3;
    VXR_serializeInt("i", &i, f, &dir);
    VXR_serializeMarker("m", f, &dir);
    EXPECT_EQ(fileBytes(f), "");
    std::fclose(f);
}

TEST(Serialize, MarkerMismatchStopsAtTheFirstWrongByte) {
    FILE* f = fileWith("zxq");
    VXR_SrlzDirE dir = SRLZ_FROM_FILE;
    VXR_serializeMarker("zi", f, &dir);
    EXPECT_EQ(dir, SRLZ_ERROR);
    EXPECT_EQ(std::ftell(f), 2);
    std::fclose(f);

    f = fileWith("z");
    dir = SRLZ_FROM_FILE;
    VXR_serializeMarker("zi", f, &dir);
    EXPECT_EQ(dir, SRLZ_ERROR);
    std::fclose(f);
}

TEST(Serialize, ReadOnlyStreamWriteFails) {
    std::string name = "/tmp/vxr_ro_XXXXXX";
    const int fd = mkstemp(name.data());
    ASSERT_GE(fd, 0);
    FILE* ro = fdopen(fd, "r");
    VXR_SrlzDirE dir = SRLZ_TO_FILE;
    double d = 1.0;
    VXR_serializeDouble("d", &d, ro, &dir);
    EXPECT_EQ(dir, SRLZ_ERROR);
    std::fclose(ro);
    std::remove(name.c_str());
}

}  // namespace
