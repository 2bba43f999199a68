#include "instrument_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sim_test_util.h"
#include "synth_waveform.h"

namespace lx9::sim {
namespace {

using test::Bytes;
using test::text;

// Walls (50 − 42) / 2 = 4 mm at 5 900 m/s and water gaps (42 − 30) / 2 = 6 mm at 1 480 m/s, twice.
constexpr double kFixedUs = 2.0 * (4.0 / 5.9 + 6.0 / 1.48);

Scenario twoPipes() {
    Scenario s = test::quietScenario();
    s.pipeCount = 2;
    s.pipePositions = {{0.0, 0.0}, {550.0, 0.0}};  // 500 mm between the outer walls
    return s;
}

Bytes ask(InstrumentModel& m, const Bytes& request, double now) {
    auto reply = m.handle(request, now);
    EXPECT_TRUE(reply) << InstrumentModel::describe(request);
    return reply ? *reply : Bytes{};
}

// First sample of slot k that leaves the zero line, or -1.
int firstMove(const std::vector<uint16_t>& w, int k, int n) {
    for (int i = 0; i < n; ++i) {
        if ((w[k * n + i] & 0x0FFF) != 2048) return i;
    }
    return -1;
}

// The wave of slot k starts at the fractional sample index `arrival`: every sample before it is
// exactly on the zero line, and the slow onset of the wave shows within two microseconds.
void expectArrival(const std::vector<uint16_t>& w, int k, int n, double arrival, double dtUs) {
    const int first = firstMove(w, k, n);
    EXPECT_GE(first, static_cast<int>(std::ceil(arrival))) << "slot " << k;
    EXPECT_LE(first, arrival + 2.0 / dtUs) << "slot " << k;
}

int peakOf(const std::vector<uint16_t>& w, int k, int n) {
    int peak = 0;
    for (int i = 5; i < n; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(w[k * n + i]) - 2048));
    return peak;
}

std::vector<uint16_t> frame(InstrumentModel& m, const Bytes& request, double now,
                            uint16_t* status = nullptr) {
    auto w = test::words(ask(m, request, now));
    const uint16_t s = test::unpackStatus(w);
    if (status) *status = s;
    return w;
}

TEST(InstrumentModel, RepliesCarryPayloadMarkerAndEcho) {
    InstrumentModel m(twoPipes(), 1);
    EXPECT_EQ(ask(m, text("a"), 0), (Bytes{'R', 0, 0, 'a'}));
    EXPECT_EQ(ask(m, text("f"), 0), (Bytes{5, 'R', 0, 0, 'f'}));
    EXPECT_EQ(ask(m, text("b"), 0), (Bytes{80, 'R', 0, 0, 'b'}));
    for (char c : std::string("lcs"))
        EXPECT_EQ(ask(m, text(std::string(1, c)), 0), (Bytes{1, 'R', 0, 0, uint8_t(c)}));
    EXPECT_EQ(ask(m, text("h"), 0), (Bytes{0, 0, 0, 0, 'R', 0, 0, 'h'}));
    EXPECT_EQ(ask(m, Bytes{'m', 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0), (Bytes{1, 'R', 0, 0, 'm'}));
    EXPECT_EQ(m.led(), 1);
    EXPECT_EQ(m.leakSignals(), 1);
    EXPECT_EQ(ask(m, test::configPacket(512, 1.0, {1}, {{1, 2, 7, 100}}), 0), (Bytes{1, 'R', 0, 0, 'd'}));
    for (const char* cmd : {"P1", "P0", "N0", "E1"}) {
        EXPECT_EQ(ask(m, text(cmd), 0), (Bytes{1, 'R', 0, 0, uint8_t(cmd[0])})) << cmd;
    }
    EXPECT_EQ(ask(m, test::record('1', 68, 0x11), 0), (Bytes{1, 'R', 0, 0, 'S'}));
    EXPECT_EQ(ask(m, test::record('2', 124, 0x22), 0), (Bytes{1, 'R', 0, 0, 'S'}));
    EXPECT_EQ(ask(m, test::record('3', 254, 0x33), 0), (Bytes{1, 'R', 0, 0, 'S'}));
    EXPECT_EQ(ask(m, test::setHeight(2000, 50), 0), (Bytes{1, 'R', 0, 0, 'S'}));
}

TEST(InstrumentModel, IgnoresOrDeclinesWhatItCannotUse) {
    InstrumentModel m(twoPipes(), 1);
    const Bytes ignored[] = {
        {},
        {'a'},
        {'a', 0, 0},
        text("z"),
        Bytes(9, 'm'),
        text("Q4"),
        {'H', '1', 0, 0},
        {'G', '0', 0},
        test::record('1', 67, 0),
        test::record('2', 125, 0),
        [] {
            auto b = test::record('3', 254, 0);
            b[3] = 253;  // length byte disagrees with the datagram
            return b;
        }(),
        test::record('3', 600, 0),
        Bytes(11, 'S'),
        [] {
            auto d = test::configPacket(512, 1.0, {1}, {});
            d[4] = 8;  // 2048 samples
            return d;
        }(),
        Bytes(70000, 'g'),
    };
    for (const Bytes& request : ignored) {
        EXPECT_FALSE(m.handle(request, 0)) << InstrumentModel::describe(request);
    }
    const Bytes declined = {0, 'R', 0, 0};
    EXPECT_EQ(ask(m, text("P2"), 0), declined);
    EXPECT_EQ(ask(m, text("E9"), 0), declined);
    EXPECT_EQ(ask(m, test::setHeight(0, 50), 0), declined);
    EXPECT_EQ(ask(m, test::setHeight(2000, 25), 0), declined);  // not a whole number of centimetres
    EXPECT_EQ(ask(m, test::setHeight(20001, 50), 0), declined);
    EXPECT_FALSE(m.holdsTest());
    // A decline instead of executing: only for requests it would answer.
    EXPECT_EQ(m.declineFor(text("a")), declined);
    EXPECT_FALSE(m.declineFor(text("z")));
}

TEST(InstrumentModel, OldFirmwareKeepsNoCache) {
    Scenario s = twoPipes();
    s.firmware = 4;
    InstrumentModel m(s, 1);
    const Bytes declined = {0, 'R', 0, 0};
    EXPECT_EQ(ask(m, text("f"), 0), (Bytes{4, 'R', 0, 0, 'f'}));
    for (const Bytes& r : {test::record('1', 68, 0), text("Q1"), test::keyed('G', 0), test::keyed('H', 0),
                           text("P1"), test::setHeight(2000, 50)}) {
        EXPECT_EQ(ask(m, r, 0), declined) << InstrumentModel::describe(r);
    }
    EXPECT_EQ(ask(m, text("g"), 0).size(), 6u * 512 * 2);
}

TEST(InstrumentModel, FrameCarriesMarkerStatusAndOneSlotPerPair) {
    InstrumentModel m(twoPipes(), 1);
    const Bytes raw = ask(m, text("g"), 0);  // no shot yet: the instrument fires one
    ASSERT_EQ(raw.size(), 6u * 512 * 2);
    EXPECT_EQ(test::u16(raw, 0) & 0xF000, 0xF000);
    uint16_t status = 0;
    const auto w = frame(m, text("g"), 0, &status);
    EXPECT_EQ(status, kStatusLive);
    // Pair 1-2 arrives at 125 + kFixedUs µs, 100 samples of 1 µs into the window.
    expectArrival(w, 0, 512, 25.0 + kFixedUs, 1.0);
    for (int k = 1; k < 6; ++k)
        EXPECT_EQ(firstMove(w, k, 512), -1) << k;  // pipes 3 and 4 do not exist

    ask(m, test::configPacket(1024, 0.5, {1}, {{1, 2, 7, 200}}), 0);
    ask(m, text("s"), 0);
    const auto w2 = frame(m, text("g"), 0);
    ASSERT_EQ(w2.size(), 6u * 1024);
    expectArrival(w2, 0, 1024, (125.0 + kFixedUs - 100.0) / 0.5, 0.5);
}

TEST(InstrumentModel, SlotsFollowTheFiringTransmitterDelayAndGain) {
    InstrumentModel m(test::quietScenario(), 1);  // four pipes on a 350 mm circle
    const double near = 350.0 * std::sqrt(2.0) - 50.0, across = 650.0;
    // Channel 2 fires to 1, 3 and 4 with delays of 50, 80 and 100 samples; 2-3 at ten times the gain.
    ask(m, test::configPacket(512, 1.0, {2}, {{2, 1, 3, 50}, {2, 3, 7, 80}, {2, 4, 7, 100}}), 0);
    const auto w = frame(m, text("g"), 0);
    expectArrival(w, 0, 512, near / 4.0 + kFixedUs - 50.0, 1.0);
    expectArrival(w, 3, 512, near / 4.0 + kFixedUs - 80.0, 1.0);
    expectArrival(w, 4, 512, across / 4.0 + kFixedUs - 100.0, 1.0);
    for (int k : {1, 2, 5})
        EXPECT_EQ(firstMove(w, k, 512), -1) << k;
    EXPECT_NEAR(static_cast<double>(peakOf(w, 3, 512)) / peakOf(w, 0, 512), 10.0, 0.2);

    // SET2 turns channel 3 off: the pairs with channel 3 hear nothing any more.
    auto set2 = test::record('2', 124, 0);
    for (int c = 0; c < 4; ++c) {
        set2[4 + 3 * c] = c == 2 ? 0 : 1;
        set2[6 + 3 * c] = static_cast<uint8_t>(c + 1);
    }
    ask(m, set2, 0);
    ask(m, test::configPacket(512, 1.0, {1, 2, 3}, {}), 0);
    ask(m, text("s"), 0);
    const auto w2 = frame(m, text("g"), 0);
    for (int k : {0, 2, 4})
        EXPECT_NE(firstMove(w2, k, 512), -1) << k;
    for (int k : {1, 3, 5})
        EXPECT_EQ(firstMove(w2, k, 512), -1) << k;
}

TEST(InstrumentModel, TruthMatchesSpacingVelocityAndTheWaveform) {
    Scenario s = twoPipes();
    s.defects.push_back({0.0, 25.0, {"1-2"}, 10.0, 0.0, false});
    InstrumentModel m(s, 1);
    std::vector<TruthRow> rows;
    m.setTruthSink([&](const TruthRow& r) { rows.push_back(r); });
    ask(m, text("s"), 0);
    const auto w = frame(m, text("g"), 0);
    frame(m, text("g"), 0);  // the same shot read again adds no row
    ASSERT_EQ(rows.size(), 1u);
    const TruthRow& r = rows[0];
    EXPECT_EQ(r.section, "1-2");
    EXPECT_DOUBLE_EQ(r.depthM, 20.0);
    EXPECT_DOUBLE_EQ(r.spacingMm, 500.0);
    EXPECT_DOUBLE_EQ(r.velocityKms, 3.6);
    EXPECT_NEAR(r.arrivalUs, 500.0 / 3.6 + kFixedUs, 1e-9);
    EXPECT_NEAR(r.amplitudeMv, 10.0 * std::pow(10.0, -3.0 / 20.0) * waveShape().firstPeakFraction, 1e-9);
    EXPECT_TRUE(r.defect);
    expectArrival(w, 0, 512, r.arrivalUs - 100.0, 1.0);
}

TEST(InstrumentModel, DepthCounterFollowsTheWinchAndThePulley) {
    InstrumentModel m(twoPipes(), 1);
    EXPECT_EQ(ask(m, text("h"), 5.0), (Bytes{0, 0, 0, 0, 'R', 0, 0, 'h'}));  // not counting yet
    ask(m, text("c"), 10.0);
    EXPECT_EQ(ask(m, text("h"), 20.0), (Bytes{0x2C, 0x01, 30, 0, 'R', 0, 0, 'h'}));  // 300 cm at 30 cm/s
    // Told a winding diameter twice the true one, the counter reads twice the travel.
    ask(m, test::configPacket(512, 1.0, {1}, {{1, 2, 7, 100}}, 1460), 20.0);
    EXPECT_EQ(test::u16(ask(m, text("h"), 20.0), 0), 600);
    ask(m, test::configPacket(512, 1.0, {1}, {{1, 2, 7, 100}}, 730), 20.0);
    EXPECT_EQ(ask(m, text("h"), 200.0),
              (Bytes{0xD0, 0x07, 0, 0, 'R', 0, 0, 'h'}));  // 2 000 cm, at rest at the top
    ask(m, text("c"), 300.0);                              // counting starts afresh at the start level
    EXPECT_EQ(test::u16(ask(m, text("h"), 301.0), 0), 30);
}

TEST(InstrumentModel, ModeOneRisingRunToTheTop) {
    InstrumentModel m(twoPipes(), 1);
    std::vector<TruthRow> rows;
    m.setTruthSink([&](const TruthRow& r) { rows.push_back(r); });
    ask(m, text("c"), 0.0);
    int frames = 0;
    uint16_t last = 0;
    for (double t = 1.0 / 6.0; t < 80.0; t += 1.0 / 6.0) {  // 5 cm per cycle
        const uint16_t reading = test::u16(ask(m, text("h"), t), 0);
        ASSERT_GE(reading, last);
        last = reading;
        ask(m, text("s"), t);
        uint16_t status = 0;
        const auto w = frame(m, text("g"), t, &status);
        ASSERT_EQ(status, kStatusLive);
        ASSERT_NE(firstMove(w, 0, 512), -1);
        ++frames;
        if (reading == 2000) break;
    }
    EXPECT_EQ(last, 2000);
    EXPECT_EQ(frames, 400);
    ASSERT_EQ(rows.size(), 400u);
    EXPECT_NEAR(rows.front().depthM, 19.95, 1e-9);
    EXPECT_EQ(rows.back().travelCm, 2000);
    EXPECT_NEAR(rows.back().depthM, 0.0, 1e-9);
}

TEST(InstrumentModel, CacheStoresEveryLevelAndServesItByKey) {
    InstrumentModel m(twoPipes(), 1);
    EXPECT_EQ(ask(m, text("Q1"), 0), (Bytes{0, 'R', 0, 0, 'Q'}));  // nothing held: 5 bytes
    const Bytes s1 = test::record('1', 68, 0x11), s2 = test::record('2', 124, 0x22),
                s3 = test::record('3', 254, 0x33);
    ask(m, s1, 0);
    ask(m, s2, 0);
    ask(m, s3, 0);
    EXPECT_EQ(ask(m, text("Q1"), 0), s1);
    EXPECT_EQ(ask(m, text("Q2"), 0), s2);
    EXPECT_EQ(ask(m, text("Q3"), 0), s3);

    EXPECT_EQ(ask(m, text("a"), 0), (Bytes{'R', 0, 0, 'a'}));
    ask(m, test::setHeight(500, 50), 0.0);  // a 5 m test in 5 cm steps: level 0 is stored at once
    EXPECT_EQ(m.storedLevels(), 1u);
    EXPECT_EQ(ask(m, text("a"), 0.1), (Bytes{'R', 0, 0, 'A'}));
    EXPECT_EQ(ask(m, test::keyed('H', 150), 10.0), (Bytes{150, 0, 30, 0, 'R', 0, 0, 'H'}));
    EXPECT_EQ(m.storedLevels(), 61u);  // 0 .. 300 cm
    EXPECT_EQ(ask(m, test::keyed('H', 305), 10.0),
              (Bytes{0x2C, 0x01, 30, 0, 'R', 0, 0, 'H'}));  // live: 300 cm

    uint16_t status = 0;
    const Bytes stored = ask(m, test::keyed('G', 150), 10.0);
    auto w = test::words(stored);
    status = test::unpackStatus(w);
    EXPECT_EQ(status, kStatusCached);
    EXPECT_EQ(ask(m, test::keyed('G', 150), 12.0), stored);  // the same shot every time
    frame(m, test::keyed('G', 999), 12.0, &status);
    EXPECT_EQ(status, kStatusLive);

    ask(m, text("h"), 30.0);
    EXPECT_EQ(m.storedLevels(), 101u);  // the top: 0 .. 500 cm
    EXPECT_EQ(ask(m, text("E0"), 30.0), (Bytes{1, 'R', 0, 0, 'E'}));
    EXPECT_EQ(ask(m, text("a"), 30.0), (Bytes{'R', 0, 0, 'a'}));
    EXPECT_EQ(test::u16(ask(m, test::keyed('H', 150), 30.0), 0), 500);  // live again
    EXPECT_EQ(ask(m, text("Q1"), 30.0), s1);  // the parameter records outlive the test
}

TEST(InstrumentModel, TruthHasOneRowPerStoredLevel) {
    InstrumentModel m(twoPipes(), 1);
    std::vector<TruthRow> rows;
    m.setTruthSink([&](const TruthRow& r) { rows.push_back(r); });
    ask(m, test::setHeight(100, 100), 0.0);
    ask(m, text("h"), 10.0);
    ASSERT_EQ(rows.size(), 11u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].travelCm, i * 10);
        EXPECT_NEAR(rows[i].depthM, 1.0 - i * 0.1, 1e-9);
    }
}

