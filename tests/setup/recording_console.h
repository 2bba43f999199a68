// A setup console that records what the forms ask of it, for the setup and console tests.
#pragma once

#include <string>
#include <vector>

#include "data/cinfo.h"
#include "setup/setup_console.h"

namespace lx9::test {

class RecordingConsole : public SetupConsole {
  public:
    StoreResult storeSettings(const CInfo& info) override {
        calls.push_back("store");
        stored = info;
        return storeResult;
    }
    void pushParameters() override { calls.push_back("push"); }
    void stopWorker() override { calls.push_back("stop"); }
    void rebuildPointLists() override { calls.push_back("lists"); }
    void startWorker() override { calls.push_back("start"); }
    void setListsReady(bool ready) override { listsReady = ready; }
    bool workerPaused() const override { return paused; }
    void setWorkerPaused(bool on) override { paused = on; }
    void acquisitionModeChanged() override { calls.push_back("modeChanged"); }
    bool showTestTypeAtStart() const override { return testType; }
    void setShowTestTypeAtStart(bool show) override {
        calls.push_back("testType");
        testType = show;
    }

    std::vector<std::string> calls;
    CInfo stored;
    StoreResult storeResult;
    bool testType = true;
    bool listsReady = true;  // the worker's flags as the forms set them
    bool paused = true;
};

}  // namespace lx9::test
