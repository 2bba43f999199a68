#include "setup/hotkey_form.h"

#include <gtest/gtest.h>

#include "setup_fakes.h"

namespace lx9 {
namespace {

TEST(HotkeyForm, EqualHotkeysOnOneScreenAreRefused) {
    CInfo current = test::defaultInfo();
    std::mutex infoLock;
    test::RecordingSink sink;
    HotkeyForm form({current, infoLock}, sink);
    // The factory table repeats Q, B, C and S, but never on one screen.
    EXPECT_EQ(form.ok(), FormOutcome::Accepted);
    EXPECT_TRUE(sink.messages.empty());

    form.setHotkey(4, Hotkey{0, 'S'});  // 调整 takes 设置's key
    EXPECT_EQ(form.ok(), FormOutcome::Open);
    EXPECT_EQ(sink.last(), "主界面中的 \"设置\" 快捷键和 \"调整\" 快捷键相同，请重新输入！");
    form.setHotkey(4, Hotkey{2, 'S'});  // Ctrl+S differs from S
    form.setHotkey(16, Hotkey{0, 'A'});
    EXPECT_EQ(form.ok(), FormOutcome::Open);
    EXPECT_EQ(sink.last(), "设置界面中的 \"仪器参数\" 快捷键和 \"快捷键设置\" 快捷键相同，请重新输入！");
    EXPECT_EQ(current.hotkeys, current.defaultHotkeys);  // nothing stored yet

    form.setHotkey(16, Hotkey{0, 0});
    form.setHotkey(15, Hotkey{0, 0});  // two pairs without a key are not a clash
    EXPECT_EQ(form.ok(), FormOutcome::Accepted);
    EXPECT_EQ(current.hotkeys[4], (Hotkey{2, 'S'}));
    form.restoreDefaults();
    EXPECT_EQ(form.hotkeys(), current.defaultHotkeys);
    EXPECT_EQ(HotkeyForm::commandName(11), "移测点");
}

}  // namespace
}  // namespace lx9
