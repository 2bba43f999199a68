// The production InstrumentLink: every method calls the exported function of libkaxil.so with the
// same name. The library holds the one link of the process, so all KaxilLink objects share it.
// Threading: as InstrumentLink, one caller at a time.
#pragma once

#include "instrument/instrument_link.h"

namespace lx9 {

class KaxilLink final : public InstrumentLink {
  public:
    uint8_t GetCommunicateStatus() override;
    uint8_t GetFirmwareVersion() override;
    uint8_t GetBatteryQuantity() override;
    uint8_t SetLEDStatus(uint8_t state) override;
    uint8_t SetLeakInfo() override;
    uint8_t StartRecordHeight() override;
    uint8_t StartSample() override;
    uint8_t GetSampleStatus() override;
    uint8_t GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed) override;
    uint8_t GetHeight(uint16_t key, uint16_t* depthCm, uint16_t* liftSpeed) override;
    uint8_t ReadSampleData(uint16_t sizeBytes, uint16_t* buffer, uint16_t* status) override;
    uint8_t ReadData(uint16_t sizeBytes, uint16_t key, uint16_t* buffer, uint16_t* status) override;
    uint8_t SetSample(uint8_t on) override;
    uint8_t SetBegin(uint8_t on) override;
    uint8_t SetEnd(uint8_t on) override;
    uint8_t SetHeight(int32_t valueA, uint16_t valueB) override;
    uint8_t Set(_Ctrl_Code_INFO_DLL* config) override;
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL record) override;
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL* record) override;
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL record) override;
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL* record) override;
    uint8_t SetPara3(uint8_t* block, int32_t length) override;
    uint8_t GetPara3(uint8_t* buffer, int32_t size) override;
};

}  // namespace lx9
