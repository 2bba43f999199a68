// What the setup forms need from the acquisition console. The console controller implements it
// (on the user-interface thread); `lx9 set` implements it with the settings store alone, and
// tests with a recorder. The forms call it only from their OK handling.
#pragma once

#include "data/cinfo.h"
#include "data/settings_store.h"

namespace lx9 {

class SetupConsole {
  public:
    virtual ~SetupConsole() = default;

    // Writes the record to "set.ini" (the console knows the upload settings and the file).
    virtual StoreResult storeSettings(const CInfo& info) = 0;

    // The parameter push: rebuilds `codeConfig` from currentInfo, as before every test.
    virtual void pushParameters() = 0;

    // Stops the running worker: clears `testRunning` and `pauseWorker`, waits 500 ms and forgets
    // the thread (joins it; it leaves its loop at the next cycle).
    virtual void stopWorker() = 0;

    // Replaces the six `sectionLists` with empty lists of wave length `sampleLength` and appends
    // `maxPointCount` placeholder points to each. Called only while the worker is stopped.
    virtual void rebuildPointLists() = 0;

    // Starts a new worker exactly as the console does at start-up, but with `pauseWorker` set:
    // created, `testRunning` set, then let run.
    virtual void startWorker() = 0;

    // `listsReady`: cleared while the setup replaces the point lists under a stopped worker, set
    // again once the new worker runs.
    virtual void setListsReady(bool ready) = 0;

    // `pauseWorker`: whether the worker skips the measuring part of its cycle. The calibration run
    // clears it while it reads the live depth and puts back what it found.
    virtual bool workerPaused() const = 0;
    virtual void setWorkerPaused(bool paused) = 0;

    // The acquisition mode went from buffered to real-time: raise the console's mode-changed flag.
    virtual void acquisitionModeChanged() = 0;

    // The "show the test type at start" choice the console keeps; the setup shows it (hidden box)
    // and hands it back on OK.
    virtual bool showTestTypeAtStart() const = 0;
    virtual void setShowTestTypeAtStart(bool show) = 0;
};

}  // namespace lx9
