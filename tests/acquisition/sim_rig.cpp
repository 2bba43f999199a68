#include "sim_rig.h"

#include <cstdlib>
#include <string>

namespace lx9::test {

std::vector<TappedFrame> TappingLink::frames() const {
    std::lock_guard<std::mutex> g(lock_);
    return frames_;
}

void TappingLink::keep(bool cached, uint16_t key, const uint16_t* buffer, uint16_t size) {
    std::lock_guard<std::mutex> g(lock_);
    frames_.push_back(TappedFrame{cached, key, std::vector<uint16_t>(buffer, buffer + size / 2)});
}

uint8_t TappingLink::ReadSampleData(uint16_t size, uint16_t* buffer, uint16_t* status) {
    step();
    const uint8_t r = link_.ReadSampleData(size, buffer, status);
    if (r == 1) keep(false, 0, buffer, size);
    return r;
}

uint8_t TappingLink::ReadData(uint16_t size, uint16_t key, uint16_t* buffer, uint16_t* status) {
    step();
    const uint8_t r = link_.ReadData(size, key, buffer, status);
    if (r == 1) keep(true, key, buffer, size);
    return r;
}

SimRig::SimRig(sim::Scenario scenario, double tickS, uint64_t seed) : link_(clock_, tickS) {
    sim::SimulatorOptions o;
    o.bind = "127.0.0.1";
    o.port = 0;
    o.seed = seed;
    o.scenario = std::move(scenario);
    o.clock = [this] { return clock_.load(); };
    simulator_ = std::make_unique<sim::InstrumentSimulator>(o);
    simulator_->start();
    setenv("KAXIL_INSTRUMENT", ("127.0.0.1:" + std::to_string(simulator_->port())).c_str(), 1);
}

SimRig::~SimRig() {
    simulator_->stop();
}

sim::Scenario quietPile(double heightM, double speedMps, double startDelayS, int sampleLength) {
    sim::Scenario s;
    s.pileLengthM = heightM;
    s.testHeightM = heightM;
    s.noiseMv = 0.0;
    s.velocitySpreadPercent = 0.0;
    s.batteryDrainPerHour = 0.0;
    s.winch.jitterPercent = 0.0;
    s.winch.speedMps = speedMps;
    s.winch.startDelayS = startDelayS;
    s.sampleLength = sampleLength;
    return s;
}

}  // namespace lx9::test
