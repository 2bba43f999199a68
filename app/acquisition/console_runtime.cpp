#include "acquisition/console_runtime.h"

#include <utility>

namespace lx9 {

ConsoleRuntime::ConsoleRuntime(ServiceOptions service)
    : service_(std::make_unique<CBackServiceThread>(sink_, std::move(service))) {
    service_->start();
}

ConsoleRuntime::~ConsoleRuntime() {
    stop();
}

AcquisitionWorker& ConsoleRuntime::startWorker(InstrumentLink& link, const WorkerOptions& options) {
    stopWorker();
    worker_ = std::make_unique<AcquisitionWorker>(link, sink_, options);
    worker_->start();
    return *worker_;
}

int32_t ConsoleRuntime::stopWorker() {
    if (!worker_) return 0;
    worker_->stop();
    const int32_t levels = worker_->levelsStored();
    worker_.reset();
    return levels;
}

void ConsoleRuntime::stop() {
    stopWorker();
    mailbox_.close();
    if (service_) {
        service_->quit();
        service_->join(kServiceJoinLimit);
    }
    service_.reset();
}

}  // namespace lx9
