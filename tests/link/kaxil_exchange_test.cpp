// libkaxil.so through its exported functions, against a scripted instrument on loopback: the
// exact request bytes, how every reply is judged, when the link is flushed, the time-outs, and the
// peer address that follows whoever answered.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <array>
#include <chrono>
#include <cstring>
#include <functional>

#include "link/kaxil.h"
#include "scripted_peer.h"

namespace lx9::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class KaxilExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        peer_.useAsInstrument();
        connect();
    }

    // Handshake; remembers the link's local port.
    void connect() {
        peer_.answer(bytes("R\0\0a"));
        ASSERT_EQ(GetCommunicateStatus(), 1);
        const Request r = lastRequest();
        ASSERT_EQ(r.bytes, bytes("a\0"));
        linkAddress_ = r.from;
    }

    Request lastRequest() const {
        const size_t n = peer_.requestCount();
        return peer_.request(n == 0 ? 0 : n - 1);
    }

    uint16_t linkPort() const { return ntohs(linkAddress_.sin_port); }

    // Sends one request through `command`, answered with `reply`, and returns its bytes.
    Bytes requestOf(const std::function<uint8_t()>& command, const Bytes& reply, uint8_t expected = 1) {
        const size_t before = peer_.requestCount();
        peer_.answer(reply);
        EXPECT_EQ(command(), expected);
        return peer_.request(before).bytes;
    }

    struct Outcome {
        uint8_t result;
        bool flushed;
    };

    // Runs `command` with `reply` (and one more datagram behind it) already waiting at the link's
    // socket. A flush finds that second datagram and replaces the socket, so the next request
    // leaves from another port; without a flush the datagram is still there and the port stays.
    Outcome judged(const std::function<uint8_t()>& command, const Bytes& reply) {
        connect();
        const size_t start = peer_.requestCount();  // the handshake was answered, so it is counted
        peer_.sendNow(linkAddress_, reply);
        peer_.sendNow(linkAddress_, bytes("\0R\0\0l"));
        peer_.silence();
        const uint8_t result = command();
        peer_.answer(bytes("\0R\0\0l"));
        SetLeakInfo();
        const Request probe = peer_.request(start + 1);
        EXPECT_EQ(probe.bytes, bytes("l\0"));
        return {result, probe.fromPort() != linkPort()};
    }

    ScriptedPeer peer_{ScriptedPeer::Options{.secondAddress = true}};
    sockaddr_in linkAddress_{};
};

Bytes frameReply(std::initializer_list<uint16_t> words) {
    Bytes b;
    for (uint16_t w : words) {
        b.push_back(static_cast<uint8_t>(w & 0xFF));
        b.push_back(static_cast<uint8_t>(w >> 8));
    }
    return b;
}

