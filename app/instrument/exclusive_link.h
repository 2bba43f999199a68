// The instrument link shared by the console and the worker, one caller at a time: every call
// takes the link's lock, and the console holds it across a sequence of its own calls (connect,
// pause, resume), so no console call ever overlaps an exchange of the worker. The console sets
// pauseWorker before it takes the lock; a worker exchange in flight finishes first, and the
// worker's next call waits until the console is done.
//
// Threading: any thread; the lock is recursive so a holder may call through it.
#pragma once

#include <mutex>

#include "instrument/instrument_link.h"

namespace lx9 {

class ExclusiveLink final : public InstrumentLink {
  public:
    explicit ExclusiveLink(InstrumentLink& link) : link_(link) {}

    // Holds the link for a sequence of calls.
    std::unique_lock<std::recursive_mutex> hold() { return std::unique_lock<std::recursive_mutex>(lock_); }

    uint8_t GetCommunicateStatus() override {
        return with([&] { return link_.GetCommunicateStatus(); });
    }
    uint8_t GetFirmwareVersion() override {
        return with([&] { return link_.GetFirmwareVersion(); });
    }
    uint8_t GetBatteryQuantity() override {
        return with([&] { return link_.GetBatteryQuantity(); });
    }
    uint8_t SetLEDStatus(uint8_t s) override {
        return with([&] { return link_.SetLEDStatus(s); });
    }
    uint8_t SetLeakInfo() override {
        return with([&] { return link_.SetLeakInfo(); });
    }
    uint8_t StartRecordHeight() override {
        return with([&] { return link_.StartRecordHeight(); });
    }
    uint8_t StartSample() override {
        return with([&] { return link_.StartSample(); });
    }
    uint8_t GetSampleStatus() override {
        return with([&] { return link_.GetSampleStatus(); });
    }
    uint8_t GetSampleHeight(uint16_t* d, uint16_t* s) override {
        return with([&] { return link_.GetSampleHeight(d, s); });
    }
    uint8_t GetHeight(uint16_t k, uint16_t* d, uint16_t* s) override {
        return with([&] { return link_.GetHeight(k, d, s); });
    }
    uint8_t ReadSampleData(uint16_t n, uint16_t* b, uint16_t* s) override {
        return with([&] { return link_.ReadSampleData(n, b, s); });
    }
    uint8_t ReadData(uint16_t n, uint16_t k, uint16_t* b, uint16_t* s) override {
        return with([&] { return link_.ReadData(n, k, b, s); });
    }
    uint8_t SetSample(uint8_t on) override {
        return with([&] { return link_.SetSample(on); });
    }
    uint8_t SetBegin(uint8_t on) override {
        return with([&] { return link_.SetBegin(on); });
    }
    uint8_t SetEnd(uint8_t on) override {
        return with([&] { return link_.SetEnd(on); });
    }
    uint8_t SetHeight(int32_t a, uint16_t b) override {
        return with([&] { return link_.SetHeight(a, b); });
    }
    uint8_t Set(_Ctrl_Code_INFO_DLL* c) override {
        return with([&] { return link_.Set(c); });
    }
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL r) override {
        return with([&] { return link_.SetPara1(r); });
    }
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL* r) override {
        return with([&] { return link_.GetPara1(r); });
    }
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL r) override {
        return with([&] { return link_.SetPara2(r); });
    }
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL* r) override {
        return with([&] { return link_.GetPara2(r); });
    }
    uint8_t SetPara3(uint8_t* b, int32_t n) override {
        return with([&] { return link_.SetPara3(b, n); });
    }
    uint8_t GetPara3(uint8_t* b, int32_t n) override {
        return with([&] { return link_.GetPara3(b, n); });
    }

  private:
    template <class F>
    uint8_t with(F&& call) {
        std::lock_guard<std::recursive_mutex> g(lock_);
        return call();
    }

    InstrumentLink& link_;
    std::recursive_mutex lock_;  // one exchange (or one console sequence) at a time
};

}  // namespace lx9
