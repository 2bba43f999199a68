// The rules of the connection dialog `CDlgLink` (仪器连接状态) that the console opens at start-up:
// it tries the handshake up to three times, advancing its bar after each failure, then shows
// either the success text with "确定" / "取消" or the failure text with "重试" / "放弃".
// Qt-free; user-interface thread only (the handshake blocks for up to three link time-outs).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/instrument_link.h"

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
    void accept();   // 确定
    void cancel();   // 取消
    Phase retry();   // 重试
    void abandon();  // 放弃

    // The dialog's result: the console's connected mark.
    bool connected() const { return connected_; }

  private:
    InstrumentLink& link_;
    Phase phase_ = Phase::Connecting;
    std::string text_{kLinkConnecting};
    int failures_ = 0;
    uint8_t answer_ = 0;
    bool connected_ = false;
};

}  // namespace lx9
