#include "setup/hotkey_form.h"

namespace lx9 {
namespace {

constexpr std::array<std::string_view, kHotkeyCount> kCommands = {
    "设置", "采样", "新存",   "模式",     "调整",     "固定",     "前翻",           "后翻",      "打开",
    "分析", "关闭", "移测点", "快速设置", "仪器参数", "滑轮参数", "系统校零与修正", "快捷键设置"};

}  // namespace

HotkeyForm::HotkeyForm(SharedInfo current, MessageSink& sink)
    : current_(current.record()), infoLock_(current.lock()), sink_(sink), keys_(current_.hotkeys) {}

std::string_view HotkeyForm::commandName(int pair) {
    return pair >= 0 && pair < kHotkeyCount ? kCommands[pair] : std::string_view();
}

void HotkeyForm::setHotkey(int pair, Hotkey key) {
    if (pair >= 0 && pair < kHotkeyCount) keys_[pair] = key;
}

void HotkeyForm::restoreDefaults() {
    keys_ = current_.defaultHotkeys;
}

FormOutcome HotkeyForm::ok() {
    struct Screen {
        int first, last;
        const char* where;
    };
    for (const Screen& s : {Screen{0, kConsoleHotkeys, "主界面中的 \""},
                            Screen{kConsoleHotkeys, kHotkeyCount, "设置界面中的 \""}}) {
        for (int i = s.first; i < s.last; ++i) {
            for (int j = i + 1; j < s.last; ++j) {
                if (keys_[i].key != 0 && keys_[i] == keys_[j]) {
                    sink_.showMessage(std::string(s.where) + std::string(kCommands[i]) + "\" 快捷键和 \"" +
                                      std::string(kCommands[j]) + "\" 快捷键相同，请重新输入！");
                    return FormOutcome::Open;
                }
            }
        }
    }
    {
        std::lock_guard<std::mutex> g(infoLock_);  // the worker copies the record every cycle
        current_.hotkeys = keys_;
    }
    return FormOutcome::Accepted;
}

}  // namespace lx9
