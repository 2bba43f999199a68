#include "winch.h"

#include <gtest/gtest.h>

namespace lx9::sim {
namespace {

WinchPlan steady() {
    WinchPlan p;
    p.speedMps = 0.3;
    p.jitterPercent = 0.0;
    return p;
}

TEST(Winch, RestsUntilARunStartsThenRisesToTheTop) {
    WinchPlan p = steady();
    p.startDelayS = 1.0;
    Winch w(p, 1);
    w.setTopM(3.0, 0.0);
    EXPECT_EQ(w.travelM(50.0), 0.0);
    w.restart(100.0);
    EXPECT_EQ(w.travelM(100.9), 0.0);
    EXPECT_NEAR(w.travelM(106.0), 1.5, 1e-9);
    EXPECT_NEAR(w.speedMps(106.0), 0.3, 1e-9);
    EXPECT_DOUBLE_EQ(w.travelM(111.0), 3.0);
    EXPECT_DOUBLE_EQ(w.travelM(500.0), 3.0);
    EXPECT_EQ(w.speedMps(500.0), 0.0);
}

TEST(Winch, JitterIsReproducibleWhateverTheQueryTimes) {
    WinchPlan p = steady();
    p.jitterPercent = 10.0;
    Winch a(p, 9), b(p, 9);
    a.setTopM(50.0, 0.0);
    b.setTopM(50.0, 0.0);
    a.restart(0.0);
    b.restart(0.0);
    for (double t = 0.0; t < 30.0; t += 0.37)
        a.travelM(t);
    const double late = a.travelM(30.0);
    EXPECT_DOUBLE_EQ(b.travelM(30.0), late);
    EXPECT_NEAR(late, 9.0, 0.9);
    double last = 0.0;
    for (double t = 0.0; t < 30.0; t += 0.05) {
        const double now = b.travelM(t);
        EXPECT_GE(now, last);
        last = now;
    }
}

TEST(Winch, LowersStopsAndResumes) {
    WinchPlan p = steady();
    p.moves = {{WinchMove::Kind::Rise, 1.5, 0.0},
               {WinchMove::Kind::Lower, 0.3, 0.15},
               {WinchMove::Kind::Stop, 2.0, 0.0}};
    Winch w(p, 1);
    w.setTopM(10.0, 0.0);
    w.restart(0.0);
    EXPECT_NEAR(w.travelM(5.0), 1.5, 1e-9);
    EXPECT_NEAR(w.speedMps(6.0), -0.15, 1e-9);
    EXPECT_NEAR(w.travelM(6.0), 1.35, 1e-9);
    EXPECT_NEAR(w.travelM(7.0), 1.2, 1e-9);
    EXPECT_NEAR(w.travelM(8.5), 1.2, 1e-9);
    EXPECT_EQ(w.speedMps(8.5), 0.0);
    EXPECT_NEAR(w.travelM(10.0), 1.5, 1e-9);
}

TEST(Winch, NeverGoesBelowTheStartLevel) {
    WinchPlan p = steady();
    p.moves = {{WinchMove::Kind::Rise, 0.3, 0.0}, {WinchMove::Kind::Lower, 5.0, 0.0}};
    Winch w(p, 1);
    w.setTopM(10.0, 0.0);
    w.restart(0.0);
    EXPECT_NEAR(w.travelM(1.0), 0.3, 1e-9);
    EXPECT_NEAR(w.travelM(2.0), 0.0, 1e-9);  // resting at the start; the plan moves on
    EXPECT_NEAR(w.travelM(3.0), 0.3, 1e-9);
}

TEST(Winch, RaisingTheTopSendsParkedProbesOnUp) {
    Winch w(steady(), 1);
    w.setTopM(1.5, 0.0);
    w.restart(0.0);
    EXPECT_DOUBLE_EQ(w.travelM(10.0), 1.5);
    w.setTopM(3.0, 10.0);
    EXPECT_DOUBLE_EQ(w.travelM(10.0), 1.5);
    EXPECT_NEAR(w.travelM(12.0), 2.1, 1e-9);
    EXPECT_DOUBLE_EQ(w.travelM(20.0), 3.0);
}

}  // namespace
}  // namespace lx9::sim
