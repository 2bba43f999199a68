// The exported interface of libkaxil.so: one function per instrument command, each returning an
// 8-bit result (1 done, 0 failed, further codes per function). C++ linkage on purpose: the
// exported symbol names encode the parameter types, and the program binds to exactly those names.
//
// Threading: the library keeps one socket and one peer address for the whole process and has no
// locks. Call it from one thread at a time.
#pragma once

#include <cstdint>

#include "link/kaxil_records.h"

#define KAXIL_API __attribute__((visibility("default")))

// Handshake; also (re)opens the link. 1 connected, 2 connected and the instrument holds test data
// that was not saved, 0 no answer.
KAXIL_API uint8_t GetCommunicateStatus();
// Firmware version byte / battery level byte; 0 on failure (indistinguishable from a real 0).
KAXIL_API uint8_t GetFirmwareVersion();
KAXIL_API uint8_t GetBatteryQuantity();
KAXIL_API uint8_t SetLEDStatus(uint8_t state);
KAXIL_API uint8_t SetLeakInfo();
// Starts depth counting.
KAXIL_API uint8_t StartRecordHeight();
// Fires one measurement.
KAXIL_API uint8_t StartSample();
// No exchange; always 1.
KAXIL_API uint8_t GetSampleStatus();
// Live depth reading (cm) and lift speed.
KAXIL_API uint8_t GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed);
// Depth reading and lift speed of the stored record `key` (the level in centimetres).
KAXIL_API uint8_t GetHeight(uint16_t key, uint16_t* depthCm, uint16_t* liftSpeed);
// Live frame into `buffer` (at most sizeBytes bytes) and its 16-bit status word.
KAXIL_API uint8_t ReadSampleData(uint16_t sizeBytes, uint16_t* buffer, uint16_t* status);
// Frame of the stored record `key`.
KAXIL_API uint8_t ReadData(uint16_t sizeBytes, uint16_t key, uint16_t* buffer, uint16_t* status);
// 0 or 1; any other argument sends nothing and fails after the time-out. 0 also when declined.
KAXIL_API uint8_t SetSample(uint8_t on);
KAXIL_API uint8_t SetBegin(uint8_t on);
KAXIL_API uint8_t SetEnd(uint8_t on);
KAXIL_API uint8_t SetHeight(int32_t valueA, uint16_t valueB);
// Sends the channel configuration packet built from *config.
KAXIL_API uint8_t Set(_Ctrl_Code_INFO_DLL* config);
// The by-value copy gets the request header; the caller's record is left alone.
KAXIL_API uint8_t SetPara1(_Ctrl_SET1_INFO_DLL record);
// 1 record received, 2 the instrument answered with 5 bytes only, 0 failed.
KAXIL_API uint8_t GetPara1(_Ctrl_SET1_INFO_DLL* record);
KAXIL_API uint8_t SetPara2(_Ctrl_SET2_INFO_DLL record);
KAXIL_API uint8_t GetPara2(_Ctrl_SET2_INFO_DLL* record);
// Writes the header into the caller's block (its length byte is the low byte of `length`).
KAXIL_API uint8_t SetPara3(uint8_t* block, int32_t length);
KAXIL_API uint8_t GetPara3(uint8_t* buffer, int32_t size);

// Exported for compatibility; the program does not use them.
KAXIL_API uint8_t GetMachType();  // 1, no exchange
KAXIL_API uint8_t Reconnect();    // 1 when the link socket exists, else prints "socket failed!!!"
KAXIL_API int32_t fnKaxil();      // 42
extern KAXIL_API int32_t nKaxil;  // 0

class KAXIL_API CKaxil {
  public:
    CKaxil();
    CKaxil& operator=(const CKaxil&);
};
