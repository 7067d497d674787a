// Heap wrappers and the error log.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include "VXR_MessagesInternal.h"
#include "test_util.h"

using vxrtest::RecordingHost;

// Huge requests must fail with NULL, not abort the sanitized run.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

constexpr size_t huge = SIZE_MAX - 4096;

TEST(Memory, ExhaustionIsOneErrorAndOneExitAndNull) {
    struct Case {
        const char* what;
        void* (*alloc)(VXR_SimInterface*, VXR_DeviceInst*);
    } cases[] = {
        {"malloc", [](VXR_SimInterface* s, VXR_DeviceInst* i) { return VXR_malloc(huge, s, i, "blk"); }},
        {"calloc", [](VXR_SimInterface* s, VXR_DeviceInst* i) { return VXR_calloc(huge / 8, 16, s, i, "blk"); }},
#if VXR_REVISION == 187
        {"realloc", [](VXR_SimInterface* s, VXR_DeviceInst* i) {
             void* old = VXR_malloc(16, s, i, "blk");
             memset(old, 7, 16);
             void* p = VXR_realloc(old, huge, s, i, "blk");
             // the old block survives a failed resize
             EXPECT_EQ(((unsigned char*)old)[15], 7);
             VXR_free(old);
             return p;
         }},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        vxrtest::InstanceRecord fi(host, "r1", "RES");
        EXPECT_EQ(c.alloc(host.sim(), fi.ptr()), nullptr);
        EXPECT_EQ(host.trace(),
                  (std::vector<std::string>{std::string("message ERROR \"Out of memory.\\n   ['blk', instance 'r1' of "
                                                        "module type 'RES' ]") +
                                                (rev187 ? "\\n" : "") + "\"",
                                            "systemRequest exit 1"}));
        ASSERT_EQ(host.requests().size(), 1u);
        EXPECT_EQ(host.requests()[0].inst, fi.ptr());
        EXPECT_EQ(host.requests()[0].ldr, nullptr);
        EXPECT_EQ(host.messages()[0].inst, fi.ptr());
    }
}

TEST(Memory, StrdupFailureIsReportedWithoutId) {
    RecordingHost host;
    vxrtest::InstanceRecord fi(host, "r1", "RES");
    auto saved = VXR_systemAllocator.pMalloc;
    VXR_systemAllocator.pMalloc = [](size_t) -> void* { return nullptr; };
    char* copy = VXR_strdup("abc", host.sim(), fi.ptr());
    VXR_systemAllocator.pMalloc = saved;
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{std::string("Out of memory.\n   [ instance 'r1' of module type 'RES' ]") +
                                        contextTail()}));
    EXPECT_EQ(host.requests().size(), 1u);
}

TEST(Memory, WithoutHostTableFailureIsSilentNull) {
    EXPECT_EQ(VXR_malloc(huge, nullptr, nullptr, "x"), nullptr);
    EXPECT_EQ(VXR_calloc(huge / 8, 16, nullptr, nullptr, nullptr), nullptr);
#if VXR_REVISION == 187
    EXPECT_EQ(VXR_realloc(nullptr, huge, nullptr, nullptr, nullptr), nullptr);
#endif
}

TEST(Memory, ZeroSizesReturnNullSilently) {
    RecordingHost host;
    EXPECT_EQ(VXR_malloc(0, host.sim(), nullptr, nullptr), nullptr);
    EXPECT_EQ(VXR_calloc(0, 8, host.sim(), nullptr, nullptr), nullptr);
    EXPECT_EQ(VXR_calloc(8, 0, host.sim(), nullptr, nullptr), nullptr);
#if VXR_REVISION == 187
    char* block = (char*)VXR_malloc(4, host.sim(), nullptr, nullptr);
    memcpy(block, "abc", 4);
    EXPECT_EQ(VXR_realloc(block, 0, host.sim(), nullptr, nullptr), nullptr);
    EXPECT_STREQ(block, "abc"); // left alone
    char* grown = (char*)VXR_realloc(block, 64, host.sim(), nullptr, nullptr);
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(grown, "abc");
    VXR_free(grown);
#endif
    EXPECT_TRUE(host.log().empty());
}

TEST(Memory, StrdupCallocAndFree) {
    RecordingHost host;
    char* copy = VXR_strdup("text", host.sim(), nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "text");
    VXR_free(copy);
    EXPECT_EQ(VXR_strdup(nullptr, host.sim(), nullptr), nullptr);
    int* zeros = (int*)VXR_calloc(5, sizeof(int), host.sim(), nullptr, nullptr);
    ASSERT_NE(zeros, nullptr);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(zeros[i], 0);
    VXR_free(zeros);
    VXR_free(nullptr);
    EXPECT_TRUE(host.log().empty());
}

TEST(ErrorLog, CapacityEdges) {
    struct Case {
        int maxLength;
        int inserts;
        int expectedMax;
        int expectedLength;
    } cases[] = {
        {2, 3, 2, 2}, // the third entry is dropped
        {1, 0, 1, 0},
        {0, 2, 0, 0},
        {-5, 2, 0, 0}, // a negative capacity is an empty log, not an allocation failure
        {4, 4, 4, 4},
    };
    static const char* names[] = {"A", "B", "C", "D"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxLength);
        RecordingHost host;
        vxrtest::InstanceRecord a(host, "a"), b(host, "b");
        VXR_ErrorLog* log = VXR_createErrorLog(c.maxLength, host.sim());
        ASSERT_NE(log, nullptr);
        EXPECT_EQ(log->maxLength, c.expectedMax);
        for (int i = 0; i < c.inserts; ++i) VXR_insertError(log, i % 2 ? b.ptr() : a.ptr(), names[i]);
        EXPECT_EQ(log->length, c.expectedLength);
        for (int i = 0; i < log->length; ++i) {
            EXPECT_EQ(log->errorInst[i], i % 2 ? b.ptr() : a.ptr());
            EXPECT_EQ(log->errorStr[i], names[i]); // the pointer, not a copy
        }
        VXR_freeErrorLog(log);
        EXPECT_TRUE(host.log().empty());
    }
}

TEST(ErrorLog, NullLogAndFailedCreation) {
    VXR_insertError(nullptr, nullptr, "X");
    VXR_freeErrorLog(nullptr);

    RecordingHost host;
    auto saved = VXR_systemAllocator.pCalloc;
    VXR_systemAllocator.pCalloc = [](size_t, size_t) -> void* { return nullptr; };
    VXR_ErrorLog* log = VXR_createErrorLog(3, host.sim());
    VXR_systemAllocator.pCalloc = saved;
    EXPECT_EQ(log, nullptr); // and nothing leaks (checked under ASan)
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR), (std::vector<std::string>{"Out of memory."}));
    EXPECT_EQ(host.requests().size(), 1u);

    // A full log whose length was set past its capacity is not written.
    VXR_ErrorLog* small = VXR_createErrorLog(1, host.sim());
    ASSERT_NE(small, nullptr);
    small->length = 1;
    VXR_insertError(small, nullptr, "Y");
    EXPECT_EQ(small->length, 1);
    VXR_freeErrorLog(small);
}

} // namespace
