#include "instrument/kaxil_link.h"

#include "link/kaxil.h"

namespace lx9 {

uint8_t KaxilLink::GetCommunicateStatus() {
    return ::GetCommunicateStatus();
}
uint8_t KaxilLink::GetFirmwareVersion() {
    return ::GetFirmwareVersion();
}
uint8_t KaxilLink::GetBatteryQuantity() {
    return ::GetBatteryQuantity();
}
uint8_t KaxilLink::SetLEDStatus(uint8_t state) {
    return ::SetLEDStatus(state);
}
uint8_t KaxilLink::SetLeakInfo() {
    return ::SetLeakInfo();
}
uint8_t KaxilLink::StartRecordHeight() {
    return ::StartRecordHeight();
}
uint8_t KaxilLink::StartSample() {
    return ::StartSample();
}
uint8_t KaxilLink::GetSampleStatus() {
    return ::GetSampleStatus();
}
uint8_t KaxilLink::GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed) {
    return ::GetSampleHeight(depthCm, liftSpeed);
}
uint8_t KaxilLink::GetHeight(uint16_t key, uint16_t* depthCm, uint16_t* liftSpeed) {
    return ::GetHeight(key, depthCm, liftSpeed);
}
uint8_t KaxilLink::ReadSampleData(uint16_t sizeBytes, uint16_t* buffer, uint16_t* status) {
    return ::ReadSampleData(sizeBytes, buffer, status);
}
uint8_t KaxilLink::ReadData(uint16_t sizeBytes, uint16_t key, uint16_t* buffer, uint16_t* status) {
    return ::ReadData(sizeBytes, key, buffer, status);
}
uint8_t KaxilLink::SetSample(uint8_t on) {
    return ::SetSample(on);
}
uint8_t KaxilLink::SetBegin(uint8_t on) {
    return ::SetBegin(on);
}
uint8_t KaxilLink::SetEnd(uint8_t on) {
    return ::SetEnd(on);
}
uint8_t KaxilLink::SetHeight(int32_t valueA, uint16_t valueB) {
    return ::SetHeight(valueA, valueB);
}
uint8_t KaxilLink::Set(_Ctrl_Code_INFO_DLL* config) {
    return ::Set(config);
}
uint8_t KaxilLink::SetPara1(_Ctrl_SET1_INFO_DLL record) {
    return ::SetPara1(record);
}
uint8_t KaxilLink::GetPara1(_Ctrl_SET1_INFO_DLL* record) {
    return ::GetPara1(record);
}
uint8_t KaxilLink::SetPara2(_Ctrl_SET2_INFO_DLL record) {
    return ::SetPara2(record);
}
uint8_t KaxilLink::GetPara2(_Ctrl_SET2_INFO_DLL* record) {
    return ::GetPara2(record);
}
uint8_t KaxilLink::SetPara3(uint8_t* block, int32_t length) {
    return ::SetPara3(block, length);
}
uint8_t KaxilLink::GetPara3(uint8_t* buffer, int32_t size) {
    return ::GetPara3(buffer, size);
}

}  // namespace lx9
