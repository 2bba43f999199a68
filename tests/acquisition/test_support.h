// Test doubles for the acquisition side: a console that records every message in order, and a
// scripted instrument whose probes follow a list of readings, one per depth read.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/acquisition_worker.h"
#include "acquisition/console_sink.h"
#include "data/cinfo.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"
#include "instrument/instrument_link.h"

namespace lx9::test {

// Records every message in arrival order. A hook, when set, runs on the sending thread for each
// message (the "operator" of a test reacting to the console's notices).
class RecordingSink : public ConsoleSink {
  public:
    using ConsoleSink::post;
    bool post(Message m) override;
    bool send(Message m) override;

    std::vector<Message> messages() const;
    std::vector<uint32_t> ids() const;
    int count(uint32_t id) const;
    // Waits until `n` messages with this id have arrived; false on time-out.
    bool waitFor(uint32_t id, int n = 1, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    void setHook(std::function<void(const Message&)> hook);
    void clear();

  private:
    mutable std::mutex lock_;  // guards messages_ and hook_
    mutable std::condition_variable arrived_;
    std::vector<Message> messages_;
    std::function<void(const Message&)> hook_;
};

// A scripted instrument. Depth reads take the next reading of the script (the last one repeats);
// every frame is distinct and kept, so a test can tell which frame went where. Calls can be made
// to fail: failNext(name, n) makes the next n calls of that method answer 0.
class ScriptedLink : public InstrumentLink {
  public:
    explicit ScriptedLink(int sampleLength = 16);

    void setReadings(std::vector<int> travelCm, uint16_t liftSpeed = 7);
    void appendReadings(const std::vector<int>& travelCm);
    void failNext(const std::string& method, int n);
    void failAlways(const std::string& method, bool on);
    void setBattery(uint8_t level);
    // Runs (on the worker thread) after every successful depth read, with the reading given.
    void setOnDepth(std::function<void(int travel)> f);

    std::vector<std::string> calls() const;
    int callCount(const std::string& method) const;
    std::vector<std::vector<uint16_t>> frames() const;  // every frame handed out, in order
    std::vector<uint16_t> heightKeys() const;           // keys of GetHeight, in order
    int readingsUsed() const;
    // The waveform of frame f, slot s, as the frame holds it.
    static uint16_t sampleOf(int frame, int slotIndex, int j) {
        return static_cast<uint16_t>(2048 + ((frame * 37 + slotIndex * 101 + j * 3) % 1500) - 700);
    }

    uint8_t GetCommunicateStatus() override { return call("GetCommunicateStatus", 1); }
    uint8_t GetFirmwareVersion() override { return call("GetFirmwareVersion", 5); }
    uint8_t GetBatteryQuantity() override;
    uint8_t SetLEDStatus(uint8_t state) override {
        return call("SetLEDStatus(" + std::to_string(state) + ")", 1);
    }
    uint8_t SetLeakInfo() override { return call("SetLeakInfo", 1); }
    uint8_t StartRecordHeight() override { return call("StartRecordHeight", 1); }
    uint8_t StartSample() override { return call("StartSample", 1); }
    uint8_t GetSampleStatus() override { return call("GetSampleStatus", 1); }
    uint8_t GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed) override;
    uint8_t GetHeight(uint16_t key, uint16_t* depthCm, uint16_t* liftSpeed) override;
    uint8_t ReadSampleData(uint16_t sizeBytes, uint16_t* buffer, uint16_t* status) override;
    uint8_t ReadData(uint16_t sizeBytes, uint16_t key, uint16_t* buffer, uint16_t* status) override;
    uint8_t SetSample(uint8_t on) override { return call("SetSample(" + std::to_string(on) + ")", 1); }
    uint8_t SetBegin(uint8_t on) override { return call("SetBegin(" + std::to_string(on) + ")", 1); }
    uint8_t SetEnd(uint8_t on) override { return call("SetEnd(" + std::to_string(on) + ")", 1); }
    uint8_t SetHeight(int32_t valueA, uint16_t valueB) override {
        return call("SetHeight(" + std::to_string(valueA) + "," + std::to_string(valueB) + ")", 1);
    }
    uint8_t Set(_Ctrl_Code_INFO_DLL* config) override { return call("Set", 1); }
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL record) override { return call("SetPara1", 1); }
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL* record) override { return call("GetPara1", 1); }
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL record) override { return call("SetPara2", 1); }
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL* record) override { return call("GetPara2", 1); }
    uint8_t SetPara3(uint8_t* block, int32_t length) override {
        return call("SetPara3(" + std::to_string(length) + ")", 1);
    }
    uint8_t GetPara3(uint8_t* buffer, int32_t size) override { return call("GetPara3", 1); }

  private:
    uint8_t call(const std::string& name, uint8_t ok);  // takes the lock
    bool failing(const std::string& name);              // caller holds lock_
    static std::string baseName(const std::string& name);
    uint8_t depth(const std::string& name, uint16_t* depthCm, uint16_t* liftSpeed);
    uint8_t frame(const std::string& name, uint16_t sizeBytes, uint16_t* buffer, uint16_t* status);

    mutable std::mutex lock_;  // guards every field below
    int sampleLength_;
    std::vector<int> readings_;
    size_t nextReading_ = 0;
    uint16_t liftSpeed_ = 7;
    uint8_t battery_ = 9;
    std::map<std::string, int> failNext_;
    std::map<std::string, bool> failAlways_;
    std::vector<std::string> calls_;
    std::vector<std::vector<uint16_t>> frames_;
    std::vector<uint16_t> heightKeys_;
    std::function<void(int)> onDepth_;
};

// Every shared flag and testState back to its start value: they are process globals, and each
// test must start as a fresh program would.
void resetSharedFlags();

// Timings short enough for whole runs in milliseconds.
WorkerTiming fastTiming();

// A horizontal test of `levels` steps of stepMm with four channels, six sections, pairwise, real
// -time acquisition (mode one), save at the end.
CInfo smallTest(int sampleLength, int stepMm, float startDepth);

// Six empty point lists of the given waveform length.
void makeLists(OwnedSectionLists& lists, int sampleLength);

// The processing used while the real picking is not wired in: marks each current point as picked
// at a position derived from its first sample, so a test can see that each point was processed.
void fakeProcess(const CInfo& info, OwnedSectionLists& lists);

}  // namespace lx9::test
