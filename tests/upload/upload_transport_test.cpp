#include "upload/upload_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "scripted_peer.h"

namespace lx9 {
namespace {

using namespace lx9::testing;
using namespace std::chrono_literals;

struct Console {
    std::string text;
    UploadConsoleLines sink() {
        return [this](std::string_view s) { text += s; };
    }
};

TransportOptions fast(uint16_t port) {
    TransportOptions o;
    o.port = port;
    o.retryWait = 10ms;
    o.receiveTimeout = 20ms;
    return o;
}

const std::vector<uint8_t> kPacket{'K', 'P', 'X', 12, 0, 0, 0, 12, 0, 0, 0, 'F'};

TEST(UploadTransportTest, TwoReplyBytesAcknowledgeAPacket) {
    ScriptedPeer peer({Reply::Ack, Reply::Ack});
    Console console;
    UploadTransport t(fast(peer.port()), nullptr, console.sink());
    EXPECT_EQ(t.sendPacket(kPacket), kSendAcknowledged);
    EXPECT_TRUE(t.isOpen());
    EXPECT_EQ(t.sendPacket(kPacket), kSendAcknowledged);  // the same connection
    t.close();
    const auto got = peer.packets();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], kPacket);
    EXPECT_TRUE(console.text.empty());
}

TEST(UploadTransportTest, AOneByteReplyFailsTheAttemptAndFourAttemptsFailThePacket) {
    {
        ScriptedPeer peer({Reply::OneByte, Reply::OneByte, Reply::Ack});
        UploadTransport t(fast(peer.port()), nullptr, [](std::string_view) {});
        EXPECT_EQ(t.sendPacket(kPacket), kSendAcknowledged);
        t.close();
        EXPECT_EQ(peer.packets().size(), 3u);
    }
    {
        ScriptedPeer peer({}, Reply::OneByte);
        UploadTransport t(fast(peer.port()), nullptr, [](std::string_view) {});
        EXPECT_EQ(t.sendPacket(kPacket), kSendFailed);
        t.close();
        EXPECT_EQ(peer.packets().size(), 4u);
    }
}

TEST(UploadTransportTest, FiveReceiveTimeOutsFailTheAttempt) {
    // One silent packet costs five receive time-outs, then the packet is sent again.
    ScriptedPeer peer({Reply::Silent, Reply::Ack});
    UploadTransport t(fast(peer.port()), nullptr, [](std::string_view) {});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t.sendPacket(kPacket), kSendAcknowledged);
    // Five waits of 20 ms (poll rounds each down by under a millisecond); four would be 80 ms.
    EXPECT_GT(std::chrono::steady_clock::now() - start, 4 * 20ms);
    t.close();
    EXPECT_EQ(peer.packets().size(), 2u);

    ScriptedPeer mute({}, Reply::Silent);
    UploadTransport m(fast(mute.port()), nullptr, [](std::string_view) {});
    EXPECT_EQ(m.sendPacket(kPacket), kSendFailed);
    m.close();
    EXPECT_EQ(mute.packets().size(), 4u);
}

TEST(UploadTransportTest, NoServerPrintsTheConnectFailure) {
    Console console;
    UploadTransport t(fast(closedPort()), nullptr, console.sink());
    EXPECT_EQ(t.sendPacket(kPacket), kSendFailed);
    EXPECT_FALSE(t.isOpen());
    EXPECT_EQ(console.text, "错误：连接服务器失败，程序即将关闭（回车）！");
}

TEST(UploadTransportTest, ASendToAClosedConnectionPrintsItsErrorAndRetries) {
    ScriptedPeer peer({Reply::Close});
    Console console;
    UploadTransport t(fast(peer.port()), nullptr, console.sink());
    EXPECT_EQ(t.sendPacket(kPacket), kSendFailed);
    // The first attempt reads the close; the later sends fail with the socket's error.
    EXPECT_NE(console.text.find("send() failed: "), std::string::npos);
    EXPECT_EQ(console.text.back(), '\n');
}

TEST(UploadTransportTest, ACancelEndsTheWaitBetweenAttemptsAtOnce) {
    ScriptedPeer peer({Reply::Close});
    TransportOptions o = fast(peer.port());
    o.retryWait = 5000ms;  // the real wait: the cancel must cut it short
    CancelSignal cancel;
    UploadTransport t(o, &cancel, [](std::string_view) {});
    std::thread stopper([&] {
        std::this_thread::sleep_for(150ms);
        cancel.cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t.sendPacket(kPacket), kSendCancelled);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
    EXPECT_EQ(t.sendPacket(kPacket), kSendCancelled);  // stays cancelled
}

TEST(UploadTransportTest, CancelSignalWaits) {
    CancelSignal c;
    EXPECT_TRUE(c.waitFor(5ms));
    c.cancel();
    EXPECT_FALSE(c.waitFor(5000ms));
    EXPECT_TRUE(c.cancelled());
}

}  // namespace
}  // namespace lx9
