// A thread's message queue: what the program's threads use instead of window and thread messages.
//
// Threading contract: any thread may post or send; exactly one thread receives (the first thread
// that dispatches becomes the receiver). A send waits until the receiver has handled the message;
// it fails at once, never blocking, when the mailbox is closed (its thread has ended), when the
// mailbox closes while the message still waits, or when the receiver sends to itself (it could
// never handle its own message while it waits). Messages are handled in the order they arrived.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace lx9 {

struct Message {
    uint32_t id = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    // The window the message is for, where a request names one (the save dialog, the opening
    // prompt); 0 is the console itself.
    uintptr_t target = 0;
    std::string text;  // a text that travels with the message: a file path, an error's reason
};

class Mailbox {
  public:
    // Handles one message; its result is what a send returns to its sender.
    using Handler = std::function<intptr_t(const Message&)>;

    Mailbox() = default;
    ~Mailbox();  // closes: pending senders are released with a failure
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    // Any thread. Queues the message; false when the mailbox is closed (the message is lost).
    bool post(Message message);
    bool post(uint32_t id, uintptr_t wParam = 0, intptr_t lParam = 0);

    // Any thread but the receiver. Returns true once the receiver has handled the message, with
    // the handler's result in *result; false at once when it cannot be handled (see above).
    bool send(Message message, intptr_t* result = nullptr);
    bool send(uint32_t id, uintptr_t wParam = 0, intptr_t lParam = 0);

    // Receiver. Waits up to `timeout` for a message and handles it; false when none came or the
    // mailbox is closed.
    bool dispatchOne(const Handler& handler, std::chrono::milliseconds timeout);
    // Receiver. Handles every message queued now, without waiting; returns how many.
    int drain(const Handler& handler);

    // Called (on the posting thread) after each message is queued: lets a receiver that runs an
    // event loop of its own schedule a drain. Set it before any message can arrive.
    void setWakeUp(std::function<void()> wakeUp);

    // The receiver ends: queued messages are dropped, waiting senders fail, later posts fail.
    void close();
    bool closed() const;
    size_t pending() const;

  private:
    struct Reply {
        bool done = false;
        bool handled = false;
        intptr_t result = 0;
    };
    struct Envelope {
        Message message;
        std::shared_ptr<Reply> reply;  // set for a send
    };

    bool enqueue(Envelope envelope);
    void handle(Envelope& envelope, const Handler& handler);

    mutable std::mutex lock_;          // guards everything below
    std::condition_variable arrived_;  // the receiver waits for messages
    std::condition_variable handled_;  // senders wait for their reply
    std::deque<Envelope> queue_;
    bool closed_ = false;
    std::thread::id receiver_;  // set by the first dispatch
    std::function<void()> wakeUp_;
};

}  // namespace lx9
