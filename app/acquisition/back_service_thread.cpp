#include "acquisition/back_service_thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "acquisition/acquisition_rules.h"

#include "data/data_file_format.h"
#include "data/data_file_reader.h"
#include "data/data_file_writer.h"
#include "data/globals.h"
#include "data/run_state.h"

namespace lx9 {

CBackServiceThread::CBackServiceThread(ConsoleSink& console, ServiceOptions options)
    : console_(console), options_(std::move(options)) {
    if (!options_.info) options_.info = sharedCurrentInfo();
    if (!options_.lists) options_.lists = &sectionLists;
    if (!options_.levelCount) options_.levelCount = &maxPointCount;
    if (!options_.date) options_.date = todayText;
}

CBackServiceThread::~CBackServiceThread() {
    quit();
    if (thread_.joinable()) thread_.join();
}

bool CBackServiceThread::start() {
    if (started_) return false;
    started_ = true;
    // The stack size asked for by the original (512 bytes) is below any thread's minimum and is
    // rounded up anyway; the default stack is used.
    thread_ = std::thread([this] { run(); });
    return true;
}

bool CBackServiceThread::join(std::chrono::milliseconds timeout) {
    {
        std::unique_lock<std::mutex> g(endLock_);
        if (!endedCv_.wait_for(g, timeout, [&] { return ended_; })) return false;
    }
    if (thread_.joinable()) thread_.join();
    return true;
}

void CBackServiceThread::run() {
    pthread_setname_np(pthread_self(), "lx9-service");
    // One step below normal: file work yields to the console and the worker.
    const id_t self = static_cast<id_t>(gettid());
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, self);
    if (errno == 0) setpriority(PRIO_PROCESS, self, nice + 1);

    while (!quit_)
        box_.dispatchOne([this](const Message& m) { return handle(m); }, std::chrono::hours(1));
    // Whatever is still queued is dropped; a sender waiting behind the quit is released.
    box_.close();
    writer_.reset();
    {
        std::lock_guard<std::mutex> g(endLock_);
        ended_ = true;
    }
    endedCv_.notify_all();
}

intptr_t CBackServiceThread::handle(const Message& m) {
    switch (m.id) {
        case WM_QUIT:
            quit_ = true;
            break;
        case kMsgStartRealTimeSave:
            startRealTimeSave();
            break;
        case kMsgFinishFiles:
            finishFiles(m.wParam);
            break;
        case kMsgOpenFile:
            openFile(m);
            break;
        case kMsgCloseFiles:
            closeFiles();
            break;
        case kMsgWriteHalfWindow:
            writeHalfWindow(static_cast<int32_t>(m.wParam));
            break;
        case kMsgReloadRecent:
            reloadRecent(static_cast<int32_t>(m.wParam));
            break;
        default:
            break;  // not a request of this thread
    }
    return 0;
}

CInfo CBackServiceThread::copyInfo() {
    return options_.info->copy();
}

int32_t CBackServiceThread::windowLevels() const {
    return std::max<int32_t>(options_.levelCount->load(), 1);
}

void CBackServiceThread::fileError(uint32_t request, const std::string& reason) {
    console_.post(Message{kMsgFileError, request, 0, 0, reason});
}

void CBackServiceThread::noteWritten() {
    levelsWritten_ = writer_ ? writer_->levelsWritten() : 0;
}

void CBackServiceThread::sendProgress(uintptr_t target, int done, int total) {
    console_.send(Message{kMsgSaveProgress, static_cast<uintptr_t>(done), total, target, {}});
}

void CBackServiceThread::startRealTimeSave() {
    const CInfo info = copyInfo();
    writer_ = std::make_unique<CSaveFile>(options_.date);
    levelsWritten_ = 0;
    if (!writer_->createFiles(info, CSaveFile::Target::InPlace))
        fileError(kMsgStartRealTimeSave, writer_->errorText());
}

// Real-time levels are written by their place in the ring of H levels the lists keep, each as
// soon as the console asks: every level not yet in the files up to `newest` - 1.
void CBackServiceThread::writeHalfWindow(int32_t newest) {
    if (!writer_ || !writer_->isOpen()) {
        fileError(kMsgWriteHalfWindow, "数据文件没有打开");
        return;
    }
    const CInfo info = copyInfo();
    const int32_t window = windowLevels();
    const SectionLists lists = listPointers(*options_.lists);
    // Levels already in the files are never written twice; levels the ring no longer holds
    // cannot be (the worker does not overwrite a level before it is written).
    for (int32_t level = std::max(newest - window, writer_->levelsWritten()); level < newest; ++level) {
        // A level dropped since it was asked for (probes lowered) is asked for again when it is
        // stored again.
        if (!ringHolds(lists, level % window)) break;
        if (!writer_->writeLevel(info, lists, level % window)) {
            fileError(kMsgWriteHalfWindow, writer_->errorText());
            break;
        }
        noteWritten();  // after the level is on disk: what the console reports as saved
    }
}

