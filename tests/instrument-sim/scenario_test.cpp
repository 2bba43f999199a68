#include "scenario.h"

#include <gtest/gtest.h>

#include <cmath>

#include "pile_model.h"

namespace lx9::sim {
namespace {

std::string errorOf(const std::string& json) {
    try {
        parseScenario(json);
    } catch (const ScenarioError& e) {
        return e.what();
    }
    return "";
}

TEST(Scenario, EmptyObjectGivesTheDefaults) {
    const Scenario s = parseScenario("{}");
    EXPECT_EQ(s.pipeCount, 4);
    EXPECT_EQ(s.concreteVelocityMps, 4000.0);
    EXPECT_EQ(s.frequencyHz, 50000.0);
    EXPECT_EQ(s.firmware, 5);
    EXPECT_EQ(s.battery, 80.0);
    EXPECT_EQ(s.winch.speedMps, 0.3);
    EXPECT_EQ(s.effectiveTestHeightM(), 20.0);
    // Four pipes on a 350 mm circle: neighbours 350·√2 − 50 mm apart, opposite ones 700 − 50.
    const PileModel pile(s, 1);
    EXPECT_NEAR(pile.spacingMm(1, 2), 350.0 * std::sqrt(2.0) - 50.0, 1e-9);
    EXPECT_NEAR(pile.spacingMm(1, 3), 650.0, 1e-9);
    EXPECT_NEAR(pile.spacingMm(2, 4), 650.0, 1e-9);
}

TEST(Scenario, ReadsEveryGroup) {
    const Scenario s = parseScenario(R"({
        "pile": {"lengthM": 12.5, "diameterMm": 800, "testHeightM": 12},
        "pipes": {"count": 2, "positionsMm": [[0, 0], [550, 0]], "outerDiameterMm": 50,
                  "innerDiameterMm": 42, "velocityMps": 5900, "probeDiameterMm": 30, "waterVelocityMps": 1480},
        "concrete": {"velocityMps": 4200, "spreadPercent": 0, "attenuationDbPerM": 8},
        "signal": {"frequencyHz": 40000, "amplitudeMvAt1m": 3, "noiseMv": 0.01},
        "defects": [{"topM": 5, "bottomM": 5.5, "sections": ["1-2"], "velocityLossPercent": 20,
                     "attenuationDb": 12, "noSignal": false}],
        "instrument": {"firmware": 4, "battery": 60, "batteryDrainPerHour": 0, "zeroTimeUs": 2.5,
                       "windingDiameterMm": 70, "sampleLength": 1024, "sampleIntervalUs": 0.5,
                       "gain": 200, "delayUs": 50, "stepMm": 100},
        "winch": {"speedMps": 0.5, "jitterPercent": 0, "startDelayS": 2,
                  "moves": [{"riseM": 3}, {"lowerM": 0.5, "speedMps": 0.2}, {"stopS": 4}]},
        "faults": {"dropPercent": 1, "latePercent": 2, "lateDelayMs": 1200, "duplicatePercent": 3,
                   "corruptPercent": 4, "declinePercent": 5, "bursts": [{"atS": 10, "ms": 2000}]}
    })");
    EXPECT_EQ(s.pileLengthM, 12.5);
    EXPECT_EQ(s.effectiveTestHeightM(), 12.0);
    EXPECT_EQ(s.pipeCount, 2);
    EXPECT_EQ(s.pipeCentres()[1].xMm, 550.0);
    EXPECT_EQ(s.concreteVelocityMps, 4200.0);
    EXPECT_EQ(s.frequencyHz, 40000.0);
    ASSERT_EQ(s.defects.size(), 1u);
    EXPECT_EQ(s.defects[0].sections[0], "1-2");
    EXPECT_EQ(s.defects[0].velocityLossPercent, 20.0);
    EXPECT_EQ(s.firmware, 4);
    EXPECT_EQ(s.sampleLength, 1024);
    EXPECT_EQ(s.stepMm, 100);
    ASSERT_EQ(s.winch.moves.size(), 3u);
    EXPECT_EQ(s.winch.moves[1].kind, WinchMove::Kind::Lower);
    EXPECT_EQ(s.winch.moves[1].speedMps, 0.2);
    EXPECT_EQ(s.winch.moves[2].kind, WinchMove::Kind::Stop);
    EXPECT_EQ(s.faults.declinePercent, 5.0);
    ASSERT_EQ(s.faults.bursts.size(), 1u);
    EXPECT_EQ(s.faults.bursts[0].ms, 2000.0);
}

TEST(Scenario, ErrorsNameTheField) {
    EXPECT_EQ(errorOf(R"({"concrete": {"velocityMs": 4000}})"),
              "scenario: concrete.velocityMs is not a scenario field");
    EXPECT_EQ(errorOf(R"({"pipes": {"count": 6}})"), "scenario: pipes.count must lie between 2 and 5");
    EXPECT_EQ(errorOf(R"({"pipes": {"count": "4"}})"), "scenario: pipes.count must be a whole number");
    EXPECT_EQ(errorOf(R"({"winch": {"moves": [{"riseM": 1, "stopS": 2}]}})"),
              "scenario: winch.moves[0] must hold exactly one of riseM, lowerM, stopS");
    EXPECT_EQ(errorOf(R"({"defects": [{"topM": 5, "bottomM": 4}]})"),
              "scenario: defects[0] has bottomM above topM");
    EXPECT_EQ(errorOf(R"({"defects": [{"sections": ["2-1"]}]})"),
              "scenario: defects[0].sections[0] must be a pipe pair such as \"1-2\"");
    EXPECT_EQ(errorOf(R"({"pipes": {"count": 3}, "defects": [{"sections": ["1-4"]}]})"),
              "scenario: defect section 1-4 names a pipe the pile does not have");
    EXPECT_EQ(errorOf(R"({"pipes": {"positionsMm": [[0, 0], [1, 1]]}})"),
              "scenario: pipes.positionsMm must hold pipes.count positions");
    EXPECT_EQ(errorOf(R"({"faults": {"dropPercent": 60, "latePercent": 50}})"),
              "scenario: the fault percentages add up to more than 100");
    EXPECT_EQ(errorOf(R"({"instrument": {"sampleLength": 700}})"),
              "scenario: instrument.sampleLength must be 512 or 1024");
    EXPECT_EQ(errorOf("[]"), "scenario: the scenario must be an object");
    EXPECT_NE(errorOf("{").find("not valid JSON"), std::string::npos);
    EXPECT_NE(errorOf(R"({"signal": {"noiseMv": -1}})").find("signal.noiseMv must lie between"),
              std::string::npos);
}

TEST(Scenario, MissingFileIsReported) {
    EXPECT_THROW(loadScenario("/nonexistent/scenario.json"), ScenarioError);
}

}  // namespace
}  // namespace lx9::sim
