// What the console runs on: its mailbox, the service thread and the acquisition worker. A
// program's main creates it before the console controller and ends it after, so the threads start
// in order (the mailbox, the service thread; a worker whenever the console starts one) and stop in
// reverse with bounded waits: the worker within its own stop, then the mailbox is closed (which
// releases a service thread waiting on a send to the console), then the service thread within
// 30 s.
//
// Threading: created, used and ended on the user-interface thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "acquisition/acquisition_worker.h"
#include "acquisition/back_service_thread.h"
#include "acquisition/console_sink.h"
#include "acquisition/mailbox.h"
#include "instrument/instrument_link.h"

namespace lx9 {

class ConsoleRuntime {
  public:
    // Creates the mailbox and starts the service thread.
    explicit ConsoleRuntime(ServiceOptions service = {});
    ~ConsoleRuntime();
    ConsoleRuntime(const ConsoleRuntime&) = delete;
    ConsoleRuntime& operator=(const ConsoleRuntime&) = delete;

    Mailbox& mailbox() { return mailbox_; }
    ConsoleSink& consoleSink() { return sink_; }
    // Null once the runtime is stopped.
    CBackServiceThread* service() { return service_.get(); }

    // A new worker thread over `link`; a previous worker is stopped first.
    AcquisitionWorker& startWorker(InstrumentLink& link, const WorkerOptions& options);
    AcquisitionWorker* worker() { return worker_.get(); }
    // Stops and forgets the worker; returns the levels it stored (0 without a worker).
    int32_t stopWorker();

    // Stops everything in reverse order; later calls do nothing.
    void stop();

    static constexpr std::chrono::seconds kServiceJoinLimit{30};

  private:
    Mailbox mailbox_;
    MailboxConsoleSink sink_{mailbox_};
    std::unique_ptr<CBackServiceThread> service_;
    std::unique_ptr<AcquisitionWorker> worker_;
};

}  // namespace lx9
