// The input pads: where they go, and a value typed on the keypad or chosen on the picker
// reaching the field that opened it, with the refusal text and Enter/Esc of a hardware keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

#include "tests/setup/setup_fakes.h"
#include "tests/ui/modal_driver.h"
#include "ui/gui_application.h"
#include "ui/num_input_dialog.h"
#include "ui/number_text.h"
#include "ui/pad_placement.h"
#include "ui/select_dialog.h"

namespace lx9 {
namespace {

TEST(PadPlacement, KeepsThePadOnTheScreen) {
    const Rect screen{0, 0, 1024, 768};
    const Rect pad = numPadSize(1024, 768);
    ASSERT_EQ(pad, (Rect{0, 0, 307, 305}));
    struct Case {
        Rect field;
        PadPlacement how;
        Rect expected;
    } cases[] = {
        {{100, 100, 120, 44}, PadPlacement::Over, {100, 100, 307, 305}},
        {{900, 700, 120, 44}, PadPlacement::Over, {717, 463, 307, 305}},  // pulled back from both edges
        {{-20, -5, 120, 44}, PadPlacement::Over, {0, 0, 307, 305}},
        {{100, 100, 120, 44}, PadPlacement::Beside, {220, 100, 307, 305}},  // right of the field
        {{598, 10, 120, 44}, PadPlacement::Beside, {291, 10, 307, 305}},    // 718+307 > 1024: flipped left
        {{597, 10, 120, 44}, PadPlacement::Beside, {717, 10, 307, 305}},    // exactly fits on the right
        {{400, 600, 120, 44}, PadPlacement::Beside, {520, 463, 307, 305}},  // moved up
    };
    for (const auto& c : cases)
        EXPECT_EQ(placePad(c.field, pad.width, pad.height, screen, c.how), c.expected)
            << c.field.x << "," << c.field.y << (c.how == PadPlacement::Over ? " over" : " beside");
}

class PadWidgets : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { app_ = new ui::OffscreenWidgets; }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
    }

    void SetUp() override {
        window_ = std::make_unique<QWidget>();
        window_->setGeometry(0, 0, 600, 400);
        auto* layout = new QVBoxLayout(window_.get());
        field_ = new PadField(window_.get());
        field_->setValueText("20.00");
        layout->addWidget(field_);
        field_->onActivated([this] {
            ++opened_;
            const auto value = CDlg_NumInput::ask(field_, "桩长", parseFloatText(ss(field_->text())), false,
                                                  sink_, PadPlacement::Over);
            if (value) field_->setValueText(formatFixed(*value, 2));
        });
        window_->show();
        QApplication::processEvents();
    }

    static std::string ss(const QString& s) { return s.toStdString(); }

    static inline ui::OffscreenWidgets* app_ = nullptr;
    std::unique_ptr<QWidget> window_;
    PadField* field_ = nullptr;
    test::RecordingSink sink_;
    int opened_ = 0;
};

TEST_F(PadWidgets, TappedKeysReachTheFieldAndTheRefusalKeepsThePadOpen) {
    bool refusedWhileOpen = false;
    test::onNextModal([&](QWidget* pad) {
        EXPECT_EQ(pad->size(), QSize(307, 305));
        EXPECT_EQ(pad->pos(), field_->mapToGlobal(QPoint(0, 0)));  // over the field
        for (const char* key : {"负号(-)", "1", "2"})
            QTest::mouseClick(test::buttonOf(pad, QString::fromUtf8(key)), Qt::LeftButton);
        QTest::mouseClick(test::buttonOf(pad, QStringLiteral("确定")), Qt::LeftButton);
        refusedWhileOpen = pad->isVisible();
        // Clear, then digits; the tenth digit is not typed.
        QTest::mouseClick(test::buttonOf(pad, QStringLiteral("清除")), Qt::LeftButton);
        for (const char* key : {"1", "2", "3", "4", "5", "6", "7", "小数点(.)", "5", "9"})
            QTest::mouseClick(test::buttonOf(pad, QString::fromUtf8(key)), Qt::LeftButton);
        EXPECT_EQ(static_cast<CDlg_NumInput*>(pad)->text(), QStringLiteral("1234567.5"));
        QTest::mouseClick(test::buttonOf(pad, QStringLiteral("后退")), Qt::LeftButton);
        QTest::mouseClick(test::buttonOf(pad, QStringLiteral("确定")), Qt::LeftButton);
    });
    QTest::mouseClick(field_, Qt::LeftButton);
    EXPECT_TRUE(refusedWhileOpen);
    EXPECT_EQ(sink_.messages, std::vector<std::string>{"输入的数字小于0，请重新输入！"});
    EXPECT_EQ(field_->text(), QStringLiteral("1234567.00"));
}

TEST_F(PadWidgets, HardwareKeysFollowThePadRulesEnterIsOkEscIsCancel) {
    test::onNextModal([&](QWidget* pad) {
        QTest::keyClicks(pad, "7a.5");  // the letter is no key of the pad
        EXPECT_EQ(static_cast<CDlg_NumInput*>(pad)->text(), QStringLiteral("7.5"));
        QTest::keyClick(pad, Qt::Key_Return);
    });
    field_->setFocus();
    QTest::keyClick(field_, Qt::Key_Return);
    EXPECT_EQ(field_->text(), QStringLiteral("7.50"));

    test::onNextModal([&](QWidget* pad) {
        QTest::keyClicks(pad, "99");
        QTest::keyClick(pad, Qt::Key_Escape);
    });
    QTest::mouseClick(field_, Qt::LeftButton);
    EXPECT_EQ(field_->text(), QStringLiteral("7.50"));
    EXPECT_EQ(opened_, 2);

    // Focus alone never opens a pad.
    window_->setFocus();
    field_->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(opened_, 2);
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(PadWidgets, PickerReturnsTheTappedCaptionAndCancelNothing) {
    const std::vector<std::string> gains{"1",   "2",   "4",   "8",    "20",   "40",  "80",
                                         "200", "400", "800", "2000", "4000", "8000"};
    test::onNextModal([&](QWidget* picker) {
        const auto buttons = picker->findChildren<QPushButton*>();
        EXPECT_EQ(buttons.size(), 14);  // 13 gains and 取消
        for (auto* b : buttons)
            EXPECT_GE(b->height(), 40) << b->text().toStdString();
        QTest::mouseClick(test::buttonOf(picker, QStringLiteral("800")), Qt::LeftButton);
    });
    EXPECT_EQ(CDlg_Select::ask(field_, "剖面1的增益", gains, PadPlacement::Beside),
              std::optional<std::string>("800"));
    test::onNextModal([&](QWidget* picker) {
        QTest::mouseClick(test::buttonOf(picker, QStringLiteral("取消")), Qt::LeftButton);
    });
    EXPECT_EQ(CDlg_Select::ask(field_, "剖面1的增益", gains, PadPlacement::Beside), std::nullopt);
}

}  // namespace
}  // namespace lx9
