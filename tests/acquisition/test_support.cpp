#include "test_support.h"

#include "data/globals.h"
#include "data/run_state.h"

#include <algorithm>

namespace lx9::test {

void resetSharedFlags() {
    testRunning = false;
    pauseWorker = false;
    for (auto* f :
         {&pendingSet1, &pendingSet2, &pendingSet3, &pendingHeight, &pendingSampleOn, &pendingSampleOff,
          &pendingBeginOn, &pendingBeginOff, &pendingEndOn, &pendingEndOff, &pendingRecordHeight,
          &holdForParameters, &resumeArmedStart, &resumeArmedRecording, &endReached, &continueAfterEnd})
        *f = false;
    pendingCode = true;
    endStamp = 0;
    batteryLevel = 0;
    commNotice = 0;
    listsReady = true;
    testState = makeState(kStateIdle);
}

bool RecordingSink::post(Message m) {
    std::function<void(const Message&)> hook;
    {
        std::lock_guard<std::mutex> g(lock_);
        messages_.push_back(m);
        hook = hook_;
    }
    arrived_.notify_all();
    if (hook) hook(m);
    return true;
}

bool RecordingSink::send(Message m) {
    return post(std::move(m));
}

std::vector<Message> RecordingSink::messages() const {
    std::lock_guard<std::mutex> g(lock_);
    return messages_;
}

std::vector<uint32_t> RecordingSink::ids() const {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<uint32_t> ids;
    for (const auto& m : messages_)
        ids.push_back(m.id);
    return ids;
}

int RecordingSink::count(uint32_t id) const {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<int>(
        std::count_if(messages_.begin(), messages_.end(), [&](const Message& m) { return m.id == id; }));
}

bool RecordingSink::waitFor(uint32_t id, int n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return arrived_.wait_for(g, timeout, [&] {
        return std::count_if(messages_.begin(), messages_.end(),
                             [&](const Message& m) { return m.id == id; }) >= n;
    });
}

void RecordingSink::setHook(std::function<void(const Message&)> hook) {
    std::lock_guard<std::mutex> g(lock_);
    hook_ = std::move(hook);
}

void RecordingSink::clear() {
    std::lock_guard<std::mutex> g(lock_);
    messages_.clear();
}

ScriptedLink::ScriptedLink(int sampleLength) : sampleLength_(sampleLength) {}

void ScriptedLink::setReadings(std::vector<int> travelCm, uint16_t liftSpeed) {
    std::lock_guard<std::mutex> g(lock_);
    readings_ = std::move(travelCm);
    nextReading_ = 0;
    liftSpeed_ = liftSpeed;
}

void ScriptedLink::appendReadings(const std::vector<int>& travelCm) {
    std::lock_guard<std::mutex> g(lock_);
    readings_.insert(readings_.end(), travelCm.begin(), travelCm.end());
}

void ScriptedLink::failNext(const std::string& method, int n) {
    std::lock_guard<std::mutex> g(lock_);
    failNext_[method] = n;
}

void ScriptedLink::failAlways(const std::string& method, bool on) {
    std::lock_guard<std::mutex> g(lock_);
    failAlways_[method] = on;
}

void ScriptedLink::setBattery(uint8_t level) {
    std::lock_guard<std::mutex> g(lock_);
    battery_ = level;
}

void ScriptedLink::setOnDepth(std::function<void(int)> f) {
    std::lock_guard<std::mutex> g(lock_);
    onDepth_ = std::move(f);
}

std::vector<std::string> ScriptedLink::calls() const {
    std::lock_guard<std::mutex> g(lock_);
    return calls_;
}

int ScriptedLink::callCount(const std::string& method) const {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const std::string& c) {
        return baseName(c) == method || c == method;
    }));
}

std::vector<std::vector<uint16_t>> ScriptedLink::frames() const {
    std::lock_guard<std::mutex> g(lock_);
    return frames_;
}

std::vector<uint16_t> ScriptedLink::heightKeys() const {
    std::lock_guard<std::mutex> g(lock_);
    return heightKeys_;
}

int ScriptedLink::readingsUsed() const {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<int>(nextReading_);
}

std::string ScriptedLink::baseName(const std::string& name) {
    return name.substr(0, name.find('('));
}

bool ScriptedLink::failing(const std::string& name) {
    const std::string base = baseName(name);
    if (failAlways_[base]) return true;
    auto it = failNext_.find(base);
    if (it != failNext_.end() && it->second > 0) {
        --it->second;
        return true;
    }
    return false;
}

