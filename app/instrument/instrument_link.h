// How the program reaches the instrument: one method per exported function of the link library,
// with the same arguments and 8-bit results (1 done, 0 failed, further codes per method). The
// production implementation calls libkaxil; tests use the simulator through it or a scripted fake.
// Not safe for concurrent use: callers make sure only one thread calls at a time.
#pragma once

#include <cstdint>

#include "link/kaxil_records.h"

namespace lx9 {

class InstrumentLink {
  public:
    virtual ~InstrumentLink() = default;

    virtual uint8_t GetCommunicateStatus() = 0;  // 1 connected, 2 holds unsaved data, 0 none
    virtual uint8_t GetFirmwareVersion() = 0;
    virtual uint8_t GetBatteryQuantity() = 0;
    virtual uint8_t SetLEDStatus(uint8_t state) = 0;
    virtual uint8_t SetLeakInfo() = 0;
    virtual uint8_t StartRecordHeight() = 0;
    virtual uint8_t StartSample() = 0;
    virtual uint8_t GetSampleStatus() = 0;
    virtual uint8_t GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed) = 0;
    virtual uint8_t GetHeight(uint16_t key, uint16_t* depthCm, uint16_t* liftSpeed) = 0;
    virtual uint8_t ReadSampleData(uint16_t sizeBytes, uint16_t* buffer, uint16_t* status) = 0;
    virtual uint8_t ReadData(uint16_t sizeBytes, uint16_t key, uint16_t* buffer, uint16_t* status) = 0;
    virtual uint8_t SetSample(uint8_t on) = 0;
    virtual uint8_t SetBegin(uint8_t on) = 0;
    virtual uint8_t SetEnd(uint8_t on) = 0;
    virtual uint8_t SetHeight(int32_t valueA, uint16_t valueB) = 0;
    virtual uint8_t Set(_Ctrl_Code_INFO_DLL* config) = 0;
    virtual uint8_t SetPara1(_Ctrl_SET1_INFO_DLL record) = 0;
    virtual uint8_t GetPara1(_Ctrl_SET1_INFO_DLL* record) = 0;
    virtual uint8_t SetPara2(_Ctrl_SET2_INFO_DLL record) = 0;
    virtual uint8_t GetPara2(_Ctrl_SET2_INFO_DLL* record) = 0;
    virtual uint8_t SetPara3(uint8_t* block, int32_t length) = 0;
    virtual uint8_t GetPara3(uint8_t* buffer, int32_t size) = 0;
};

}  // namespace lx9
