// The simulator as the program sees it: every exchange through KaxilLink, that is through the
// exported functions of libkaxil.so, with the records the program builds from its test record.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "data/cinfo.h"
#include "instrument/kaxil_link.h"
#include "instrument/parameter_records.h"
#include "instrument_simulator.h"
#include "sim_test_util.h"

namespace lx9 {
namespace {

using sim::InstrumentSimulator;
using sim::Scenario;
using namespace std::chrono_literals;

constexpr uint16_t kFrameBytes = 6 * 512 * 2;

CInfo programDefaults() {
    CInfo info;
    info.resetToDefaults();
    info.siteName = "模拟工地";
    info.pileId = "7#";
    return info;
}

// A simulator on an ephemeral loopback port that the link library is pointed at.
struct Rig {
    explicit Rig(Scenario scenario, bool manualClock = true) {
        sim::SimulatorOptions o;
        o.port = 0;
        o.seed = 5;
        o.scenario = std::move(scenario);
        if (manualClock) o.clock = [this] { return clock.load(); };
        simulator = std::make_unique<InstrumentSimulator>(o);
        simulator->start();
        setenv("KAXIL_INSTRUMENT", ("127.0.0.1:" + std::to_string(simulator->port())).c_str(), 1);
    }
    std::atomic<double> clock{0.0};
    std::unique_ptr<InstrumentSimulator> simulator;
    KaxilLink link;
};

Scenario fiveMetres() {
    Scenario s = sim::test::quietScenario();
    s.testHeightM = 5.0;
    return s;
}

TEST(SimulatorThroughLink, HandshakeAnswersOneOrTwoForAHeldTest) {
    Rig rig(fiveMetres());
    EXPECT_EQ(rig.link.GetCommunicateStatus(), 1);
    EXPECT_EQ(rig.link.GetFirmwareVersion(), 5);
    EXPECT_EQ(rig.link.GetBatteryQuantity(), 80);
    EXPECT_EQ(rig.link.SetHeight(500, 50), 1);  // a cached test begins: level 0 is stored
    EXPECT_EQ(rig.link.GetCommunicateStatus(), 2);
    EXPECT_EQ(rig.link.SetEnd(0), 1);
    EXPECT_EQ(rig.link.GetCommunicateStatus(), 1);
}

TEST(SimulatorThroughLink, ParameterRecordsComeBackAsSent) {
    Rig rig(fiveMetres());
    ASSERT_EQ(rig.link.GetCommunicateStatus(), 1);
    _Ctrl_SET1_INFO_DLL read1{};
    EXPECT_EQ(rig.link.GetPara1(&read1), 2);  // nothing held yet: a 5-byte answer

    CInfo sent = programDefaults();
    sent.stepMm = 100;
    sent.startDepth = 12.5f;
    sent.sections[2].gain = 400;
    const _Ctrl_SET1_INFO_DLL r1 = fillSet1(sent);
    const _Ctrl_SET2_INFO_DLL r2 = fillSet2(sent);
    JobTextBlock block = fillJobText(sent);
    EXPECT_EQ(rig.link.SetPara1(r1), 1);
    EXPECT_EQ(rig.link.SetPara2(r2), 1);
    EXPECT_EQ(rig.link.SetPara3(block.data(), kJobTextBlockSize), 1);

    _Ctrl_SET2_INFO_DLL read2{};
    std::array<uint8_t, kJobTextBlockSize> read3{};
    EXPECT_EQ(rig.link.GetPara3(read3.data(), kJobTextBlockSize), 1);
    EXPECT_EQ(rig.link.GetPara1(&read1), 1);
    EXPECT_EQ(rig.link.GetPara2(&read2), 1);
    EXPECT_EQ(std::memcmp(&read1.pipeCount, &r1.pipeCount, sizeof r1 - 4), 0);
    EXPECT_EQ(std::memcmp(&read2.channels, &r2.channels, sizeof r2 - 4), 0);
    EXPECT_EQ(std::memcmp(read3.data() + 4, block.data() + 4, kJobTextBlockSize - 4), 0);

    CInfo restored = programDefaults();
    restored.siteName.clear();
    decodeJobText(read3.data(), read3.size(), restored);
    decodeSet1(read1, restored);
    decodeSet2(read2, restored);
    EXPECT_EQ(restored.siteName, "模拟工地");
    EXPECT_EQ(restored.pileId, "7#");
    EXPECT_EQ(restored.stepMm, 100);
    EXPECT_FLOAT_EQ(restored.startDepth, 12.5f);
    EXPECT_EQ(restored.sections[2].gain, 400);
}

TEST(SimulatorThroughLink, ModeOneRisingRun) {
    Rig rig(fiveMetres());
    CInfo info = programDefaults();
    _Ctrl_Code_INFO_DLL code = fillCodeConfig(info);
    ASSERT_EQ(rig.link.GetCommunicateStatus(), 1);
    ASSERT_EQ(rig.link.Set(&code), 1);
    ASSERT_EQ(rig.link.StartRecordHeight(), 1);
    std::vector<uint16_t> frame(kFrameBytes / 2);
    uint16_t reading = 0, speed = 0, status = 0, last = 0;
    int frames = 0;
    while (reading < 500 && frames < 200) {
        rig.clock = rig.clock + 1.0 / 6.0;  // 5 cm a cycle at 0.3 m/s
        ASSERT_EQ(rig.link.GetSampleHeight(&reading, &speed), 1);
        ASSERT_GE(reading, last);
        last = reading;
        EXPECT_EQ(speed, reading < 500 ? 30 : 0);
        ASSERT_EQ(rig.link.StartSample(), 1);
        ASSERT_EQ(rig.link.GetSampleStatus(), 1);
        ASSERT_EQ(rig.link.ReadSampleData(kFrameBytes, frame.data(), &status), 1);
        ASSERT_EQ(status, sim::kStatusLive);
        ++frames;
    }
    EXPECT_EQ(reading, 500);
    EXPECT_EQ(frames, 100);
    // Every pair of the four channels, each in its slot. Pair 1-2 lies 350·√2 − 50 mm apart:
    // its wave starts (spacing / 4 000 m/s + pipes and water − 100 µs delay) into the slot, and the
    // library's clearing of words 0-4 leaves those samples on the zero line.
    const double arrival = (350.0 * std::sqrt(2.0) - 50.0) / 4.0 + 2.0 * (4.0 / 5.9 + 6.0 / 1.48) - 100.0;
    for (int i = 0; i < static_cast<int>(arrival); ++i)
        ASSERT_EQ(frame[i], 2048) << i;
    for (int k = 0; k < 6; ++k) {
        int moved = 0;
        for (int i = 0; i < 512; ++i)
            moved += frame[k * 512 + i] != 2048;
        EXPECT_GT(moved, 100) << "slot " << k;
    }
}

TEST(SimulatorThroughLink, ModeTwoRunFromTheCacheAndItsRecovery) {
    Rig rig(fiveMetres());
    CInfo info = programDefaults();
    info.startDepth = 5.0f;
    JobTextBlock block = fillJobText(info);
    _Ctrl_Code_INFO_DLL code = fillCodeConfig(info);
    ASSERT_EQ(rig.link.GetCommunicateStatus(), 1);
    ASSERT_EQ(rig.link.StartRecordHeight(), 1);
    ASSERT_EQ(rig.link.SetPara1(fillSet1(info)), 1);
    ASSERT_EQ(rig.link.SetPara2(fillSet2(info)), 1);
    ASSERT_EQ(rig.link.SetPara3(block.data(), kJobTextBlockSize), 1);
    ASSERT_EQ(rig.link.SetHeight(500, 50), 1);
    ASSERT_EQ(rig.link.Set(&code), 1);

    // The worker's way: ask for the expected level; once the reading has reached it, read it.
    std::vector<uint16_t> frame(kFrameBytes / 2);
    uint16_t expected = 0, reading = 0, speed = 0, status = 0;
    int levels = 0;
    auto follow = [&](uint16_t until) {
        for (int cycle = 0; cycle < 2000 && expected <= until; ++cycle) {
            rig.clock = rig.clock + 0.05;
            ASSERT_EQ(rig.link.GetHeight(expected, &reading, &speed), 1);
            if (reading < expected) continue;
            ASSERT_EQ(reading, expected);
            ASSERT_EQ(rig.link.ReadData(kFrameBytes, expected, frame.data(), &status), 1);
            ASSERT_EQ(status, sim::kStatusCached);
            ++levels;
            expected += 5;
        }
    };
    follow(250);
    EXPECT_EQ(levels, 51);

    // The program restarts: it finds the held test, reads the records back and takes it up.
    KaxilLink again;
    EXPECT_EQ(again.GetCommunicateStatus(), 2);
    _Ctrl_SET1_INFO_DLL r1{};
    EXPECT_EQ(again.GetPara1(&r1), 1);
    CInfo restored;
    restored.resetToDefaults();
    decodeSet1(r1, restored);
    EXPECT_FLOAT_EQ(restored.startDepth, 5.0f);
    EXPECT_EQ(again.StartRecordHeight(), 1);
    EXPECT_EQ(again.SetHeight(static_cast<int32_t>(restored.startDepth * 100), restored.stepMm), 1);
    EXPECT_EQ(again.SetSample(1), 1);
    follow(500);
    EXPECT_EQ(levels, 101);
    EXPECT_EQ(rig.link.SetEnd(0), 1);
    EXPECT_EQ(rig.link.GetCommunicateStatus(), 1);
}

TEST(SimulatorThroughLink, LoweredProbesReadLowerAndLoseTheirLevels) {
    Scenario s = fiveMetres();
    s.winch.moves = {{sim::WinchMove::Kind::Rise, 1.0, 0.0}, {sim::WinchMove::Kind::Lower, 0.3, 0.0}};
    Rig rig(s);
    ASSERT_EQ(rig.link.GetCommunicateStatus(), 1);
    ASSERT_EQ(rig.link.SetHeight(500, 50), 1);
    uint16_t reading = 0, speed = 0;
    const double top = 1.0 / 0.3;
    const std::pair<double, uint16_t> path[] = {
        {top, 100}, {top + 0.5, 85}, {top + 1.0, 70}, {top + 2.0, 100}};
    for (const auto& [t, cm] : path) {
        rig.clock = t;
        ASSERT_EQ(rig.link.GetSampleHeight(&reading, &speed), 1);
        EXPECT_EQ(reading, cm) << t;
        EXPECT_EQ(speed, 30);
        if (t == top + 1.0) {
            // Level 100 cm was erased on the way down: asking for it gives the live reading.
            ASSERT_EQ(rig.link.GetHeight(100, &reading, &speed), 1);
            EXPECT_EQ(reading, 70);
        }
    }
    ASSERT_EQ(rig.link.GetHeight(100, &reading, &speed), 1);
    EXPECT_EQ(reading, 100);
}

TEST(SimulatorThroughLink, SlotsOfOneTransmitterToTheOthers) {
    Rig rig(fiveMetres());
    CInfo info = programDefaults();
    info.pairwiseMode = false;
    info.channels[0].role = "接收1";
    info.channels[1].role = "发射";
    _Ctrl_Code_INFO_DLL code = fillCodeConfig(info);
    ASSERT_EQ(rig.link.GetCommunicateStatus(), 1);
    ASSERT_EQ(rig.link.Set(&code), 1);
    ASSERT_EQ(rig.link.StartSample(), 1);
    std::vector<uint16_t> frame(kFrameBytes / 2);
    uint16_t status = 0;
    ASSERT_EQ(rig.link.ReadSampleData(kFrameBytes, frame.data(), &status), 1);
    for (int k = 0; k < 6; ++k) {
        int moved = 0;
        for (int i = 0; i < 512; ++i)
            moved += frame[k * 512 + i] != 2048;
        // Channel 2 fires: pairs 1-2, 2-3 and 2-4 (slots 0, 3, 4); the other slots stay empty.
        EXPECT_EQ(moved > 0, k == 0 || k == 3 || k == 4) << "slot " << k;
    }
}

TEST(SimulatorThroughLink, DroppedAndLateRepliesFailTheirExchange) {
    Scenario s = fiveMetres();
    s.faults.dropPercent = 10;
    s.faults.latePercent = 10;
    s.faults.lateDelayMs = 600;  // past the 500 ms command time-out
    Rig rig(s, false);
    int failures = 0;
    const int n = 40;
    // The handshake opens a fresh socket every time, so a late reply never reaches a later one.
    for (int i = 0; i < n; ++i)
        failures += rig.link.GetCommunicateStatus() == 0;
    const auto st = rig.simulator->stats();
    EXPECT_EQ(static_cast<uint64_t>(failures), st.dropped + st.late);
    // Binomial(40, 0.1) each: 4 ± 6 is three standard deviations.
    EXPECT_LE(st.dropped, 10u);
    EXPECT_LE(st.late, 10u);
    EXPECT_GT(st.dropped + st.late, 0u);
}

TEST(SimulatorThroughLink, CorruptAndDeclinedRepliesFailTheirExchange) {
    Scenario s = fiveMetres();
    Rig rig(s, false);
    ASSERT_EQ(rig.link.GetCommunicateStatus(), 1);
    rig.simulator->setFaults(sim::FaultPlan{.corruptPercent = 25, .declinePercent = 25, .bursts = {}});
    int failures = 0;
    const int n = 80;
    for (int i = 0; i < n; ++i)
        failures += rig.link.GetFirmwareVersion() == 0;
    const auto st = rig.simulator->stats();
    EXPECT_EQ(static_cast<uint64_t>(failures), st.corrupted + st.declined);
    // Binomial(80, 0.25) each: 20 ± 12.
    for (uint64_t count : {st.corrupted, st.declined}) {
        EXPECT_GE(count, 8u);
        EXPECT_LE(count, 32u);
    }
    // A declined switch gives 0 and leaves the socket alone; so does it for a time-out.
    rig.simulator->setFaults(sim::FaultPlan{.declinePercent = 100, .bursts = {}});
    EXPECT_EQ(rig.link.SetSample(1), 0);
    EXPECT_EQ(rig.link.SetHeight(500, 50), 0);
    rig.simulator->setFaults(sim::FaultPlan{});
    EXPECT_EQ(rig.link.SetSample(1), 1);
}

TEST(SimulatorThroughLink, StaleRepliesAreReadByTheNextExchange) {
    Rig rig(fiveMetres(), false);
    ASSERT_EQ(rig.link.GetCommunicateStatus(), 1);
    uint16_t reading = 0, speed = 0;
    // A duplicate of the firmware reply waits in the socket and spoils the next, different exchange.
    rig.simulator->setFaults(
        sim::FaultPlan{.duplicatePercent = 100, .corruptPercent = 0, .declinePercent = 0, .bursts = {}});
    EXPECT_EQ(rig.link.GetFirmwareVersion(), 5);
    rig.simulator->setFaults(sim::FaultPlan{});
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rig.link.GetSampleHeight(&reading, &speed), 0);
    EXPECT_EQ(rig.link.GetCommunicateStatus(), 1);  // a new socket: nothing stale any more
    EXPECT_EQ(rig.link.GetSampleHeight(&reading, &speed), 1);
    // A late reply misses its own exchange and is taken for the next one's, which then fails.
    rig.simulator->setFaults(sim::FaultPlan{.latePercent = 100,
                                            .lateDelayMs = 600,
                                            .duplicatePercent = 0,
                                            .corruptPercent = 0,
                                            .declinePercent = 0,
                                            .bursts = {}});
    EXPECT_EQ(rig.link.GetFirmwareVersion(), 0);
    rig.simulator->setFaults(sim::FaultPlan{});
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(rig.link.GetBatteryQuantity(), 0);
    EXPECT_EQ(rig.link.GetCommunicateStatus(), 1);
    EXPECT_EQ(rig.link.GetBatteryQuantity(), 80);
    const auto st = rig.simulator->stats();
    EXPECT_EQ(st.duplicated, 1u);
    EXPECT_EQ(st.late, 1u);
}

TEST(SimulatorThroughLink, ACablePullIsOutlastedByTheConsolesThreeTries) {
    Rig rig(fiveMetres(), false);
    ASSERT_EQ(rig.link.GetCommunicateStatus(), 1);
    rig.simulator->startBurst(800.0);
    const auto start = std::chrono::steady_clock::now();
    int tries = 1;
    while (rig.link.GetCommunicateStatus() != 1 && tries < 5)
        ++tries;
    EXPECT_EQ(tries, 3);  // two time-outs of 500 ms cover the 800 ms pull
    EXPECT_GE(std::chrono::steady_clock::now() - start, 800ms);
    EXPECT_EQ(rig.simulator->stats().burstDropped, 2u);
}

}  // namespace
}  // namespace lx9
