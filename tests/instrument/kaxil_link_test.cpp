// KaxilLink: each method reaches the library function of the same name, arguments and results
// intact (checked by the request each one puts on the wire and the reply it gets back).
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>

#include "instrument/kaxil_link.h"
#include "scripted_peer.h"

namespace lx9 {
namespace {

using test::bytes;
using test::Bytes;

TEST(KaxilLink, EveryMethodCallsItsOwnFunction) {
    test::ScriptedPeer peer;
    peer.useAsInstrument();
    KaxilLink link;
    InstrumentLink& instrument = link;

    peer.answer(bytes("R\0\0A"));
    ASSERT_EQ(instrument.GetCommunicateStatus(), 2);

    uint16_t first = 0, second = 0, status = 0;
    std::array<uint16_t, 8> frame{};
    _Ctrl_Code_INFO_DLL config{};
    config.pulseWidth = 3;
    _Ctrl_SET1_INFO_DLL r1{};
    r1.pipeCount = 4;
    _Ctrl_SET2_INFO_DLL r2{};
    r2.channels[0].enabled = 1;
    std::array<uint8_t, 254> block{};
    _Ctrl_SET1_INFO_DLL read1{};
    _Ctrl_SET2_INFO_DLL read2{};
    std::array<uint8_t, 254> read3{};

    struct Call {
        std::function<uint8_t()> call;
        Bytes request;  // the start of the request it must send
        Bytes reply;
        uint8_t result;
    };
    const Bytes frameBytes = {0x00, 0xF0, 0x00, 0x10, 0x00, 0x20, 0x00, 0x30, 0x00, 0x40};
    const Call calls[] = {
        {[&] { return instrument.GetFirmwareVersion(); }, bytes("f\0"), bytes("\x06R\0\0f"), 6},
        {[&] { return instrument.GetBatteryQuantity(); }, bytes("b\0"), bytes("\x4BR\0\0b"), 0x4B},
        {[&] { return instrument.SetLEDStatus(1); }, bytes("m\x01"), bytes("\0R\0\0m"), 1},
        {[&] { return instrument.SetLeakInfo(); }, bytes("l\0"), bytes("\0R\0\0l"), 1},
        {[&] { return instrument.StartRecordHeight(); }, bytes("c\0"), bytes("\0R\0\0c"), 1},
        {[&] { return instrument.StartSample(); }, bytes("s\0"), bytes("\0R\0\0s"), 1},
        {[&] { return instrument.GetSampleHeight(&first, &second); }, bytes("h\0"),
         bytes("\x01\0\x02\0R\0\0h"), 1},
        {[&] { return instrument.GetHeight(300, &first, &second); }, bytes("H0\x2C\x01"),
         bytes("\x03\0\x04\0R\0\0H"), 1},
        {[&] { return instrument.ReadSampleData(sizeof frame, frame.data(), &status); }, bytes("g\0"),
         frameBytes, 1},
        {[&] { return instrument.ReadData(sizeof frame, 305, frame.data(), &status); }, bytes("G0\x31\x01"),
         frameBytes, 1},
        {[&] { return instrument.SetSample(1); }, bytes("P1\0"), bytes("\0R\0\0P"), 1},
        {[&] { return instrument.SetBegin(1); }, bytes("N1\0"), bytes("\0R\0\0N"), 1},
        {[&] { return instrument.SetEnd(0); }, bytes("E0\0"), bytes("\0R\0\0E"), 1},
        {[&] { return instrument.SetHeight(2000, 50); }, bytes("S4\0\0\xD0\x07\0\0\x32\0"), bytes("\0R\0\0S"),
         1},
        {[&] { return instrument.Set(&config); }, bytes("d\0\x3C\0"), bytes("\0R\0\0d"), 1},
        {[&] { return instrument.SetPara1(r1); }, bytes("S1\0\x44\x04"), bytes("\0R\0\0S"), 1},
        {[&] { return instrument.GetPara1(&read1); }, bytes("Q1\0"), Bytes(68, 7), 1},
        {[&] { return instrument.SetPara2(r2); }, bytes("S2\0\x7C\x01"), bytes("\0R\0\0S"), 1},
        {[&] { return instrument.GetPara2(&read2); }, bytes("Q2\0"), Bytes(5, 7), 2},
        {[&] { return instrument.SetPara3(block.data(), 254); }, bytes("S3\0\xFE"), bytes("\0R\0\0S"), 1},
        {[&] { return instrument.GetPara3(read3.data(), 254); }, bytes("Q3\0"), Bytes(254, 9), 1},
    };
    size_t index = 1;
    for (const Call& c : calls) {
        SCOPED_TRACE(std::string(c.request.begin(), c.request.begin() + 2));
        peer.answer(c.reply);
        EXPECT_EQ(c.call(), c.result);
        const Bytes sent = peer.request(index++).bytes;
        ASSERT_GE(sent.size(), c.request.size());
        EXPECT_EQ(Bytes(sent.begin(), sent.begin() + c.request.size()), c.request);
    }
    EXPECT_EQ(first, 3);
    EXPECT_EQ(second, 4);
    EXPECT_EQ(status, 0x1234);
    EXPECT_EQ(read1.pipeCount, 7);
    EXPECT_EQ(read3[253], 9);
    EXPECT_EQ(instrument.GetSampleStatus(), 1);
    EXPECT_EQ(peer.requestCount(), index) << "GetSampleStatus sends nothing";
}

}  // namespace
}  // namespace lx9
