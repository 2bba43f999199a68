// What the console window receives from the worker and the service thread: the window messages
// of the acquisition side (messages.h). The Qt console implements it over its mailbox and routes
// a message whose target names one of its dialogs (the save dialog, the opening prompt) there.
#pragma once

#include "acquisition/mailbox.h"

namespace lx9 {

class ConsoleSink {
  public:
    virtual ~ConsoleSink() = default;
    // Any thread. Queues the message for the user-interface thread; false when the console is
    // gone (the message is lost, as a posted message to a closed window is).
    virtual bool post(Message message) = 0;
    // Any thread but the user-interface thread. Returns once the message has been handled;
    // false at once when it cannot be.
    virtual bool send(Message message) = 0;

    bool post(uint32_t id, uintptr_t wParam = 0, intptr_t lParam = 0) {
        return post(Message{id, wParam, lParam, 0, {}});
    }
};

// A console whose user-interface thread drains a mailbox.
class MailboxConsoleSink : public ConsoleSink {
  public:
    explicit MailboxConsoleSink(Mailbox& box) : box_(box) {}
    using ConsoleSink::post;
    bool post(Message message) override { return box_.post(std::move(message)); }
    bool send(Message message) override { return box_.send(std::move(message)); }

  private:
    Mailbox& box_;
};

}  // namespace lx9