TEST_F(KaxilExchange, TextAndShortRequestsCarryTheExactBytes) {
    uint16_t a = 0, b = 0;
    EXPECT_EQ(requestOf(GetFirmwareVersion, bytes("\x05R\0\0f"), 5), bytes("f\0"));
    EXPECT_EQ(requestOf(GetBatteryQuantity, bytes("\x50R\0\0b"), 0x50), bytes("b\0"));
    EXPECT_EQ(requestOf(SetLeakInfo, bytes("\0R\0\0l")), bytes("l\0"));
    EXPECT_EQ(requestOf(StartRecordHeight, bytes("\0R\0\0c")), bytes("c\0"));
    EXPECT_EQ(requestOf(StartSample, bytes("\0R\0\0s")), bytes("s\0"));
    EXPECT_EQ(requestOf([&] { return GetSampleHeight(&a, &b); }, bytes("\x01\x02\x03\x04R\0\0h")),
              bytes("h\0"));
    EXPECT_EQ(requestOf([] { return SetLEDStatus(1); }, bytes("\0R\0\0m")), bytes("m\x01\0\0\0\0\0\0\0\0"));
    EXPECT_EQ(requestOf([] { return SetLEDStatus(0); }, bytes("\0R\0\0m")), bytes("m\0\0\0\0\0\0\0\0\0"));
    EXPECT_EQ(requestOf([] { return SetSample(0); }, bytes("\0R\0\0P")), bytes("P0\0"));
    EXPECT_EQ(requestOf([] { return SetSample(1); }, bytes("\0R\0\0P")), bytes("P1\0"));
    EXPECT_EQ(requestOf([] { return SetEnd(0); }, bytes("\0R\0\0E")), bytes("E0\0"));
    EXPECT_EQ(requestOf([] { return SetEnd(1); }, bytes("\0R\0\0E")), bytes("E1\0"));
    EXPECT_EQ(requestOf([] { return SetBegin(0); }, bytes("\0R\0\0N")), bytes("N0\0"));
    EXPECT_EQ(requestOf([] { return SetBegin(1); }, bytes("\0R\0\0N")), bytes("N1\0"));
    EXPECT_EQ(requestOf([&] { return GetHeight(0x1234, &a, &b); }, bytes("\x01\x02\x03\x04R\0\0H")),
              bytes("H0\x34\x12"));
    // S4: 'S' '4', two padding bytes, value A as int32, value B as uint16, two padding bytes.
    EXPECT_EQ(requestOf([] { return SetHeight(-2, 0x0102); }, bytes("\0R\0\0S")),
              bytes("S4\0\0\xFE\xFF\xFF\xFF\x02\x01\0\0"));
    EXPECT_EQ(requestOf([] { return SetHeight(2000, 50); }, bytes("\0R\0\0S")),
              bytes("S4\0\0\xD0\x07\0\0\x32\0\0\0"));

    _Ctrl_SET1_INFO_DLL r1{};
    _Ctrl_SET2_INFO_DLL r2{};
    uint8_t r3[254]{};
    EXPECT_EQ(requestOf([&] { return GetPara1(&r1); }, Bytes(68, 1)), bytes("Q1\0"));
    EXPECT_EQ(requestOf([&] { return GetPara2(&r2); }, Bytes(124, 2)), bytes("Q2\0"));
    EXPECT_EQ(requestOf([&] { return GetPara3(r3, sizeof r3); }, Bytes(254, 3)), bytes("Q3\0"));

    uint16_t frame[8];
    uint16_t status = 0;
    EXPECT_EQ(requestOf([&] { return ReadSampleData(sizeof frame, frame, &status); }, frameReply({0xF000})),
              bytes("g\0"));
    EXPECT_EQ(requestOf([&] { return ReadData(sizeof frame, 0xBEEF, frame, &status); }, frameReply({0xF000})),
              bytes("G0\xEF\xBE"));
}

TEST_F(KaxilExchange, ParameterRecordsGetTheirHeaderInTheSentCopyOnly) {
    _Ctrl_SET1_INFO_DLL r1{};
    auto* raw1 = reinterpret_cast<uint8_t*>(&r1);
    for (size_t i = 0; i < sizeof r1; ++i)
        raw1[i] = static_cast<uint8_t>(i + 100);
    const _Ctrl_SET1_INFO_DLL before1 = r1;
    Bytes sent = requestOf([&] { return SetPara1(r1); }, bytes("\0R\0\0S"));
    ASSERT_EQ(sent.size(), 68u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 4), bytes("S1\0\x44"));
    EXPECT_EQ(Bytes(sent.begin() + 4, sent.end()), Bytes(raw1 + 4, raw1 + 68));
    EXPECT_EQ(std::memcmp(&r1, &before1, sizeof r1), 0) << "the caller's record keeps its first four bytes";

    _Ctrl_SET2_INFO_DLL r2{};
    auto* raw2 = reinterpret_cast<uint8_t*>(&r2);
    for (size_t i = 0; i < sizeof r2; ++i)
        raw2[i] = static_cast<uint8_t>(i * 3);
    sent = requestOf([&] { return SetPara2(r2); }, bytes("\0R\0\0S"));
    ASSERT_EQ(sent.size(), 124u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 4), bytes("S2\0\x7C"));
    EXPECT_EQ(Bytes(sent.begin() + 4, sent.end()), Bytes(raw2 + 4, raw2 + 124));
    EXPECT_EQ(raw2[0], 0) << "by value: the caller's record is untouched";
}

