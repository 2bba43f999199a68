// The simulator on a real loopback socket, talked to by a bare UDP client.
#include "instrument_simulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "sim_test_util.h"
#include "udp_client.h"

namespace lx9::sim {
namespace {

using test::Bytes;
using test::text;
using test::UdpClient;

SimulatorOptions loopback(Scenario scenario = test::quietScenario()) {
    SimulatorOptions o;
    o.bind = "127.0.0.1";
    o.port = 0;
    o.scenario = std::move(scenario);
    o.seed = 5;
    return o;
}

TEST(InstrumentSimulator, AnswersOnAnEphemeralLoopbackPort) {
    InstrumentSimulator sim(loopback());
    sim.start();
    ASSERT_NE(sim.port(), 0);
    UdpClient client;
    EXPECT_EQ(client.ask(text("a"), sim.port()), (Bytes{'R', 0, 0, 'a'}));
    const auto frame = client.ask(text("g"), sim.port());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), 6144u);
    EXPECT_FALSE(client.ask(text("zz"), sim.port(), 100));
    const SimulatorStats s = sim.stats();
    EXPECT_EQ(s.requests, 3u);
    EXPECT_EQ(s.replies, 2u);
    EXPECT_EQ(s.ignored, 1u);
    sim.stop();
    EXPECT_FALSE(client.ask(text("a"), sim.port(), 100));
}

TEST(InstrumentSimulator, ListensOnlyWhereItIsBound) {
    InstrumentSimulator sim(loopback());
    sim.start();
    UdpClient client;
    client.send(text("a"), sim.port(), "127.0.0.2");  // another loopback address, same port
    EXPECT_FALSE(client.receive(200));
    EXPECT_TRUE(client.ask(text("a"), sim.port()));
}

TEST(InstrumentSimulator, RefusesAddressesItCannotBind) {
    auto options = loopback();
    options.bind = "localhost";
    InstrumentSimulator named(options);
    try {
        named.start();
        FAIL() << "a host name was bound";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "cannot bind: \"localhost\" is not an IPv4 address");
    }
    InstrumentSimulator first(loopback());
    first.start();
    options = loopback();
    options.port = first.port();
    InstrumentSimulator second(options);
    try {
        second.start();
        FAIL() << "the port was bound twice";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot bind 127.0.0.1:" + std::to_string(first.port()) + ": Address already in use");
    }
}

TEST(InstrumentSimulator, RepliesGoToWhoeverAsked) {
    InstrumentSimulator sim(loopback());
    sim.start();
    UdpClient a, b;
    a.send(text("f"), sim.port());
    b.send(text("b"), sim.port());
    EXPECT_EQ(a.receive(1000), (Bytes{5, 'R', 0, 0, 'f'}));
    EXPECT_EQ(b.receive(1000), (Bytes{80, 'R', 0, 0, 'b'}));
}

TEST(InstrumentSimulator, EachFaultKindAtItsConfiguredRate) {
    Scenario s = test::quietScenario();
    s.faults.dropPercent = 10;
    s.faults.latePercent = 10;
    s.faults.lateDelayMs = 150;
    s.faults.duplicatePercent = 10;
    s.faults.corruptPercent = 10;
    s.faults.declinePercent = 10;
    InstrumentSimulator sim(loopback(s));
    sim.start();
    UdpClient client;
    const int n = 200;
    int dropped = 0, late = 0, duplicated = 0, corrupted = 0, declined = 0, clean = 0;
    for (int i = 0; i < n; ++i) {
        client.send(text("f"), sim.port());
        // Generous waits: a loaded machine must not turn a prompt reply into a late one.
        auto reply = client.receive(60);
        if (!reply) {
            (client.receive(250) ? late : dropped)++;
            continue;
        }
        if (client.receive(3) == reply) {
            ++duplicated;
        } else if (reply->size() == 4) {
            EXPECT_EQ(*reply, (Bytes{0, 'R', 0, 0}));
            ++declined;
        } else if ((*reply)[1] == 'r') {
            ++corrupted;
        } else {
            EXPECT_EQ(*reply, (Bytes{5, 'R', 0, 0, 'f'}));
            ++clean;
        }
    }
    // Binomial(200, 0.1): 20 ± 13 is three standard deviations.
    for (int count : {dropped, late, duplicated, corrupted, declined}) {
        EXPECT_GE(count, 7);
        EXPECT_LE(count, 33);
    }
    // What the client saw agrees with what the simulator did; a reply held up on a slow machine
    // (sanitizers) may be taken for a late one, so allow a miscount or two.
    const SimulatorStats st = sim.stats();
    EXPECT_NEAR(static_cast<double>(st.dropped), dropped, 2.0);
    EXPECT_NEAR(static_cast<double>(st.late), late, 2.0);
    EXPECT_NEAR(static_cast<double>(st.duplicated), duplicated, 2.0);
    EXPECT_EQ(st.corrupted, static_cast<uint64_t>(corrupted));
    EXPECT_EQ(st.declined, static_cast<uint64_t>(declined));
    EXPECT_EQ(dropped + late + duplicated + corrupted + declined + clean, n);
}

TEST(InstrumentSimulator, SameSeedSameFaults) {
    Scenario s = test::quietScenario();
    s.faults.dropPercent = 30;
    auto pattern = [&] {
        InstrumentSimulator sim(loopback(s));
        sim.start();
        UdpClient client;
        std::string seen;
        for (int i = 0; i < 40; ++i)
            seen += client.ask(text("b"), sim.port(), 30) ? '+' : '-';
        return seen;
    };
    const std::string first = pattern();
    EXPECT_NE(first.find('-'), std::string::npos);
    EXPECT_EQ(pattern(), first);
}

TEST(InstrumentSimulator, BurstsLoseEveryRequestInTheirWindow) {
    Scenario s = test::quietScenario();
    s.faults.bursts.push_back({10.0, 2000.0});
    std::atomic<double> clock{0.0};
    auto options = loopback(s);
    options.clock = [&] { return clock.load(); };
    InstrumentSimulator sim(options);
    sim.start();
    UdpClient client;
    EXPECT_TRUE(client.ask(text("a"), sim.port()));
    clock = 10.5;
    EXPECT_FALSE(client.ask(text("a"), sim.port(), 100));
    EXPECT_FALSE(client.ask(text("s"), sim.port(), 100));
    clock = 12.0;
    EXPECT_TRUE(client.ask(text("a"), sim.port()));
    sim.startBurst(1000.0);  // the cable pulled now
    EXPECT_FALSE(client.ask(text("a"), sim.port(), 100));
    clock = 13.5;
    EXPECT_TRUE(client.ask(text("a"), sim.port()));
    EXPECT_EQ(sim.stats().burstDropped, 3u);
}

TEST(InstrumentSimulator, StoresLevelsWhileNobodyAsks) {
    // The cache fills as the probes pass the levels, even with no request in between.
    std::atomic<double> clock{0.0};
    auto options = loopback();
    options.clock = [&] { return clock.load(); };
    InstrumentSimulator sim(options);
    sim.start();
    UdpClient client;
    EXPECT_TRUE(client.ask(test::setHeight(2000, 50), sim.port()));
    clock = 10.0;  // 300 cm
    for (int i = 0; i < 100 && sim.withModel([](InstrumentModel&m, double) { return m.storedLevels(); }) < 61;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(sim.withModel([](InstrumentModel& m, double) { return m.storedLevels(); }), 61u);
}

}  // namespace
}  // namespace lx9::sim
