// The instrument simulator on an ephemeral loopback port, reached through the link library as the
// program reaches a real instrument. The simulator's clock moves on by a fixed tick at every call
// the program makes to the instrument: a run is the same however fast the machine is, the probes
// travel the same distance per exchange, and a time-out of the link (half a second of wall time)
// costs them no more travel than a quick reply.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "instrument/instrument_link.h"
#include "instrument/kaxil_link.h"
#include "instrument_simulator.h"
#include "scenario.h"

namespace lx9::test {

// A frame the program received, as the link handed it over.
struct TappedFrame {
    bool cached = false;  // ReadData (mode two) rather than ReadSampleData
    uint16_t key = 0;
    std::vector<uint16_t> words;
};

// Forwards every call to the link library, moving the simulator's clock on first, and keeps a copy
// of every frame that was read successfully.
class TappingLink : public InstrumentLink {
  public:
    TappingLink(std::atomic<double>& clock, double tickS) : clock_(clock), tick_(tickS) {}

    std::vector<TappedFrame> frames() const;
    uint64_t calls() const { return calls_.load(); }

    uint8_t GetCommunicateStatus() override { return step(), link_.GetCommunicateStatus(); }
    uint8_t GetFirmwareVersion() override { return step(), link_.GetFirmwareVersion(); }
    uint8_t GetBatteryQuantity() override { return step(), link_.GetBatteryQuantity(); }
    uint8_t SetLEDStatus(uint8_t s) override { return step(), link_.SetLEDStatus(s); }
    uint8_t SetLeakInfo() override { return step(), link_.SetLeakInfo(); }
    uint8_t StartRecordHeight() override { return step(), link_.StartRecordHeight(); }
    uint8_t StartSample() override { return step(), link_.StartSample(); }
    uint8_t GetSampleStatus() override { return link_.GetSampleStatus(); }  // no exchange
    uint8_t GetSampleHeight(uint16_t* d, uint16_t* s) override { return step(), link_.GetSampleHeight(d, s); }
    uint8_t GetHeight(uint16_t k, uint16_t* d, uint16_t* s) override {
        return step(), link_.GetHeight(k, d, s);
    }
    uint8_t ReadSampleData(uint16_t size, uint16_t* buffer, uint16_t* status) override;
    uint8_t ReadData(uint16_t size, uint16_t key, uint16_t* buffer, uint16_t* status) override;
    uint8_t SetSample(uint8_t on) override {
        step();
        const uint8_t r = link_.SetSample(on);
        if (on == 1 && r == 1) ++sampleOn_;
        return r;
    }
    uint8_t SetBegin(uint8_t on) override { return step(), link_.SetBegin(on); }
    uint8_t SetEnd(uint8_t on) override {
        step();
        const uint8_t r = link_.SetEnd(on);
        if (on == 0 && r == 1) ++endOff_;
        return r;
    }
    // Acknowledged SetSample(1) and SetEnd(0) calls so far.
    int sampleOnCalls() const { return sampleOn_.load(); }
    int endOffCalls() const { return endOff_.load(); }
    uint8_t SetHeight(int32_t a, uint16_t b) override { return step(), link_.SetHeight(a, b); }
    uint8_t Set(_Ctrl_Code_INFO_DLL* c) override { return step(), link_.Set(c); }
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL r) override { return step(), link_.SetPara1(r); }
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL* r) override { return step(), link_.GetPara1(r); }
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL r) override { return step(), link_.SetPara2(r); }
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL* r) override { return step(), link_.GetPara2(r); }
    uint8_t SetPara3(uint8_t* b, int32_t n) override { return step(), link_.SetPara3(b, n); }
    uint8_t GetPara3(uint8_t* b, int32_t n) override { return step(), link_.GetPara3(b, n); }

  private:
    void step() {
        ++calls_;
        clock_.store(clock_.load() + tick_);
    }
    void keep(bool cached, uint16_t key, const uint16_t* buffer, uint16_t size);

    KaxilLink link_;
    std::atomic<int> sampleOn_{0}, endOff_{0};
    std::atomic<double>& clock_;
    double tick_;
    std::atomic<uint64_t> calls_{0};
    mutable std::mutex lock_;  // guards frames_
    std::vector<TappedFrame> frames_;
};

// A simulator started on 127.0.0.1 with an ephemeral port; the link library is pointed at it.
class SimRig {
  public:
    SimRig(sim::Scenario scenario, double tickS, uint64_t seed = 7);
    ~SimRig();

    sim::InstrumentSimulator& simulator() { return *simulator_; }
    TappingLink& link() { return link_; }
    double now() const { return clock_.load(); }

  private:
    std::atomic<double> clock_{0.0};
    std::unique_ptr<sim::InstrumentSimulator> simulator_;
    TappingLink link_;
};

// A quiet scenario (no noise, no spread, no jitter) of a test `heightM` high on a pile as long,
// with the winch waiting `startDelayS` at the start level and then rising at `speedMps`.
sim::Scenario quietPile(double heightM, double speedMps, double startDelayS, int sampleLength);

}  // namespace lx9::test