bool CBackServiceThread::ringHolds(const SectionLists& lists, int32_t position) {
    for (CSampleDataList* list : lists) {
        if (!list) continue;
        auto g = list->lock();
        if (list->count == 0) continue;
        return position < list->count;
    }
    return false;
}

void CBackServiceThread::reloadRecent(int32_t level) {
    if (!writer_ || !writer_->isOpen()) return;  // nothing written yet: memory holds it all
    // The reload puts the last H/2 levels written at the ring positions from `level` on: only
    // right when those are the levels `level` .. `level` + H/2 - 1 (a failed write leaves memory
    // as it is).
    const int32_t window = windowLevels();
    if (level + window / 2 != writer_->levelsWritten()) return;
    const CInfo info = copyInfo();
    const SectionLists lists = listPointers(*options_.lists);
    // A worker far ahead of the disk may have stored newer levels over the window: those are not
    // in the files yet and must not be replaced by the older ones that are.
    std::lock_guard<std::mutex> ring(ringLock_);
    for (int k = 0; k < kMaxSections; ++k) {
        if (!lists[k]) continue;
        auto g = lists[k]->lock();
        if (lists[k]->count == 0) continue;
        for (int32_t j = 0; j < window / 2; ++j) {
            const SamplePoint* p = lists[k]->pointAt((level + j) % window);
            const float depth = pointDepth(info, k, levelCm(level + j, info.stepMm));
            if (!p || std::fabs(p->depth - depth) > 0.0005f) return;
        }
        break;
    }
    if (!writer_->reloadRecent(info, lists, level, window)) fileError(kMsgReloadRecent, writer_->errorText());
}

// The test ended without saving: the next test must never write into this pair.
void CBackServiceThread::closeFiles() {
    if (!writer_) return;
    if (writer_->isOpen() && !writer_->close()) fileError(kMsgCloseFiles, writer_->errorText());
    writer_.reset();
}

void CBackServiceThread::finishFiles(uintptr_t target) {
    const CInfo info = copyInfo();
    const SectionLists lists = listPointers(*options_.lists);
    const int32_t window = windowLevels();
    int lastDone = -1, lastTotal = -1;
    auto progress = [&](int done, int total) {
        lastDone = done;
        lastTotal = total;
        sendProgress(target, done, total);
    };

    bool ok = true;
    int levels = 0;
    if (writer_ && writer_->isOpen()) {
        // Saved in real time: only the levels after the last one written, up to the current one.
        ok = writer_->completeRealTime(info, lists, -1, progress, window);
        noteWritten();
        levels = writer_->levelsWritten();
    } else {
        // Saved at the end: the whole pair now, under temporary names until it is complete.
        writer_ = std::make_unique<CSaveFile>(options_.date);
        ok = writer_->saveAtEnd(info, lists, progress);
        noteWritten();
        levels = writer_->levelsWritten();
    }
    if (!ok) {
        fileError(kMsgFinishFiles, writer_->errorText());
        return;
    }
    // The pair is finished: the next test starts with no writer.
    writer_.reset();
    // The save dialog closes on the report that says everything is written.
    if (lastDone != lastTotal || lastDone < 0) sendProgress(target, levels, levels);
}

void CBackServiceThread::openFile(const Message& m) {
    const uintptr_t prompt = static_cast<uintptr_t>(m.lParam);
    const CInfo snapshot = copyInfo();
    CInfo work = snapshot;
    auto headerRead = [&](const CInfo& header) {
        options_.info->change([&header](CInfo& info) { info = header; });
        // The prompt has the console re-create its lists with the length just read.
        console_.send(Message{kMsgHeaderRead, 0, 0, prompt, {}});
        return listPointers(*options_.lists);
    };
    const OpenReport report = openDataFile(m.text, work, headerRead);
    options_.info->change([&](CInfo& info) { info = report.ok ? work : snapshot; });
    if (report.ok)
        console_.post(Message{kMsgFileOpened, 0, 0, prompt, {}});
    else
        console_.post(Message{kMsgOpenFailed, 0, 0, prompt, report.error});
}

}  // namespace lx9
