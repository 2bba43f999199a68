// The link state under faults the operating system can produce but a test cannot provoke at will:
// a socket that cannot be created and a close that reports an error. Each test has its own Link
// (the library's is one per process) with the socket calls replaced.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>

#include "link/link.h"
#include "scripted_peer.h"

namespace lx9::test {
namespace {

using namespace std::chrono_literals;

// Counters and switches for the replaced socket calls; one test at a time uses them.
struct Faults {
    int opened = 0;
    int closed = 0;
    bool failOpen = false;
    bool failClose = false;
};
Faults faults;

int faultyOpen() {
    if (faults.failOpen) return -1;
    ++faults.opened;
    return kaxil::openDatagramSocket();
}

int faultyClose(int fd) {
    ++faults.closed;
    const int r = close(fd);
    return faults.failClose ? -1 : r;
}

class LinkFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        faults = Faults{};
        peer_.useAsInstrument();
    }

    // Makes the next command fail its reply test with a stale datagram behind it, so it flushes.
    void staleBehindWrongReply(kaxil::Link& link) {
        const size_t before = peer_.requestCount();
        peer_.answer(bytes("\0R\0\0l"));
        ASSERT_EQ(link.SetLeakInfo(), 1);
        const sockaddr_in at = peer_.request(before).from;
        peer_.sendNow(at, bytes("\0R\0\0x"));
        peer_.sendNow(at, bytes("\0R\0\0x"));
        peer_.silence();
    }

    ScriptedPeer peer_;
};

TEST_F(LinkFaults, AClosedLinkSendsNothingAndFailsAtOnce) {
    kaxil::Link link({&faultyOpen, &faultyClose});
    uint16_t a = 0, b = 0, frame[8];
    _Ctrl_Code_INFO_DLL config{};
    _Ctrl_SET1_INFO_DLL r1{};
    uint8_t block[254]{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.GetFirmwareVersion(), 0);
    EXPECT_EQ(link.StartSample(), 0);
    EXPECT_EQ(link.GetSampleHeight(&a, &b), 0);
    EXPECT_EQ(link.ReadSampleData(sizeof frame, frame, &a), 0);
    EXPECT_EQ(link.Set(&config), 0);
    EXPECT_EQ(link.SetPara1(r1), 0);
    EXPECT_EQ(link.GetPara3(block, sizeof block), 0);
    EXPECT_EQ(link.SetSample(1), 0);
    EXPECT_EQ(link.GetSampleStatus(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
    EXPECT_FALSE(peer_.waitForRequests(1, 50ms));
    EXPECT_FALSE(link.isOpen());
}

TEST_F(LinkFaults, AHandshakeWithoutASocketFailsAndLeavesTheLinkClosed) {
    kaxil::Link link({&faultyOpen, &faultyClose});
    faults.failOpen = true;
    EXPECT_EQ(link.GetCommunicateStatus(), 0);
    EXPECT_FALSE(link.isOpen());
    EXPECT_FALSE(peer_.waitForRequests(1, 50ms));

    faults.failOpen = false;
    peer_.answer(bytes("R\0\0a"));
    EXPECT_EQ(link.GetCommunicateStatus(), 1);
    EXPECT_TRUE(link.isOpen());
}

TEST_F(LinkFaults, AHandshakeClosesTheOldSocketFirst) {
    {
        kaxil::Link link({&faultyOpen, &faultyClose});
        peer_.answer(bytes("R\0\0a"));
        ASSERT_EQ(link.GetCommunicateStatus(), 1);
        peer_.answer(bytes("R\0\0a"));
        ASSERT_EQ(link.GetCommunicateStatus(), 1);
        EXPECT_EQ(faults.opened, 2);
        EXPECT_EQ(faults.closed, 1);
    }
    EXPECT_EQ(faults.closed, 2) << "unloading closes the socket";
}

// A close that reports an error used to leave the closed descriptor marked valid; the link now
// moves to its new socket all the same.
TEST_F(LinkFaults, AFlushWhoseCloseFailsStillMovesToANewSocket) {
    kaxil::Link link({&faultyOpen, &faultyClose});
    peer_.answer(bytes("R\0\0a"));
    ASSERT_EQ(link.GetCommunicateStatus(), 1);
    const uint16_t oldPort = peer_.request(0).fromPort();
    staleBehindWrongReply(link);
    faults.failClose = true;
    EXPECT_EQ(link.StartSample(), 0);
    EXPECT_EQ(faults.opened, 2) << "a new socket was created";
    EXPECT_TRUE(link.isOpen());

    peer_.answer(bytes("\0R\0\0s"));
    EXPECT_EQ(link.StartSample(), 1);
    EXPECT_EQ(peer_.request(3).bytes, bytes("s\0"));
    EXPECT_NE(peer_.request(3).fromPort(), oldPort);
}

TEST_F(LinkFaults, AFlushThatCannotCreateASocketLeavesTheLinkClosedUntilTheNextHandshake) {
    kaxil::Link link({&faultyOpen, &faultyClose});
    peer_.answer(bytes("R\0\0a"));
    ASSERT_EQ(link.GetCommunicateStatus(), 1);
    staleBehindWrongReply(link);
    faults.failOpen = true;
    EXPECT_EQ(link.StartSample(), 0);
    EXPECT_FALSE(link.isOpen());
    ASSERT_TRUE(peer_.waitForRequests(3));  // a, l, s
    EXPECT_EQ(link.StartSample(), 0);
    EXPECT_FALSE(peer_.waitForRequests(4, 50ms));

    faults.failOpen = false;
    peer_.answer(bytes("R\0\0A"));
    EXPECT_EQ(link.GetCommunicateStatus(), 2);
}

}  // namespace
}  // namespace lx9::test
