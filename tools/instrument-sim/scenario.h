// The simulated pile, instrument and operator, read from a JSON scenario file. Every field has a
// default, so an empty object (or no file at all) describes a sound 20 m pile with four pipes.
// Units are in the field names; the README lists every field.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace lx9::sim {

struct PipePosition {
    double xMm = 0.0;
    double yMm = 0.0;
};

struct Defect {
    double topM = 0.0;  // depth range below the pile head, metres
    double bottomM = 0.0;
    std::vector<std::string> sections;  // pipe pairs ("1-2", "2-4"); empty = every pair
    double velocityLossPercent = 0.0;
    double attenuationDb = 0.0;  // extra loss on top of the concrete's own
    bool noSignal = false;       // the ray carries nothing: the receiver records noise only
};

// One leg of the operator's winch plan, run in order after the start delay; when the plan is
// done the probes rise at the winch speed to the top of the test.
struct WinchMove {
    enum class Kind { Rise, Lower, Stop };
    Kind kind = Kind::Rise;
    double amount = 0.0;    // metres for Rise/Lower, seconds for Stop
    double speedMps = 0.0;  // 0: the winch speed
};

struct WinchPlan {
    double speedMps = 0.3;
    double jitterPercent = 5.0;  // the speed wanders by up to this much, in 0.1 s slices
    double startDelayS = 0.0;    // the probes wait at the start level this long after the run starts
    std::vector<WinchMove> moves;
};

struct Burst {
    double atS = 0.0;  // simulator time at which the cable is "pulled"
    double ms = 0.0;   // every request in this window is lost
};

struct FaultPlan {
    double dropPercent = 0.0;       // request lost on the way in: not executed, no reply
    double latePercent = 0.0;       // executed; reply sent after lateDelayMs
    double lateDelayMs = 1500.0;    // longer than the link's one-second data time-out
    double duplicatePercent = 0.0;  // executed; reply sent twice
    double corruptPercent = 0.0;    // executed; reply without its 'R' or 0xF marker
    double declinePercent = 0.0;    // not executed; 4-byte decline
    std::vector<Burst> bursts;
};

struct Scenario {
    // Pile and test.
    double pileLengthM = 20.0;
    double pileDiameterMm = 1000.0;
    double testHeightM = 0.0;  // travel from the start level to the top; 0 = the pile length

    // Access pipes; positions empty = evenly on a circle `pipeCoverMm` inside the pile's edge.
    int pipeCount = 4;
    std::vector<PipePosition> pipePositions;
    double pipeCoverMm = 150.0;
    double pipeOuterDiameterMm = 50.0;
    double pipeInnerDiameterMm = 42.0;
    double pipeVelocityMps = 5900.0;
    double probeDiameterMm = 30.0;
    double waterVelocityMps = 1480.0;

    // Concrete and signal.
    double concreteVelocityMps = 4000.0;
    double velocitySpreadPercent = 1.0;  // standard deviation per level and section
    double attenuationDbPerM = 6.0;
    double frequencyHz = 50000.0;
    double amplitudeMvAt1m = 5.0;  // envelope peak at the receiver input for a 1 m ray, before absorption
    double noiseMv = 0.05;         // rms at the receiver input
    std::vector<Defect> defects;

    // Instrument.
    int firmware = 5;
    double battery = 80.0;
    double batteryDrainPerHour = 6.0;
    double zeroTimeUs = 0.0;          // the instrument's own trigger-to-probe delay
    double windingDiameterMm = 73.0;  // true effective winding diameter of the depth pulley
    // Channel configuration in force until the program sends its own (`d`).
    int sampleLength = 512;
    double sampleIntervalUs = 1.0;
    int gain = 80;
    double delayUs = 100.0;
    int stepMm = 50;  // level spacing of the cache until `S4` gives the program's step

    WinchPlan winch;
    FaultPlan faults;

    double effectiveTestHeightM() const { return testHeightM > 0.0 ? testHeightM : pileLengthM; }
    // The pipe centres, from pipePositions or the circle rule.
    std::vector<PipePosition> pipeCentres() const;
};

struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses a scenario; throws ScenarioError naming the field for a wrong type, an unknown key (a
// typo would otherwise be silently ignored) or a value out of its range.
Scenario parseScenario(const std::string& json);
Scenario loadScenario(const std::string& path);

}  // namespace lx9::sim
