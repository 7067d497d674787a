// Messages, file slots and text reading/writing through the recording host.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "VXR_SupportLib.h"
#include "VXR_SupportLib.h"
#include "recording_host.h"

namespace {

using vxrtest::Call;
using vxrtest::RecordingHost;

struct Files : ::testing::Test {
    RecordingHost host; // closes its files and removes its temporary files
    VXR_DeviceInst inst{};
    void SetUp() override {
        inst.instName = "f1";
        inst.pSimInterface = host.sim();
    }
    void TearDown() override { VXR_freeFileDescs(&inst); }
    std::string temp(const std::string& content) { return host.tempFile(content); }
    // (type, text) of message i.
    std::pair<int, std::string> message(size_t i) const {
        return {host.messages().at(i).type, host.messages().at(i).text};
    }
    // (file name, position) of each seek.
    std::vector<std::pair<std::string, long>> seeks() const {
        std::vector<std::pair<std::string, long>> out;
        for (const vxrtest::FileRecord& f : host.fileCalls())
            if (f.call == Call::FileSeek) out.emplace_back(f.name, f.pos);
        return out;
    }
};

TEST_F(Files, WriteMsgDropsRepeatedWarningsOnlyIn187) {
    const std::string w = "warn once";
    VXR_WriteMsg(MessageTypeE_WARNING, &inst, "%s %d", w.c_str(), 1);
    VXR_WriteMsg(MessageTypeE_WARNING, &inst, "%s %d", w.c_str(), 1);
    VXR_WriteMsg(MessageTypeE_ERROR, &inst, "e%s", "!");
    VXR_WriteMsg(MessageTypeE_ERROR, &inst, "e%s", "!");
    VXR_WriteMsg(MessageTypeE_STROBE, nullptr, "dropped");  // no instance: nowhere to send
    const size_t expected = VXR_REVISION == 187 ? 3 : 4;
    ASSERT_EQ(host.messages().size(), expected);
    EXPECT_EQ(message(0), std::make_pair(1, w + " 1"));
    EXPECT_EQ(message(expected - 1), std::make_pair(2, std::string("e!")));
}

TEST_F(Files, OverlongTextsAreCutAtTheBuffer) {
    const std::string big(30000, 'x');
    VXR_WriteMsg(MessageTypeE_STROBE, &inst, "%s%s", big.c_str(), "tail");
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, std::string(VXR_TEXT_BUFSIZE - 1, 'x'));

    const char* s = nullptr;
    VXR_WriteString(&s, &inst, "%s", big.c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::strlen(s), static_cast<size_t>(VXR_TEXT_BUFSIZE - 1));
    VXR_free(const_cast<char*>(s));

    VXR_WriteString(&s, &inst, "%d-%s", 12, "ab");
    EXPECT_STREQ(s, "12-ab");
    VXR_free(const_cast<char*>(s));
}

TEST_F(Files, OpenWriteFlushCloseAndDescriptorZero) {
    const std::string name = temp("");
    const int fd = VXR_FileOpen(&inst, name.c_str(), "w", 0);
    ASSERT_GT(fd, 0);
    VXR_WriteFile(fd, &inst, "a=%d %s\n", 5, "b");
    VXR_WriteFile(0, &inst, "never\n");
    VXR_FileFlush(&inst, fd);
    VXR_FileFlush(&inst, 0);
    VXR_FileClose(&inst, 0);
    VXR_FileClose(&inst, fd);
    FILE* f = std::fopen(name.c_str(), "r");
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "a=5 b\n");
    EXPECT_EQ(std::fgets(line, sizeof line, f), nullptr);
    std::fclose(f);

    EXPECT_EQ(VXR_FileOpen(&inst, nullptr, "r", 0), 0);
    host.sim()->pFileOpen = nullptr;
    EXPECT_EQ(VXR_FileOpen(&inst, name.c_str(), "r", 0), 0);
}

TEST_F(Files, ScanStopsAtTheFirstFailure) {
    const int fd = VXR_FileOpen(&inst, temp("12 abc 7").c_str(), "r", 0);
    int fail = 0, a = 0, b = 0, c = 0;
    int count = VXR_scanSingle(fd, &inst, "%d", &a, &fail);
    count += VXR_scanSingle(fd, &inst, "%d", &b, &fail);
    count += VXR_scanSingle(fd, &inst, "%d", &c, &fail);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(fail, 1);
    EXPECT_EQ(host.count(Call::FileScanf), 2u);  // the third was not attempted
}

