// The exported functions: each forwards to the process's one link. Loading the library creates no
// socket (the handshake does); unloading it closes the socket.
#include "link/kaxil.h"

#include <cstdio>

#include "link/link.h"

namespace {
constinit kaxil::Link theLink;
}  // namespace

uint8_t GetCommunicateStatus() {
    return theLink.GetCommunicateStatus();
}
uint8_t GetFirmwareVersion() {
    return theLink.GetFirmwareVersion();
}
uint8_t GetBatteryQuantity() {
    return theLink.GetBatteryQuantity();
}
uint8_t SetLEDStatus(uint8_t state) {
    return theLink.SetLEDStatus(state);
}
uint8_t SetLeakInfo() {
    return theLink.SetLeakInfo();
}
uint8_t StartRecordHeight() {
    return theLink.StartRecordHeight();
}
uint8_t StartSample() {
    return theLink.StartSample();
}
uint8_t GetSampleStatus() {
    return theLink.GetSampleStatus();
}
uint8_t GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed) {
    return theLink.GetSampleHeight(depthCm, liftSpeed);
}
uint8_t GetHeight(uint16_t key, uint16_t* depthCm, uint16_t* liftSpeed) {
    return theLink.GetHeight(key, depthCm, liftSpeed);
}
uint8_t ReadSampleData(uint16_t sizeBytes, uint16_t* buffer, uint16_t* status) {
    return theLink.ReadSampleData(sizeBytes, buffer, status);
}
uint8_t ReadData(uint16_t sizeBytes, uint16_t key, uint16_t* buffer, uint16_t* status) {
    return theLink.ReadData(sizeBytes, key, buffer, status);
}
uint8_t SetSample(uint8_t on) {
    return theLink.SetSample(on);
}
uint8_t SetBegin(uint8_t on) {
    return theLink.SetBegin(on);
}
uint8_t SetEnd(uint8_t on) {
    return theLink.SetEnd(on);
}
uint8_t SetHeight(int32_t valueA, uint16_t valueB) {
    return theLink.SetHeight(valueA, valueB);
}
uint8_t Set(_Ctrl_Code_INFO_DLL* config) {
    return theLink.Set(config);
}
uint8_t SetPara1(_Ctrl_SET1_INFO_DLL record) {
    return theLink.SetPara1(record);
}
uint8_t GetPara1(_Ctrl_SET1_INFO_DLL* record) {
    return theLink.GetPara1(record);
}
uint8_t SetPara2(_Ctrl_SET2_INFO_DLL record) {
    return theLink.SetPara2(record);
}
uint8_t GetPara2(_Ctrl_SET2_INFO_DLL* record) {
    return theLink.GetPara2(record);
}
uint8_t SetPara3(uint8_t* block, int32_t length) {
    return theLink.SetPara3(block, length);
}
uint8_t GetPara3(uint8_t* buffer, int32_t size) {
    return theLink.GetPara3(buffer, size);
}

uint8_t GetMachType() {
    return 1;
}

uint8_t Reconnect() {
    if (theLink.isOpen()) return 1;
    std::fputs("socket failed!!!\n", stdout);
    return 0;
}

int32_t fnKaxil() {
    return 42;
}
int32_t nKaxil = 0;

CKaxil::CKaxil() = default;
CKaxil& CKaxil::operator=(const CKaxil&) = default;