TEST(InstrumentModel, LoweringErasesTheLevelsAboveAndRisingStoresThemAgain) {
    Scenario s = twoPipes();
    s.winch.moves = {{WinchMove::Kind::Rise, 1.0, 0.0}, {WinchMove::Kind::Lower, 0.3, 0.0}};
    InstrumentModel m(s, 1);
    ask(m, test::setHeight(500, 50), 0.0);
    const double top = 1.0 / 0.3;
    ask(m, text("h"), top);
    EXPECT_EQ(m.storedLevels(), 21u);  // 0 .. 100 cm
    // Lowered to 70 cm: the levels above are gone, and asking for one gives the live reading.
    EXPECT_EQ(ask(m, test::keyed('H', 100), top + 1.0), (Bytes{70, 0, 30, 0, 'R', 0, 0, 'H'}));
    EXPECT_EQ(m.storedLevels(), 15u);
    EXPECT_EQ(ask(m, test::keyed('H', 100), top + 2.0), (Bytes{100, 0, 30, 0, 'R', 0, 0, 'H'}));
    EXPECT_EQ(m.storedLevels(), 21u);
}

TEST(InstrumentModel, HeldTestSurvivesTheProgramsRestart) {
    InstrumentModel m(twoPipes(), 1);
    ask(m, text("c"), 0.0);
    ask(m, test::setHeight(500, 50), 0.0);
    ask(m, text("h"), 3.0);
    EXPECT_EQ(m.storedLevels(), 19u);  // 0 .. 90 cm
    // The restarted program: handshake, counting, the same start height and step, sampling on.
    EXPECT_EQ(ask(m, text("a"), 3.0)[3], 'A');
    ask(m, text("c"), 3.0);
    EXPECT_EQ(test::u16(ask(m, text("h"), 3.0), 0), 90);
    ask(m, test::setHeight(500, 50), 3.0);
    EXPECT_EQ(m.storedLevels(), 19u);
    ask(m, text("P0"), 3.0);
    ask(m, text("h"), 4.0);
    EXPECT_EQ(m.storedLevels(), 19u);  // sampling off: nothing stored
    ask(m, text("P1"), 4.0);
    ask(m, text("h"), 5.0);
    EXPECT_EQ(m.storedLevels(), 25u);  // 125 .. 150 cm
    // Another height or step is another test: the held one is dropped and counting restarts.
    ask(m, test::setHeight(500, 100), 5.0);
    EXPECT_EQ(m.storedLevels(), 1u);
    EXPECT_EQ(test::u16(ask(m, text("h"), 5.0), 0), 0);
}