TEST_F(Files, FgetsReadsOneLineWithoutItsNewline) {
    const std::string longLine(25000, 'q');
    const int fd = VXR_FileOpen(&inst, temp("abc\n" + longLine + "\nz").c_str(), "r", 0);
    char* s = nullptr;
    EXPECT_EQ(VXR_fgets(&inst, &s, fd), 3);
    EXPECT_STREQ(s, "abc");
    VXR_free(s);
    // A line longer than the buffer comes in two pieces, nothing lost.
    EXPECT_EQ(VXR_fgets(&inst, &s, fd), VXR_TEXT_BUFSIZE - 1);
    const size_t first = std::strlen(s);
    VXR_free(s);
    EXPECT_EQ(VXR_fgets(&inst, &s, fd), static_cast<int>(longLine.size() - first));
    VXR_free(s);
    EXPECT_EQ(VXR_fgets(&inst, &s, fd), 1);
    EXPECT_STREQ(s, "z");
    VXR_free(s);
    EXPECT_EQ(VXR_fgets(&inst, &s, fd), 0);
    EXPECT_STREQ(s, "");
    VXR_free(s);
}

TEST_F(Files, Sscanf) {
    int i = 0;
    double d = 0;
    char w[8] = {};
    EXPECT_EQ(VXR_sscanf("4 2.5 ok", &inst, "%d %lf %7s", &i, &d, w), 3);
    EXPECT_EQ(i, 4);
    EXPECT_EQ(d, 2.5);
    EXPECT_STREQ(w, "ok");
    EXPECT_EQ(VXR_sscanf("x", &inst, "%d", &i), 0);
}

TEST_F(Files, ReadPositionsGoBackWriteFilesNeverMove) {
    const std::string rname = temp("1 2 3 4\n");
    const std::string wname = temp("");
    const int rfd = VXR_FileOpen(&inst, rname.c_str(), "r", 0);
    const int wfd = VXR_FileOpen(&inst, wname.c_str(), "w", 1);
#if VXR_REVISION == 187
    // 1.87 slots are filled by their owner, not by the open call.
    inst.numOfFileDescs = 2;
    inst.pFileDescs = static_cast<VXR_FileDesc**>(VXR_calloc(2, sizeof(void*), host.sim(), &inst, nullptr));
    VXR_initFileDescs(&inst);
    FILE* rf = std::fopen(rname.c_str(), "r");
    FILE* wf = std::fopen(wname.c_str(), "w");
    inst.pFileDescs[0]->pFile = rf;
    inst.pFileDescs[0]->mode = "r";
    inst.pFileDescs[1]->pFile = wf;
    inst.pFileDescs[1]->mode = "w";
    int v = 0;
    ASSERT_EQ(std::fscanf(rf, "%d", &v), 1);
    VXR_acceptFileDescs(&inst);
    EXPECT_EQ(inst.pFileDescs[0]->pos, 1);
    ASSERT_EQ(std::fscanf(rf, "%d", &v), 1);
    std::fputs("out", wf);
    VXR_positionFileDescs(&inst);
    ASSERT_EQ(seeks().size(), 1u); // the read slot, a stream the host did not open
    EXPECT_EQ(seeks()[0], std::make_pair(std::string("?"), 1L));
    EXPECT_EQ(std::ftell(rf), 1);
    EXPECT_EQ(std::ftell(wf), 3);
    std::fclose(rf);
    std::fclose(wf);
    (void)rfd;
    (void)wfd;
#else
    int fail = 0, v = 0;
    ASSERT_EQ(VXR_scanSingle(rfd, &inst, "%d", &v, &fail), 1);
    VXR_WriteFile(wfd, &inst, "out");
    VXR_acceptFileDescs(&inst);
    ASSERT_EQ(VXR_scanSingle(rfd, &inst, "%d", &v, &fail), 1);
    EXPECT_EQ(v, 2);
    VXR_positionFileDescs(&inst);
    ASSERT_EQ(seeks().size(), 1u);
    EXPECT_EQ(seeks()[0], std::make_pair(rname, 1L));
    ASSERT_EQ(VXR_scanSingle(rfd, &inst, "%d", &v, &fail), 1);
    EXPECT_EQ(v, 2);  // read again from the recorded position
    // A closed file leaves the list: it is never seeked again.
    VXR_FileClose(&inst, rfd);
    VXR_positionFileDescs(&inst);
    EXPECT_EQ(seeks().size(), 1u);
    ASSERT_NE(inst.pFileDescList, nullptr);
    EXPECT_EQ(inst.pFileDescList->fd, wfd);
    EXPECT_EQ(inst.pFileDescList->pNext, nullptr);
#endif
}

}  // namespace