uint8_t ScriptedLink::call(const std::string& name, uint8_t ok) {
    std::lock_guard<std::mutex> g(lock_);
    calls_.push_back(name);
    return failing(name) ? 0 : ok;
}

uint8_t ScriptedLink::GetBatteryQuantity() {
    std::lock_guard<std::mutex> g(lock_);
    calls_.push_back("GetBatteryQuantity");
    return failing("GetBatteryQuantity") ? 0 : battery_;
}

uint8_t ScriptedLink::depth(const std::string& name, uint16_t* depthCm, uint16_t* liftSpeed) {
    std::function<void(int)> hook;
    int travel = 0;
    {
        std::lock_guard<std::mutex> g(lock_);
        calls_.push_back(name);
        if (failing(name)) return 0;
        if (readings_.empty()) readings_.push_back(0);
        size_t i = std::min(nextReading_, readings_.size() - 1);
        if (nextReading_ < readings_.size()) ++nextReading_;
        travel = readings_[i];
        *depthCm = static_cast<uint16_t>(travel);
        *liftSpeed = liftSpeed_;
        hook = onDepth_;
    }
    if (hook) hook(travel);
    return 1;
}

uint8_t ScriptedLink::GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed) {
    return depth("GetSampleHeight", depthCm, liftSpeed);
}

uint8_t ScriptedLink::GetHeight(uint16_t key, uint16_t* depthCm, uint16_t* liftSpeed) {
    {
        std::lock_guard<std::mutex> g(lock_);
        heightKeys_.push_back(key);
    }
    return depth("GetHeight", depthCm, liftSpeed);
}

uint8_t ScriptedLink::frame(const std::string& name, uint16_t sizeBytes, uint16_t* buffer, uint16_t* status) {
    std::lock_guard<std::mutex> g(lock_);
    calls_.push_back(name);
    *status = 0;
    if (failing(name)) return 0;
    const int f = static_cast<int>(frames_.size());
    const size_t words = sizeBytes / 2;
    std::vector<uint16_t> frame(words);
    for (size_t w = 0; w < words; ++w)
        frame[w] = sampleOf(f, static_cast<int>(w / sampleLength_), static_cast<int>(w % sampleLength_));
    std::copy(frame.begin(), frame.end(), buffer);
    frames_.push_back(std::move(frame));
    return 1;
}

uint8_t ScriptedLink::ReadSampleData(uint16_t sizeBytes, uint16_t* buffer, uint16_t* status) {
    return frame("ReadSampleData", sizeBytes, buffer, status);
}

uint8_t ScriptedLink::ReadData(uint16_t sizeBytes, uint16_t key, uint16_t* buffer, uint16_t* status) {
    return frame("ReadData(" + std::to_string(key) + ")", sizeBytes, buffer, status);
}

WorkerTiming fastTiming() {
    WorkerTiming t;
    t.retryLimit = std::chrono::milliseconds(20);
    t.retrySleep = std::chrono::milliseconds(1);
    t.shortSleep = std::chrono::milliseconds(1);
    t.cycleSleep = std::chrono::milliseconds(1);
    t.endSleep = std::chrono::milliseconds(5);
    t.stopWait = std::chrono::milliseconds(2000);
    return t;
}

CInfo smallTest(int sampleLength, int stepMm, float startDepth) {
    CInfo info;
    info.resetToDefaults();
    info.sampleLength = sampleLength;
    info.stepMm = stepMm;
    info.startDepth = startDepth;
    info.pileLength = startDepth;
    info.cacheMode = 0;
    info.saveMode = std::string(kSaveAtEnd);
    info.digitalFilter = false;
    info.continuousFiring = true;
    info.rebuildSectionNames();
    return info;
}

void makeLists(OwnedSectionLists& lists, int sampleLength) {
    for (int k = 0; k < kMaxSections; ++k)
        lists[k] = std::make_unique<CSampleDataList>(sampleLength, k);
}

void fakeProcess(const CInfo& info, OwnedSectionLists& lists) {
    const int used = std::clamp(info.sectionCount, 0, kMaxSections);
    for (int k = 0; k < used; ++k) {
        CSampleDataList* list = lists[k].get();
        if (!list) continue;
        auto g = list->lock();
        if (!list->current || list->current->samples.empty()) continue;
        SamplePoint& p = *list->current;
        p.tIndex = p.samples[0] % 97;
        p.ampIndex = p.tIndex + 3;
        p.gain = static_cast<float>(info.sections[k].gain);
        p.delay = info.sections[k].delay;
        p.velocity = 1000.0f + static_cast<float>(p.tIndex);
    }
}

}  // namespace lx9::test
