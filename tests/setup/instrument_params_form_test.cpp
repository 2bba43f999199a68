#include "setup/instrument_params_form.h"

#include <gtest/gtest.h>

#include "setup_fakes.h"

namespace lx9 {
namespace {

TEST(InstrumentParamsForm, OpensWithTheRecordAndStoresOnOk) {
    CInfo current = test::defaultInfo();
    std::mutex infoLock;
    CodeConfig config;
    test::RecordingSink sink;
    current.sampleLength = 1024;
    InstrumentParamsForm form({current, infoLock}, config, sink, false);
    const InstrumentParamsControls& c = form.controls();
    EXPECT_EQ(c.sampleInterval, "1.0");
    EXPECT_EQ(c.sampleLength, "1024");
    EXPECT_EQ(c.pulseWidth, "5");
    EXPECT_EQ(c.firing, "连续发射");
    EXPECT_EQ(c.voltage, "低压");
    EXPECT_TRUE(c.sampleLengthEnabled);

    EXPECT_TRUE(form.enterSampleInterval(0.1));
    EXPECT_EQ(c.sampleInterval, "0.1");
    EXPECT_TRUE(form.enterSampleInterval(200));
    EXPECT_FALSE(form.enterSampleInterval(0.09));
    EXPECT_EQ(sink.last(), "修改失败!采样间隔不能小于0.1!");
    EXPECT_FALSE(form.enterSampleInterval(200.01));
    EXPECT_EQ(sink.last(), "修改失败!采样间隔不能大于200!");
    EXPECT_EQ(c.sampleInterval, "200.0");  // a refused value leaves the old text
    EXPECT_TRUE(form.enterSampleInterval(2.5));

    EXPECT_FALSE(form.enterPulseWidth(0.9));
    EXPECT_EQ(sink.last(), "输入无效, 请输入1到5之间的数!");
    EXPECT_FALSE(form.enterPulseWidth(5.01));
    EXPECT_EQ(c.pulseWidth, "5");
    EXPECT_TRUE(form.enterPulseWidth(1.4));
    EXPECT_EQ(c.pulseWidth, "1");

    form.chooseSampleLength("512");
    form.chooseFiring("定点发射");
    form.chooseVoltage("高压");
    EXPECT_EQ(current.sampleInterval, 1.0f);  // nothing stored before OK
    EXPECT_EQ(form.ok(), FormOutcome::Accepted);
    EXPECT_EQ(current.sampleInterval, 2.5f);
    EXPECT_EQ(current.sampleLength, 512);
    EXPECT_EQ(current.pulseWidth, 1);
    EXPECT_FALSE(current.continuousFiring);
    EXPECT_EQ(current.highVoltage, 1);
    EXPECT_EQ(config.get().sampleLength, 512);

    InstrumentParamsForm again({current, infoLock}, config, sink, false);
    EXPECT_EQ(again.controls().firing, "定点发射");
    EXPECT_EQ(again.controls().voltage, "高压");
}

TEST(InstrumentParamsForm, BufferedModeForcesTheSampleLengthEvenOnCancel) {
    CInfo current = test::defaultInfo();
    std::mutex infoLock;
    CodeConfig config;
    test::RecordingSink sink;
    current.sampleLength = 1024;
    InstrumentParamsForm form({current, infoLock}, config, sink, true);
    EXPECT_EQ(current.sampleLength, 512);
    EXPECT_EQ(form.controls().sampleLength, "512");
    EXPECT_FALSE(form.controls().sampleLengthEnabled);
    form.chooseSampleLength("1024");
    EXPECT_EQ(form.controls().sampleLength, "512");
    EXPECT_EQ(form.cancel(), FormOutcome::Cancelled);
    EXPECT_EQ(current.sampleLength, 512);
    EXPECT_EQ(sampleLengthChoices(), (std::vector<std::string>{"512", "1024"}));
}

}  // namespace
}  // namespace lx9