TEST_F(KaxilExchange, SetPara3WritesTheHeaderIntoTheCallersBlockWithTheLowByteOfTheLength) {
    std::array<uint8_t, 300> block{};
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(0xA0 + i % 7);
    Bytes sent = requestOf([&] { return SetPara3(block.data(), 254); }, bytes("\0R\0\0S"));
    ASSERT_EQ(sent.size(), 254u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), bytes("S3\0\xFE"));
    EXPECT_EQ(sent, Bytes(block.begin(), block.begin() + 254));

    sent = requestOf([&] { return SetPara3(block.data(), 300); }, bytes("\0R\0\0S"));
    ASSERT_EQ(sent.size(), 300u);
    EXPECT_EQ(block[3], 300 & 0xFF) << "only the low byte of the length travels";
}

// The channel configuration packet, worked out by hand from the record below.
TEST_F(KaxilExchange, SetSendsTheChannelConfigurationPacket) {
    _Ctrl_Code_INFO_DLL c{};
    c.highVoltage = 1;
    c.pulseWidth = 5;         // × 20 = 100
    c.sampleLength = 1024;    // ÷ 256 = 4
    c.stepMm = 1000;          // low byte 0xE8 only
    c.sampleInterval = 0.4f;  // 40 (units of 10 ns)
    c.cableDiameterCm = 1.0f;
    c.pulleyDiameterCm = 6.3f;  // (1.0 + 6.3) × 100 = 730
    c.groups[0].transmitter = 1;
    c.groups[0].pairs[0] = {2, {}, 100, 80, 50, 500};   // T1R2: gain 80 -> 7
    c.groups[0].pairs[1] = {3, {}, 300, 1000, 50, 60};  // T1R3: gain 1000 -> 11, largest delay
    c.groups[0].pairs[2] = {1, {}, 999, 100, 50, 500};  // receiver = transmitter: skipped
    c.groups[0].pairs[3] = {4, {}, 77, 100, 50, 500};   // fourth entry: never read
    c.groups[1].transmitter = 3;
    c.groups[1].pairs[0] = {4, {}, 20, 40000, 1000, 500};   // T3R4: 42
    c.groups[1].pairs[1] = {1, {}, 0x12345, 3, 1000, 500};  // T3R1: gain 3 not in the table -> 0
    c.groups[1].pairs[2] = {5, {}, 5000, 1, 50, 500};       // receiver 5: skipped
    c.groups[2].transmitter = 0;                            // empty group: skipped, receivers and all
    c.groups[2].pairs[0] = {2, {}, 6000, 1, 50, 500};
    // The last placed entry is T3R1 with 1000 / 500: filter code 0x10.

    std::array<uint8_t, 66> expected{};
    expected[0] = 'd';
    expected[2] = 100;
    expected[4] = 4;
    expected[6] = 0x45;  // largest delay 0x12345, low 16 bits
    expected[7] = 0x23;
    expected[8] = 3;   // 1 + two groups in use
    expected[9] = 1;   // T1 in group 1
    expected[11] = 2;  // T3 in group 2
    expected[13] = 0xE8;
    expected[16] = 40;
    expected[18] = 730 & 0xFF;
    expected[19] = 730 >> 8;
    expected[20] = 0x10;
    expected[28 + 0] = 7;   // T1R2
    expected[28 + 1] = 11;  // T1R3
    expected[28 + 8] = 42;  // T3R4
    expected[28 + 6] = 0;   // T3R1
    expected[40 + 0] = 100;
    expected[40 + 2] = 300 & 0xFF;
    expected[40 + 3] = 300 >> 8;
    expected[40 + 16] = 20;    // slot 8 = T3R4
    expected[40 + 12] = 0x45;  // slot 6 = T3R1
    expected[40 + 13] = 0x23;
    expected[64] = 1;

    const Bytes sent = requestOf([&] { return Set(&c); }, bytes("\0R\0\0d"));
    EXPECT_EQ(sent, Bytes(expected.begin(), expected.end()));
}

