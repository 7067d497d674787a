// Messages: context formats, WARNING de-duplication and its process-wide
// cache, bounded composition, hierarchical names.
#include <gtest/gtest.h>
#include <string.h>

#include "VXR_MessagesInternal.h"
#include "test_util.h"

using vxrtest::RecordingHost;

namespace {

TEST(Message, ContextFormats) {
    RecordingHost host;
    vxrtest::InstanceRecord fi(host, "r1", "RES");
    const std::string tail = contextTail();
    struct Case {
        VXR_DeviceInst* inst;
        const char* id;
        std::string expected;
    } cases[] = {
        {nullptr, nullptr, "Plain text."},
        {fi.ptr(), "blk", "Plain text.\n   ['blk', instance 'r1' of module type 'RES' ]" + tail},
        {nullptr, "blk", "Plain text.\n   [ blk ]" + tail},
        {fi.ptr(), nullptr, "Plain text.\n   [ instance 'r1' of module type 'RES' ]" + tail},
    };
    for (const Case& c : cases) {
        host.clearLog();
        VXR_Message(host.sim(), c.inst, c.id, MessageTypeE_ERROR, "Plain text.");
        ASSERT_EQ(host.messages().size(), 1u);
        EXPECT_EQ(host.messages()[0].text, c.expected);
        EXPECT_EQ(host.messages()[0].type, MessageTypeE_ERROR);
        EXPECT_EQ(host.messages()[0].inst, c.inst); // the instance is passed on as given
    }
}

// How many times each text reaches the host, sent in order.
struct Send {
    int who; // 0: no instance, 1: instance a, 2: instance b
    const char* id;
    VXR_MessageTypeE type;
};

TEST(Message, RepeatedWarningsAreDroppedIn187Only) {
    const int repeatedWarning = rev187 ? 1 : 2;
    struct Case {
        const char* what;
        std::vector<Send> sends;
        size_t delivered;
    } cases[] = {
        {"warning twice", {{1, nullptr, MessageTypeE_WARNING}, {1, nullptr, MessageTypeE_WARNING}}, (size_t)repeatedWarning},
        {"bare warning twice", {{0, nullptr, MessageTypeE_WARNING}, {0, nullptr, MessageTypeE_WARNING}}, (size_t)repeatedWarning},
        {"error twice", {{1, nullptr, MessageTypeE_ERROR}, {1, nullptr, MessageTypeE_ERROR}}, 2},
        {"info, strobe, display, debug twice",
         {{1, nullptr, MessageTypeE_INFO}, {1, nullptr, MessageTypeE_INFO}, {1, nullptr, MessageTypeE_STROBE},
          {1, nullptr, MessageTypeE_STROBE}, {0, nullptr, MessageTypeE_DISPLAY}, {0, nullptr, MessageTypeE_DISPLAY},
          {0, "x", MessageTypeE_DEBUG}, {0, "x", MessageTypeE_DEBUG}},
         8},
        {"with and without id", {{1, nullptr, MessageTypeE_WARNING}, {1, "id", MessageTypeE_WARNING}}, 2},
        {"two instances, then the first again",
         {{1, nullptr, MessageTypeE_WARNING}, {2, nullptr, MessageTypeE_WARNING}, {1, nullptr, MessageTypeE_WARNING}},
         (size_t)repeatedWarning + 1},
        {"warning after the same error text",
         {{1, nullptr, MessageTypeE_ERROR}, {1, nullptr, MessageTypeE_WARNING}, {1, nullptr, MessageTypeE_WARNING}},
         (size_t)repeatedWarning + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        vxrtest::InstanceRecord a(host, "a"), b(host, "b");
        const std::string text = fresh(c.what);
        for (const Send& s : c.sends)
            VXR_Message(host.sim(), s.who == 0 ? nullptr : s.who == 1 ? a.ptr() : b.ptr(), s.id, s.type,
                        text.c_str());
        EXPECT_EQ(host.messages().size(), c.delivered);
    }
}

TEST(Message, DuplicatesAreProcessWideAcrossHostTables) {
    RecordingHost first, second;
    const std::string text = fresh("shared warning");
    VXR_Message(first.sim(), nullptr, nullptr, MessageTypeE_WARNING, text.c_str());
    VXR_Message(second.sim(), nullptr, nullptr, MessageTypeE_WARNING, text.c_str());
    EXPECT_EQ(first.messages().size(), 1u);
    EXPECT_EQ(second.messages().size(), rev187 ? 0u : 1u);
}

TEST(Message, LoneNewlineWarningOncePerProcess) {
    RecordingHost host;
    for (int i = 0; i < 3; ++i) VXR_Message(host.sim(), nullptr, nullptr, MessageTypeE_WARNING, "\n");
    // Another test may have sent it already in 1.87.
    EXPECT_LE(host.messages().size(), rev187 ? 1u : 3u);
    EXPECT_GE(host.messages().size(), rev187 ? 0u : 3u);
    if (rev187) {
        EXPECT_EQ(VXR_IsMessageDuplicate("\n", host.sim()), 1);
    }
}

TEST(MessageCache, GrowsBy16AndKeepsEveryEarlierText) {
    RecordingHost host;
    VXR_IsMessageDuplicate(fresh("cache seed").c_str(), host.sim());
    int count = 0, capacity = 0;
    VXR_messageCacheSize(&count, &capacity);
    ASSERT_GE(capacity, 16);
    EXPECT_EQ(capacity % 16, 0);

    // Fill the present block and go 1 past it: the capacity grows by one block.
    std::vector<std::string> texts;
    const int startCapacity = capacity;
    while (count <= startCapacity) {
        texts.push_back(fresh("grow"));
        EXPECT_EQ(VXR_IsMessageDuplicate(texts.back().c_str(), host.sim()), 0);
        VXR_messageCacheSize(&count, &capacity);
    }
    EXPECT_EQ(capacity, startCapacity + 16);
    EXPECT_EQ(count, startCapacity + 1);
    for (const std::string& t : texts) EXPECT_EQ(VXR_IsMessageDuplicate(t.c_str(), host.sim()), 1) << t;
    VXR_messageCacheSize(&count, nullptr);
    EXPECT_EQ(count, startCapacity + 1); // seen texts are not stored again
    EXPECT_TRUE(host.messages().empty());
}

TEST(MessageCache, TextsWithTheSameHashCountAsSeen) {
    // Each byte is xored in after a 5-bit rotation, so for any prefix the
    // endings "\x01A" and "\x02!" give (1 << 5) ^ 0x41 == (2 << 5) ^ 0x21.
    RecordingHost host;
    const std::string prefix = fresh("collide");
    EXPECT_EQ(VXR_IsMessageDuplicate((prefix + "\x01" "A").c_str(), host.sim()), 0);
    EXPECT_EQ(VXR_IsMessageDuplicate((prefix + "\x02" "!").c_str(), host.sim()), 1);
    EXPECT_EQ(VXR_IsMessageDuplicate((prefix + "\x02" "\"").c_str(), host.sim()), 0);
}

void* failingRealloc(void*, size_t) { return nullptr; }

TEST(MessageCache, FailedGrowthKeepsTheOldCache) {
    RecordingHost host;
    int count = 0, capacity = 0;
    const std::string kept = fresh("kept");
    VXR_IsMessageDuplicate(kept.c_str(), host.sim());
    VXR_messageCacheSize(&count, &capacity);
    while (count < capacity) { // fill the present block exactly
        VXR_IsMessageDuplicate(fresh("fill").c_str(), host.sim());
        VXR_messageCacheSize(&count, &capacity);
    }
    const int fullCapacity = capacity;

    auto saved = VXR_systemAllocator.pRealloc;
    VXR_systemAllocator.pRealloc = failingRealloc;
    const std::string text = fresh("after failure");
    const int first = VXR_IsMessageDuplicate(text.c_str(), host.sim());
    const int second = VXR_IsMessageDuplicate(text.c_str(), host.sim());
    const std::string warning = fresh("warning after failure");
    VXR_Message(host.sim(), nullptr, nullptr, MessageTypeE_WARNING, warning.c_str());
    VXR_systemAllocator.pRealloc = saved;

    EXPECT_EQ(first, 0); // not stored, so not seen either time
    EXPECT_EQ(second, 0);
    VXR_messageCacheSize(&count, &capacity);
    EXPECT_EQ(capacity, fullCapacity);
    EXPECT_EQ(count, fullCapacity);
    EXPECT_EQ(VXR_IsMessageDuplicate(kept.c_str(), host.sim()), 1); // old entries intact

    // Each failed growth is reported (no instance, an empty id) and the run
    // goes on; in 1.87 the warning that hit the full cache still goes out.
    const std::string oom = std::string("message ERROR \"Out of memory.\\n   [  ]") + (rev187 ? "\\n" : "") + "\"";
    std::vector<std::string> expected = {oom, "systemRequest exit 1", oom, "systemRequest exit 1"};
    if (rev187) {
        expected.push_back(oom);
        expected.push_back("systemRequest exit 1");
    }
    expected.push_back("message WARNING \"" + warning + "\"");
    EXPECT_EQ(host.trace(), expected);

    // With the allocator back the text is remembered as usual.
    EXPECT_EQ(VXR_IsMessageDuplicate(text.c_str(), host.sim()), 0);
    EXPECT_EQ(VXR_IsMessageDuplicate(text.c_str(), host.sim()), 1);
}

TEST(Message, OverlongTextsAreCutToTheBuffer) {
    RecordingHost host;
    const std::string longName(5000, 'n');
    const std::string longText(3000, 't');
    vxrtest::InstanceRecord fi(host, longName.c_str(), longName.c_str());
    struct Case {
        VXR_DeviceInst* inst;
        const char* id;
        std::string text;
    } cases[] = {
        {fi.ptr(), nullptr, longText},          // long text
        {fi.ptr(), "id", "short"},              // long instance and module names
        {nullptr, longName.c_str(), "short"},   // long id
    };
    for (const Case& c : cases) {
        host.clearLog();
        VXR_Message(host.sim(), c.inst, c.id, MessageTypeE_ERROR, c.text.c_str());
        ASSERT_EQ(host.messages().size(), 1u);
        const std::string& got = host.messages()[0].text;
        EXPECT_EQ(got.size(), (size_t)VXR_MESSAGE_BUFFER_CHARS);
        const size_t n = std::min(c.text.size(), got.size());
        EXPECT_EQ(got.substr(0, n), c.text.substr(0, n));
    }
    // A text without context is passed on whole.
    host.clearLog();
    VXR_Message(host.sim(), nullptr, nullptr, MessageTypeE_ERROR, longText.c_str());
    EXPECT_EQ(host.messages().at(0).text, longText);
}

TEST(Message, NullHostTableOrNamesAreSafe) {
    VXR_Message(nullptr, nullptr, nullptr, MessageTypeE_ERROR, "nobody listens");
    RecordingHost host;
    VXR_DeviceInst bare{}; // no name, no descriptor
    VXR_Message(host.sim(), &bare, nullptr, MessageTypeE_ERROR, nullptr);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, std::string("\n   [ instance '' of module type '' ]") + contextTail());
}

TEST(FullHierName, AskedOfTheHostOnce) {
    RecordingHost host;
    vxrtest::InstanceRecord fi(host, "r1");
    host.setFullName(fi.ptr(), "top.sub.r1");
    EXPECT_EQ(VXR_GetFullHierName(nullptr), nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_STREQ(VXR_GetFullHierName(fi.ptr()), "top.sub.r1");
    EXPECT_EQ(host.trace(), (std::vector<std::string>{"composeFullName -> top.sub.r1"}));

    vxrtest::InstanceRecord named(host, "r2");
    named.inst.fullName = "given.r2";
    EXPECT_STREQ(VXR_GetFullHierName(named.ptr()), "given.r2");
    EXPECT_EQ(host.log().size(), 1u);
}

} // namespace
