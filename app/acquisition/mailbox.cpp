#include "acquisition/mailbox.h"

#include <utility>

namespace lx9 {

Mailbox::~Mailbox() {
    close();
}

bool Mailbox::enqueue(Envelope envelope) {
    std::function<void()> wakeUp;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (closed_) return false;
        queue_.push_back(std::move(envelope));
        wakeUp = wakeUp_;
    }
    arrived_.notify_one();
    if (wakeUp) wakeUp();
    return true;
}

bool Mailbox::post(Message message) {
    return enqueue(Envelope{std::move(message), nullptr});
}

bool Mailbox::post(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    return post(Message{id, wParam, lParam, 0, {}});
}

bool Mailbox::send(Message message, intptr_t* result) {
    auto reply = std::make_shared<Reply>();
    {
        std::lock_guard<std::mutex> g(lock_);
        // The receiver waiting for itself would wait forever.
        if (receiver_ == std::this_thread::get_id()) return false;
    }
    if (!enqueue(Envelope{std::move(message), reply})) return false;
    std::unique_lock<std::mutex> g(lock_);
    handled_.wait(g, [&] { return reply->done; });
    if (reply->handled && result) *result = reply->result;
    return reply->handled;
}

bool Mailbox::send(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    return send(Message{id, wParam, lParam, 0, {}});
}

void Mailbox::handle(Envelope& envelope, const Handler& handler) {
    // A handler that throws still releases its sender (with a failure) before the exception
    // leaves the receiver.
    struct Release {
        Mailbox* box;
        Reply* reply;
        bool handled = false;
        intptr_t result = 0;
        ~Release() {
            if (!reply) return;
            {
                std::lock_guard<std::mutex> g(box->lock_);
                reply->done = true;
                reply->handled = handled;
                reply->result = result;
            }
            box->handled_.notify_all();
        }
    } release{this, envelope.reply.get()};
    intptr_t r = handler(envelope.message);
    release.handled = true;
    release.result = r;
}

bool Mailbox::dispatchOne(const Handler& handler, std::chrono::milliseconds timeout) {
    Envelope envelope;
    {
        std::unique_lock<std::mutex> g(lock_);
        receiver_ = std::this_thread::get_id();
        if (!arrived_.wait_for(g, timeout, [&] { return closed_ || !queue_.empty(); })) return false;
        if (closed_) return false;
        envelope = std::move(queue_.front());
        queue_.pop_front();
    }
    handle(envelope, handler);
    return true;
}

int Mailbox::drain(const Handler& handler) {
    int n = 0;
    for (;;) {
        Envelope envelope;
        {
            std::lock_guard<std::mutex> g(lock_);
            receiver_ = std::this_thread::get_id();
            if (closed_ || queue_.empty()) return n;
            envelope = std::move(queue_.front());
            queue_.pop_front();
        }
        handle(envelope, handler);
        ++n;
    }
}

void Mailbox::setWakeUp(std::function<void()> wakeUp) {
    std::lock_guard<std::mutex> g(lock_);
    wakeUp_ = std::move(wakeUp);
}

void Mailbox::close() {
    std::deque<Envelope> dropped;
    {
        std::lock_guard<std::mutex> g(lock_);
        closed_ = true;
        dropped.swap(queue_);
        for (auto& e : dropped)
            if (e.reply) e.reply->done = true;  // handled stays false: the sender fails
    }
    arrived_.notify_all();
    handled_.notify_all();
}

bool Mailbox::closed() const {
    std::lock_guard<std::mutex> g(lock_);
    return closed_;
}

size_t Mailbox::pending() const {
    std::lock_guard<std::mutex> g(lock_);
    return queue_.size();
}

}  // namespace lx9
