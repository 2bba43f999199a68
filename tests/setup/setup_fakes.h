// Test doubles for the setup forms: a MessageSink that records what was said and answers from a
// script, a SetupConsole that records the calls OK makes, and a scripted InstrumentLink.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "instrument/instrument_link.h"
#include "setup/setup_console.h"
#include "tests/setup/recording_console.h"
#include "ui/message_sink.h"

namespace lx9::test {

class RecordingSink : public MessageSink {
  public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string& text) override {
        questions.push_back(text);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::string last() const { return messages.empty() ? std::string() : messages.back(); }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;
};

// Answers GetFirmwareVersion and GetSampleHeight from scripts; everything else succeeds.
class ScriptedLink : public InstrumentLink {
  public:
    uint8_t GetCommunicateStatus() override { return 1; }
    uint8_t GetFirmwareVersion() override {
        ++firmwareReads;
        return firmware;
    }
    uint8_t GetBatteryQuantity() override { return 10; }
    uint8_t SetLEDStatus(uint8_t) override { return 1; }
    uint8_t SetLeakInfo() override { return 1; }
    uint8_t StartRecordHeight() override { return 1; }
    uint8_t StartSample() override { return 1; }
    uint8_t GetSampleStatus() override { return 1; }
    uint8_t GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed) override {
        if (depths.empty()) return 0;
        *depthCm = depths.front();
        *liftSpeed = 0;
        depths.pop_front();
        return 1;
    }
    uint8_t GetHeight(uint16_t, uint16_t* depthCm, uint16_t* liftSpeed) override {
        return GetSampleHeight(depthCm, liftSpeed);
    }
    uint8_t ReadSampleData(uint16_t, uint16_t*, uint16_t*) override { return 1; }
    uint8_t ReadData(uint16_t, uint16_t, uint16_t*, uint16_t*) override { return 1; }
    uint8_t SetSample(uint8_t) override { return 1; }
    uint8_t SetBegin(uint8_t) override { return 1; }
    uint8_t SetEnd(uint8_t) override { return 1; }
    uint8_t SetHeight(int32_t, uint16_t) override { return 1; }
    uint8_t Set(_Ctrl_Code_INFO_DLL*) override { return 1; }
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL) override { return 1; }
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL*) override { return 1; }
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL) override { return 1; }
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL*) override { return 1; }
    uint8_t SetPara3(uint8_t*, int32_t) override { return 1; }
    uint8_t GetPara3(uint8_t*, int32_t) override { return 1; }

    uint8_t firmware = 0;
    int firmwareReads = 0;
    std::deque<uint16_t> depths;
};

inline CInfo defaultInfo() {
    CInfo info;
    info.resetToDefaults();
    return info;
}

}  // namespace lx9::test