TEST_F(KaxilExchange, HandshakeAnswers) {
    peer_.answer(bytes("R\0\0A"));
    EXPECT_EQ(GetCommunicateStatus(), 2) << "connected, unsaved test data held";
    peer_.answer(bytes("R\0\0a"));
    EXPECT_EQ(GetCommunicateStatus(), 1);
    peer_.answer(bytes("R\0\0b"));
    EXPECT_EQ(GetCommunicateStatus(), 0);
    peer_.answer(bytes("R\0\0a\0"));
    EXPECT_EQ(GetCommunicateStatus(), 0) << "exactly four bytes";
    peer_.answer(bytes("X\0\0a"));
    EXPECT_EQ(GetCommunicateStatus(), 0);
    peer_.answer(bytes(""));
    EXPECT_EQ(GetCommunicateStatus(), 0);
    EXPECT_EQ(Reconnect(), 1) << "a handshake opens the link whatever the instrument answered";
}

TEST_F(KaxilExchange, EveryCommandReplyIsJudgedByItsOwnRule) {
    _Ctrl_Code_INFO_DLL config{};
    _Ctrl_SET1_INFO_DLL r1{};
    _Ctrl_SET2_INFO_DLL r2{};
    uint8_t block[254]{};
    uint16_t first = 0, second = 0;
    using Command = std::function<uint8_t()>;
    const Command f = GetFirmwareVersion, b = GetBatteryQuantity, l = SetLeakInfo, c = StartRecordHeight,
                  s = StartSample;
    const Command m = [] { return SetLEDStatus(1); };
    const Command d = [&] { return Set(&config); };
    const Command P = [] { return SetSample(1); }, E = [] { return SetEnd(0); },
                  N = [] { return SetBegin(1); };
    const Command S3 = [&] { return SetPara3(block, sizeof block); };
    const Command S4 = [] { return SetHeight(1500, 50); };
    const Command S1 = [&] { return SetPara1(r1); }, S2 = [&] { return SetPara2(r2); };
    const Command h = [&] { return GetSampleHeight(&first, &second); };
    const Command H = [&] { return GetHeight(1500, &first, &second); };

    struct Row {
        const char* what;
        Command command;
        Bytes reply;
        uint8_t result;
        bool flushed;
    };
    const Row rows[] = {
        {"f: 4 bytes with R", f, bytes("\x07R\0\0"), 7, false},
        {"f: echo", f, bytes("\x07R\0\0f"), 7, false},
        {"f: echo, longer reply", f, bytes("\x07R\0\0f\x55\x55\x55\x55\x55\x55\x55"), 7, false},
        {"f: wrong echo", f, bytes("\x07R\0\0b"), 0, true},
        {"f: no R", f, bytes("\x07S\0\0"), 0, true},
        {"f: 3 bytes", f, bytes("\x07R\0"), 0, true},
        {"f: empty", f, bytes(""), 0, true},
        {"b: level", b, bytes("\x5AR\0\0b"), 0x5A, false},
        {"b: level 0 looks like a failure but keeps the link", b, bytes("\0R\0\0b"), 0, false},
        {"l: 4 bytes without echo", l, bytes("\0R\0\0"), 1, false},
        {"l: echo", l, bytes("\0R\0\0l"), 1, false},
        {"l: echo of another command", l, bytes("\0R\0\0c"), 0, true},
        {"l: empty", l, bytes(""), 0, true},
        {"c: echo", c, bytes("\0R\0\0c"), 1, false},
        {"c: 4 bytes", c, bytes("\0R\0\0"), 1, false},
        {"c: empty", c, bytes(""), 0, true},
        {"s: echo", s, bytes("\0R\0\0s"), 1, false},
        {"s: R at byte 0", s, bytes("R\0\0s"), 0, true},
        {"s: empty", s, bytes(""), 0, true},
        {"m: 4 bytes", m, bytes("\0R\0\0"), 1, false},
        {"m: echo", m, bytes("\0R\0\0m"), 1, false},
        {"m: no R", m, bytes("\0Q\0\0m"), 0, true},
        {"m: empty does not flush", m, bytes(""), 0, false},
        {"d: echo", d, bytes("\0R\0\0d"), 1, false},
        {"d: 4 bytes", d, bytes("\0R\0\0"), 1, false},
        {"d: wrong echo", d, bytes("\0R\0\0D"), 0, true},
        {"d: empty", d, bytes(""), 0, true},
        {"P: echo", P, bytes("\0R\0\0P"), 1, false},
        {"P: declined", P, bytes("\0R\0\0"), 0, false},
        {"P: wrong echo", P, bytes("\0R\0\0E"), 0, true},
        {"P: 4 bytes without R", P, bytes("\0X\0\0"), 0, true},
        {"P: 3 bytes", P, bytes("\0R\0"), 0, true},
        {"P: empty does not flush", P, bytes(""), 0, false},
        {"E: echo", E, bytes("\0R\0\0E"), 1, false},
        {"E: declined", E, bytes("\0R\0\0"), 0, false},
        {"E: empty", E, bytes(""), 0, false},
        {"N: echo", N, bytes("\0R\0\0N"), 1, false},
        {"N: declined", N, bytes("\0R\0\0"), 0, false},
        {"N: wrong echo", N, bytes("\0R\0\0P"), 0, true},
        {"S3: echo", S3, bytes("\0R\0\0S"), 1, false},
        {"S3: declined", S3, bytes("\0R\0\0"), 0, false},
        {"S3: wrong echo", S3, bytes("\0R\0\0s"), 0, true},
        {"S3: empty", S3, bytes(""), 0, false},
        {"S4: echo", S4, bytes("\0R\0\0S"), 1, false},
        {"S4: declined", S4, bytes("\0R\0\0"), 0, false},
        {"S4: wrong echo", S4, bytes("\0R\0\0H"), 0, true},
        {"S1: echo", S1, bytes("\0R\0\0S"), 1, false},
        {"S1: 4 bytes", S1, bytes("\0R\0\0"), 0, false},
        {"S1: 4 bytes without R", S1, bytes("\0X\0\0"), 0, false},
        {"S1: 2 bytes", S1, bytes("\0R"), 0, false},
        {"S1: wrong echo", S1, bytes("\0R\0\0s"), 0, true},
        {"S1: empty", S1, bytes(""), 0, false},
        {"S2: echo, longer", S2, bytes("\0R\0\0S\x01\x02\x03"), 1, false},
        {"S2: no R", S2, bytes("\0r\0\0S"), 0, true},
        {"S2: 3 bytes", S2, bytes("\0R\0"), 0, false},
        {"h: 7 bytes", h, bytes("\x10\x27\x05\0R\0\0"), 1, false},
        {"h: echo", h, bytes("\x10\x27\x05\0R\0\0h"), 1, false},
        {"h: wrong echo", h, bytes("\x10\x27\x05\0R\0\0H"), 0, true},
        {"h: 6 bytes", h, bytes("\x10\x27\x05\0R\0"), 0, true},
        {"h: no R", h, bytes("\x10\x27\x05\0\0\0\0"), 0, true},
        {"h: empty does not flush", h, bytes(""), 0, false},
        {"H0: echo", H, bytes("\x10\x27\x05\0R\0\0H"), 1, false},
        {"H0: 7 bytes", H, bytes("\x10\x27\x05\0R\0\0"), 1, false},
        {"H0: echo of h", H, bytes("\x10\x27\x05\0R\0\0h"), 0, true},
        {"H0: empty", H, bytes(""), 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Outcome o = judged(row.command, row.reply);
        EXPECT_EQ(o.result, row.result);
        EXPECT_EQ(o.flushed, row.flushed);
    }
}

TEST_F(KaxilExchange, HeightRepliesFillBothOutputs) {
    uint16_t depth = 0, speed = 0;
    peer_.answer(bytes("\x10\x27\x05\0R\0\0h"));
    ASSERT_EQ(GetSampleHeight(&depth, &speed), 1);
    EXPECT_EQ(depth, 10000);
    EXPECT_EQ(speed, 5);
    peer_.answer(bytes("\xFF\xFF\x34\x12R\0\0"));
    ASSERT_EQ(GetHeight(1500, &depth, &speed), 1);
    EXPECT_EQ(depth, 0xFFFF);
    EXPECT_EQ(speed, 0x1234);
}

TEST_F(KaxilExchange, ParameterReadsReceiveIntoTheRecordAndNeverFlush) {
    struct Row {
        const char* what;
        size_t length;
        uint8_t result;
    };
    const Row rows[] = {
        {"full record", 68, 1}, {"11 bytes", 11, 1}, {"5 bytes", 5, 2}, {"10 bytes", 10, 0},
        {"6 bytes", 6, 0},      {"4 bytes", 4, 0},   {"empty", 0, 0},   {"longer than the record", 90, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        _Ctrl_SET1_INFO_DLL record;
        std::memset(&record, 0xEE, sizeof record);
        Bytes reply(row.length);
        for (size_t i = 0; i < reply.size(); ++i)
            reply[i] = static_cast<uint8_t>(i + 1);
        const Outcome o = judged([&] { return GetPara1(&record); }, reply);
        EXPECT_EQ(o.result, row.result);
        EXPECT_FALSE(o.flushed);
        const auto* raw = reinterpret_cast<const uint8_t*>(&record);
        const size_t written = std::min<size_t>(row.length, sizeof record);
        for (size_t i = 0; i < sizeof record; ++i) {
            ASSERT_EQ(raw[i], i < written ? i + 1 : 0xEE) << "byte " << i;
        }
    }
    uint8_t jobText[254];
    std::memset(jobText, 0, sizeof jobText);
    EXPECT_EQ(judged([&] { return GetPara3(jobText, 40); }, Bytes(254, 0x41)).result, 1);
    EXPECT_EQ(jobText[39], 0x41);
    EXPECT_EQ(jobText[40], 0) << "at most the caller's size is received";
}

TEST_F(KaxilExchange, DataFramesCarryAStatusWordAndAreJudgedByTheirMarker) {
    std::array<uint16_t, 8> frame{};
    uint16_t status = 0xFFFF;
    peer_.answer(frameReply({0xF123, 0xA456, 0xB789, 0xCABC, 0xDDEF, 0x1800, 0xF7FF, 0x0001}));
    ASSERT_EQ(ReadSampleData(sizeof frame, frame.data(), &status), 1);
    EXPECT_EQ(status, 0xABCD);
    EXPECT_EQ(frame,
              (std::array<uint16_t, 8>{0x0123, 0x0456, 0x0789, 0x0ABC, 0x0DEF, 0x1800, 0xF7FF, 0x0001}))
        << "only words 0-4 lose their top bits";

    // A short frame keeps the result 1, and what did not arrive reads as the zero line rather
    // than as the previous frame.
    status = 0xFFFF;
    peer_.answer(frameReply({0xF000, 0x1000, 0x2000, 0x3000, 0x4000, 0x0999}));
    ASSERT_EQ(ReadData(sizeof frame, 40, frame.data(), &status), 1);
    EXPECT_EQ(status, 0x1234);
    EXPECT_EQ(frame, (std::array<uint16_t, 8>{0, 0, 0, 0, 0, 0x0999, 2048, 2048}));

    // A frame longer than the buffer is cut to it.
    peer_.answer(frameReply({0xF000, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(ReadSampleData(sizeof frame, frame.data(), &status), 1);
    EXPECT_EQ(frame[7], 3);

    // Without the marker the frame is rejected however long it is, and the status is 0.
    status = 0xFFFF;
    Outcome o = judged([&] { return ReadSampleData(sizeof frame, frame.data(), &status); },
                       frameReply({0xE000, 0xF000, 0xF000, 0xF000, 0xF000, 1, 2, 3}));
    EXPECT_EQ(o.result, 0);
    EXPECT_TRUE(o.flushed);
    EXPECT_EQ(status, 0);
    o = judged([&] { return ReadData(sizeof frame, 7, frame.data(), &status); }, frameReply({0xF000}));
    EXPECT_EQ(o.result, 1) << "a frame with the marker but only a few bytes is accepted";
    EXPECT_FALSE(o.flushed);
    o = judged([&] { return ReadData(sizeof frame, 7, frame.data(), &status); }, bytes(""));
    EXPECT_EQ(o.result, 0);
    EXPECT_TRUE(o.flushed);
}

TEST_F(KaxilExchange, CommandsTimeOutAfterHalfASecondAndDataReadsAfterOneSecond) {
    peer_.silence();
    auto start = Clock::now();
    EXPECT_EQ(StartSample(), 0);
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(waited.count(), 495);
    EXPECT_LT(waited.count(), 900);

    uint16_t frame[16];
    uint16_t status = 7;
    peer_.silence();
    start = Clock::now();
    EXPECT_EQ(ReadSampleData(sizeof frame, frame, &status), 0);
    waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(waited.count(), 995);
    EXPECT_LT(waited.count(), 1500);

    // A time-out with nothing late in the socket leaves the link as it was.
    peer_.answer(bytes("\0R\0\0c"));
    EXPECT_EQ(StartRecordHeight(), 1);
    EXPECT_EQ(peer_.request(3).bytes, bytes("c\0"));
    EXPECT_EQ(peer_.request(3).fromPort(), linkPort());
}

TEST_F(KaxilExchange, SetSampleWithAnotherArgumentSendsNothingAndTimesOut) {
    const size_t before = peer_.requestCount();
    const auto start = Clock::now();
    EXPECT_EQ(SetSample(2), 0);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(waited.count(), 495);
    EXPECT_FALSE(peer_.waitForRequests(before + 1, 100ms));
}

TEST_F(KaxilExchange, AStaleDatagramMakesTheFlushReplaceTheSocket) {
    // Two stale replies wait at the socket; the first fails the test of `c`, the flush finds the
    // second and moves the link to a new ephemeral port, where late replies cannot follow.
    const size_t start = peer_.requestCount();
    peer_.sendNow(linkAddress_, bytes("\0R\0\0s"));
    peer_.sendNow(linkAddress_, bytes("\0R\0\0s"));
    peer_.silence();
    EXPECT_EQ(StartRecordHeight(), 0);
    peer_.answer(bytes("\0R\0\0s"));
    EXPECT_EQ(StartSample(), 1);
    const Request moved = peer_.request(start + 1);
    EXPECT_EQ(moved.bytes, bytes("s\0"));
    EXPECT_NE(moved.fromPort(), linkPort());

    // One wrong reply and nothing behind it: the flush finds nothing and the socket stays.
    peer_.sendNow(moved.from, bytes("\0R\0\0x"));
    peer_.silence();
    EXPECT_EQ(StartSample(), 0);
    peer_.answer(bytes("\0R\0\0s"));
    EXPECT_EQ(StartSample(), 1);
    EXPECT_EQ(peer_.request(start + 3).fromPort(), moved.fromPort());
}

TEST_F(KaxilExchange, ALateReplyIsReadByTheNextCommand) {
    // The hazard the flush exists for: `s` times out, its reply comes late and is taken by `l`,
    // whose own reply is then stale. `l` accepts 4 bytes without an echo.
    peer_.answer({Datagram{bytes("\0R\0\0"), 600ms}});
    EXPECT_EQ(StartSample(), 0);
    ASSERT_TRUE(peer_.waitSent());
    peer_.silence();
    EXPECT_EQ(SetLeakInfo(), 1);
}

TEST_F(KaxilExchange, RequestsFollowWhoeverAnsweredLast) {
    peer_.answer({Datagram{bytes("\x09R\0\0f"), 0ms, true}});
    EXPECT_EQ(GetFirmwareVersion(), 9) << "a reply from another host is accepted";
    size_t before = peer_.requestCount();
    peer_.answer({Datagram{bytes("\x33R\0\0b"), 0ms, true}});
    EXPECT_EQ(GetBatteryQuantity(), 0x33);
    Request r = peer_.request(before);
    EXPECT_TRUE(r.toSecond) << "the next request went to 127.0.0.2";
    EXPECT_EQ(r.fromPort(), linkPort());

    // The handshake sets the link up again, back at the configured instrument.
    before = peer_.requestCount();
    peer_.answer(bytes("R\0\0a"));
    EXPECT_EQ(GetCommunicateStatus(), 1);
    EXPECT_FALSE(peer_.request(before).toSecond);
}

TEST_F(KaxilExchange, CompatibilityExportsAndTheStatusPseudoCommand) {
    const size_t before = peer_.requestCount();
    EXPECT_EQ(GetSampleStatus(), 1);
    EXPECT_EQ(GetMachType(), 1);
    EXPECT_EQ(fnKaxil(), 42);
    EXPECT_EQ(nKaxil, 0);
    EXPECT_EQ(Reconnect(), 1);
    CKaxil a;
    CKaxil b;
    a = b;
    EXPECT_FALSE(peer_.waitForRequests(before + 1, 50ms)) << "none of them talks to the instrument";
}

}  // namespace
}  // namespace lx9::test
