// What the end-of-test dialogs and the file-opening prompt need from the console that opened
// them: stopping the worker, posting to the service thread and to the console, resetting the
// console after a test, and the instrument for the few calls these dialogs make. The console
// controller implements it; tests record the calls.
//
// Threading: the user-interface thread only.
#pragma once

#include <cstdint>

#include "acquisition/mailbox.h"
#include "instrument/instrument_link.h"

namespace lx9 {

class TestDialogHost {
  public:
    virtual ~TestDialogHost() = default;

    // Stops the worker for the end of a test: clears testRunning (and pauseWorker when the state
    // has its pause bit), waits until the thread has ended and forgets it.
    virtual void stopWorkerForEnd() = 0;
    // Posts to the background service thread; false when it has ended.
    virtual bool postToService(Message message) = 0;
    // Posts to the console's own mailbox.
    virtual void postToConsole(Message message) = 0;
    // After a saved test: the console's views, point lists and counters start again (idle).
    virtual void resetAfterTest() = 0;
    // The views go back to empty (a failed open).
    virtual void resetViews() = 0;
    // The header of a file being opened has been read: re-create the point lists and views.
    virtual void recreateForFile() = 0;
    // Levels the test has stored so far.
    virtual int32_t levelsCollected() const = 0;
    // True when this test has written its data files already (real-time save): "不保存" then
    // removes them. A test saved at the end has written nothing, and the names may belong to an
    // older pair the operator chose to replace.
    virtual bool testWroteFiles() const = 0;
    // The instrument, for a call made while the worker is paused or stopped.
    virtual InstrumentLink& instrument() = 0;
};

}  // namespace lx9
