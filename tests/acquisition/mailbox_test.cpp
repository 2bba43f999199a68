#include "acquisition/mailbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "acquisition/messages.h"

namespace lx9 {
namespace {

using namespace std::chrono_literals;

TEST(MessagesTest, IdsKeepTheirNumbers) {
    EXPECT_EQ(kMsgDepthReading, 0x45Au);
    EXPECT_EQ(kMsgTestEnd, 0x45Eu);
    EXPECT_EQ(kMsgMissedPoints, 0x45Fu);
    EXPECT_EQ(kMsgStartRealTimeSave, 0x460u);
    EXPECT_EQ(kMsgFinishFiles, 0x463u);
    EXPECT_EQ(kMsgSaveProgress, 0x464u);
    EXPECT_EQ(kMsgOpenFile, 0x467u);
    EXPECT_EQ(kMsgFileOpened, 0x468u);
    EXPECT_EQ(kMsgOpenFailed, 0x469u);
    EXPECT_EQ(kMsgHeaderRead, 0x46Au);
    EXPECT_EQ(kMsgRefreshPick, 0x478u);
    EXPECT_EQ(kMsgLiftSpeed, 0x479u);
    EXPECT_EQ(kMsgProbesBack, 0x47Au);
    EXPECT_EQ(kMsgCloseFiles, 0x47Bu);
    EXPECT_EQ(kMsgAbandonTest, 0x47Cu);
    EXPECT_EQ(kMsgWriteHalfWindow, 0x47Du);
    EXPECT_EQ(kMsgReloadRecent, 0x47Eu);
    EXPECT_EQ(kMsgLastLevelStored, 0x47Fu);
    EXPECT_EQ(kMsgFrameReady, 0x480u);
    EXPECT_EQ(kMsgPointsRemoved, 0x481u);
    EXPECT_EQ(kMsgCommFailure, 0x482u);
    EXPECT_EQ(kMsgCommRestored, 0x483u);
    EXPECT_EQ(kMsgFileError, 0x484u);  // the first number after the table's
}

TEST(MailboxTest, PostedMessagesArriveInOrderWithTheirFields) {
    Mailbox box;
    box.post(1, 2, 3);
    box.post(Message{4, 5, -6, 7, "path"});
    std::vector<Message> got;
    EXPECT_EQ(box.drain([&](const Message& m) {
        got.push_back(m);
        return 0;
    }),
              2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].id, 1u);
    EXPECT_EQ(got[0].wParam, 2u);
    EXPECT_EQ(got[0].lParam, 3);
    EXPECT_EQ(got[1].lParam, -6);
    EXPECT_EQ(got[1].target, 7u);
    EXPECT_EQ(got[1].text, "path");
    EXPECT_FALSE(box.dispatchOne([](const Message&) { return 0; }, 10ms));  // nothing left
}

TEST(MailboxTest, SendReturnsAfterTheReceiverHandledIt) {
    Mailbox box;
    std::atomic<bool> handled{false};
    std::thread receiver([&] {
        box.dispatchOne(
            [&](const Message& m) {
                std::this_thread::sleep_for(30ms);
                handled = true;
                return static_cast<intptr_t>(m.wParam * 2);
            },
            5s);
    });
    intptr_t result = 0;
    EXPECT_TRUE(box.send(Message{kMsgSaveProgress, 21, 0, 0, {}}, &result));
    EXPECT_TRUE(handled);  // not before
    EXPECT_EQ(result, 42);
    receiver.join();
}

TEST(MailboxTest, SendToAnEndedThreadFailsAtOnce) {
    Mailbox box;
    box.close();
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_FALSE(box.send(kMsgHeaderRead));
    EXPECT_FALSE(box.post(kMsgHeaderRead));
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 100ms);
}

TEST(MailboxTest, AWaitingSenderIsReleasedWhenTheReceiverEnds) {
    Mailbox box;
    auto sent = std::async(std::launch::async, [&] { return box.send(kMsgSaveProgress, 1, 2); });
    while (box.pending() == 0)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(sent.wait_for(20ms), std::future_status::timeout);  // still waiting
    box.close();
    EXPECT_FALSE(sent.get());
}

TEST(MailboxTest, TheReceiverCannotWaitForItself) {
    Mailbox box;
    box.post(1);
    bool inner = true;
    box.drain([&](const Message&) {
        inner = box.send(2);  // would wait forever for its own loop
        return 0;
    });
    EXPECT_FALSE(inner);
}

TEST(MailboxTest, AThrowingHandlerStillReleasesItsSender) {
    Mailbox box;
    std::thread receiver([&] {
        EXPECT_THROW(box.dispatchOne([](const Message&) -> intptr_t { throw std::runtime_error("x"); }, 5s),
                     std::runtime_error);
    });
    EXPECT_FALSE(box.send(3));
    receiver.join();
}

TEST(MailboxTest, WakeUpRunsForEveryQueuedMessage) {
    Mailbox box;
    int wakes = 0;
    box.setWakeUp([&] { ++wakes; });
    box.post(1);
    box.post(2);
    EXPECT_EQ(wakes, 2);
}

TEST(MailboxTest, ManyPostersOneReceiverLoseNothing) {
    Mailbox box;
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                if (i % 50 == 0)
                    box.send(static_cast<uint32_t>(t), static_cast<uintptr_t>(i));
                else
                    box.post(static_cast<uint32_t>(t), static_cast<uintptr_t>(i));
            }
        });
    std::vector<int> last(kThreads, -1);
    int received = 0;
    while (received < kThreads * kEach) {
        box.dispatchOne(
            [&](const Message& m) {
                EXPECT_GT(static_cast<int>(m.wParam), last[m.id]);  // each sender's order is kept
                last[m.id] = static_cast<int>(m.wParam);
                ++received;
                return 0;
            },
            1s);
    }
    for (auto& p : posters)
        p.join();
    EXPECT_EQ(received, kThreads * kEach);
}

}  // namespace
}  // namespace lx9