TEST(InstrumentModel, BatteryFallsSlowlyAndNeverReadsZero) {
    Scenario s = twoPipes();
    s.batteryDrainPerHour = 60.0;
    s.firmware = 7;
    InstrumentModel m(s, 1);
    EXPECT_EQ(ask(m, text("b"), 0)[0], 80);
    EXPECT_EQ(ask(m, text("b"), 59.0)[0], 80);
    EXPECT_EQ(ask(m, text("b"), 60.0)[0], 79);
    EXPECT_EQ(ask(m, text("b"), 7200.0)[0], 1);
    EXPECT_EQ(ask(m, text("f"), 0)[0], 7);
}

TEST(InstrumentModel, CorruptionSpoilsTheMarkerTheLinkChecks) {
    InstrumentModel m(twoPipes(), 1);
    EXPECT_EQ(InstrumentModel::corrupt(text("a"), ask(m, text("a"), 0)), (Bytes{'r', 0, 0, 'a'}));
    EXPECT_EQ(InstrumentModel::corrupt(text("f"), ask(m, text("f"), 0)), (Bytes{5, 'r', 0, 0, 'f'}));
    // A reading of 82 cm is an 'R' among the values: the marker itself is spoiled, not the value.
    const Bytes h = {82, 0, 82, 0, 'R', 0, 0, 'h'};
    EXPECT_EQ(InstrumentModel::corrupt(text("h"), h), (Bytes{82, 0, 82, 0, 'r', 0, 0, 'h'}));
    const Bytes g = InstrumentModel::corrupt(text("g"), ask(m, text("g"), 0));
    EXPECT_EQ(test::u16(g, 0) & 0xF000, 0);
    EXPECT_EQ(InstrumentModel::corrupt(text("Q1"), {0, 'R', 0, 0, 'Q'}).size(), 7u);
    EXPECT_EQ(InstrumentModel::corrupt(text("Q1"), test::record('1', 68, 1)).size(), 7u);
}

}  // namespace
}  // namespace lx9::sim
