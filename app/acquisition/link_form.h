// The rules of the connection dialog `CDlgLink` (仪器连接状态) that the console opens at start-up:
// it tries the handshake up to three times, advancing its bar after each failure, then shows
// either the success text with "确定" / "取消" or the failure text with "重试" / "放弃".
// A window runs it one try at a time (tryOnce), so that its bar moves and it repaints between
// tries; connect() runs the whole handshake at once. Qt-free; user-interface thread only (each
// try blocks for up to one link time-out).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "instrument/instrument_link.h"

namespace lx9 {

inline constexpr std::string_view kLinkCaption = "仪器连接状态";
inline constexpr std::string_view kLinkConnecting = "正在连接中，请稍等……";
inline constexpr std::string_view kLinkConnected = "已成功连接到仪器！";
inline constexpr std::string_view kLinkFailed = "仪器未连接！";

class LinkForm {
  public:
    enum class Phase { Connecting, Connected, Failed, Closed };
    static constexpr int kTries = 3;

    explicit LinkForm(InstrumentLink& link) : link_(link) {}

    // The handshake: GetCommunicateStatus up to three times until it answers. Returns the phase
    // reached (Connected or Failed).
    Phase connect();
    // One try of the handshake while connecting: Connected when it answers, Failed after the
    // third failure, else still Connecting (the bar has moved on by one). Any other phase is
    // returned unchanged without a call.
    Phase tryOnce();

    Phase phase() const { return phase_; }
    const std::string& text() const { return text_; }
    // The two buttons of the phase (empty while connecting).
    std::array<std::string, 2> buttons() const;
    int progress() const { return failures_; }  // 0..3, the bar's position
    // The handshake answered 2: the instrument holds a test that was not saved.
    bool holdsUnsavedTest() const { return answer_ == 2; }
    uint8_t answer() const { return answer_; }

    // Connected: either button closes the dialog connected. Failed: "重试" connects again,
    // "放弃" closes it not connected.
    void accept();  // 确定
    void cancel();  // 取消
    Phase retry();  // 重试: the whole handshake again
    // 重试 for a window that tries one at a time: back to connecting with an empty bar (only
    // from Failed); tryOnce() then runs the tries.
    void restart();
    void abandon();  // 放弃

    // The dialog's result: the console's connected mark.
    bool connected() const { return connected_; }

  private:
    void begin();

    InstrumentLink& link_;
    Phase phase_ = Phase::Connecting;
    std::string text_{kLinkConnecting};
    int failures_ = 0;
    uint8_t answer_ = 0;
    bool connected_ = false;
};

}  // namespace lx9
