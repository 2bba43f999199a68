// A setup console that really writes "set.ini" (into a temporary folder) and records the other
// calls, so that widget tests can read back what reached the settings file.
#pragma once

#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

#include "data/settings_store.h"
#include "setup/setup_console.h"

namespace lx9::test {

class FileConsole : public SetupConsole {
  public:
    FileConsole()
        : dir_(std::filesystem::temp_directory_path() / ("lx9-ui-" + std::to_string(::getpid()) + "-" +
                                                         std::to_string(reinterpret_cast<uintptr_t>(this)))) {
        std::filesystem::create_directories(dir_);
    }
    ~FileConsole() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    StoreResult storeSettings(const CInfo& info) override {
        calls.push_back("store");
        return lx9::storeSettings(info, UploadSettings{}, file());
    }
    void pushParameters() override { calls.push_back("push"); }
    void stopWorker() override { calls.push_back("stop"); }
    void rebuildPointLists() override { calls.push_back("lists"); }
    void startWorker() override { calls.push_back("start"); }
    void setListsReady(bool ready) override { listsReady = ready; }
    bool workerPaused() const override { return paused; }
    void setWorkerPaused(bool on) override { paused = on; }
    void acquisitionModeChanged() override { calls.push_back("modeChanged"); }
    bool showTestTypeAtStart() const override { return false; }
    void setShowTestTypeAtStart(bool) override {}

    std::filesystem::path file() const { return dir_ / "set.ini"; }
    // The record as "set.ini" holds it now.
    CInfo readBack() const {
        CInfo info;
        UploadSettings upload;
        loadSettings(info, upload, file());
        return info;
    }

    std::vector<std::string> calls;
    bool listsReady = true;  // the worker's flags as the forms set them
    bool paused = true;

  private:
    std::filesystem::path dir_;
};

}  // namespace lx9::test
