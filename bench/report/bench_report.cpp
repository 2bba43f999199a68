// The report of the worst test: a 200 m pile at a 10 mm step (20 001 levels), six sections of
// 1024 samples, written as a pair and reported from it as `lx9 report` does (open, analyse,
// lay out, paint, write), as PDF and as HTML. Goal: under 10 s. Also the report of the same test
// already in memory (the workbench's button), without the open.
//
// Files go to $LX9_BENCH_DIR (default /tmp) and are removed afterwards; the run is skipped when
// that disk has too little room. Figures are medians of $LX9_BENCH_ROUNDS (1) rounds.
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "data/data_file_writer.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "report/report_source.h"
#include "report/report_writer.h"
#include "ui/gui_application.h"

namespace {

using namespace lx9;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// This process's processor time: the machine is shared, so the wall time alone says little.
double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The worst test as the data-file benchmark builds it.
void fillTest(const CInfo& info, std::array<std::unique_ptr<CSampleDataList>, kMaxSections>& lists,
              int levels) {
    std::vector<uint16_t> wave(1024);
    for (int k = 0; k < kMaxSections; ++k) {
        lists[k] = std::make_unique<CSampleDataList>(1024, k);
        for (int l = 0; l < levels; ++l) {
            for (int j = 0; j < 1024; ++j)
                wave[j] = static_cast<uint16_t>(2048 + ((j * 13 + l * 7 + k) % 1500) - 750);
            lists[k]->append(wave.data(), info.startDepth - l * 0.01f);
            auto guard = lists[k]->lock();
            SamplePoint& p = *lists[k]->tail;
            p.tIndex = 100 + l % 300;
            p.ampIndex = p.tIndex + 20;
            p.gain = 80.0f;
            p.delay = -1.0f;
        }
    }
}

struct Figures {
    double seconds = 0;
    double cpu = 0;
    ReportOutcome outcome;
    uintmax_t bytes = 0;
};

Figures timeReport(const ReportRequest& request) {
    Figures f;
    const auto start = Clock::now();
    const double cpu = cpuSeconds();
    f.outcome = writeReport(request);
    f.seconds = secondsSince(start);
    f.cpu = cpuSeconds() - cpu;
    std::error_code ec;
    f.bytes = fs::file_size(request.out, ec);
    if (f.outcome.exitCode != 0) {
        std::printf("report failed: %s\n", f.outcome.error.c_str());
        std::exit(1);
    }
    return f;
}

}  // namespace

int main() {
    const fs::path dir = std::getenv("LX9_BENCH_DIR") ? std::getenv("LX9_BENCH_DIR") : "/tmp";
    struct statvfs vfs {};
    const uint64_t needed = 600ull << 20;  // the pair (262 MB) and the reports
    if (::statvfs(dir.c_str(), &vfs) != 0 || static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize < needed) {
        std::printf("skipped: %s has less than %llu MB free\n", dir.c_str(),
                    static_cast<unsigned long long>(needed >> 20));
        return 0;
    }
    const int rounds =
        std::max(1, std::getenv("LX9_BENCH_ROUNDS") ? std::atoi(std::getenv("LX9_BENCH_ROUNDS")) : 1);
    const std::string base = (dir / ("lx9-bench-report-" + std::to_string(::getpid()))).string();
    const fs::path cht = base + ".CHT", chd = base + ".CHD", pdf = base + ".pdf", html = base + ".html";
    struct Cleanup {
        std::vector<fs::path> files;
        ~Cleanup() {
            std::error_code ec;
            for (const fs::path& f : files)
                fs::remove(f, ec);
        }
    } cleanup{{cht, chd, pdf, html}};

    ui::OffscreenGui gui;
    testState = makeState(kStateViewing);
    {
        CInfo info;
        info.resetToDefaults();
        info.startDepth = 200.0f;
        info.pileLength = 200.0f;
        info.stepMm = 10;
        info.sampleLength = 1024;
        info.chtPath = cht.string();
        info.chdPath = chd.string();
        std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
        const int levels = expectedLevelCount(info);
        fillTest(info, lists, levels);
        CSaveFile file;
        if (!file.saveAtEnd(info, listPointers(lists))) {
            std::printf("save failed: %s\n", file.errorText().c_str());
            return 1;
        }
        std::printf("test: %d levels x %d sections x 1024 samples\n", levels, kMaxSections);
    }

    std::vector<double> pdfSeconds, htmlSeconds, memorySeconds, pdfCpu, htmlCpu, memoryCpu;
    Figures pdfFigures, htmlFigures;
    for (int round = 0; round < rounds; ++round) {
        ReportRequest request;
        request.file = cht.string();
        request.standard = "建筑";
        request.out = pdf;
        pdfFigures = timeReport(request);
        pdfSeconds.push_back(pdfFigures.seconds);
        pdfCpu.push_back(pdfFigures.cpu);
        request.out = html;
        htmlFigures = timeReport(request);
        htmlSeconds.push_back(htmlFigures.seconds);
        htmlCpu.push_back(htmlFigures.cpu);

        // The workbench's case: the test is open already.
        ReportTest open;
        std::string error;
        if (!openReportTest(cht.string(), open, error)) {
            std::printf("open failed: %s\n", error.c_str());
            return 1;
        }
        request.info = &open.info;
        request.lists = open.pointers();
        request.out = pdf;
        const Figures memory = timeReport(request);
        memorySeconds.push_back(memory.seconds);
        memoryCpu.push_back(memory.cpu);
    }
    std::printf(
        "report from the file, PDF:    %6.2f s wall, %6.2f s processor (%d pages, %d pictures, %.1f MB)"
        "  goal < 10 s\n",
        median(pdfSeconds), median(pdfCpu), pdfFigures.outcome.pages, pdfFigures.outcome.pictures,
        pdfFigures.bytes / 1e6);
    std::printf("report from the file, HTML:   %6.2f s wall, %6.2f s processor (%d pictures, %.1f MB)\n",
                median(htmlSeconds), median(htmlCpu), htmlFigures.outcome.pictures, htmlFigures.bytes / 1e6);
    std::printf("report of the open test, PDF: %6.2f s wall, %6.2f s processor\n", median(memorySeconds),
                median(memoryCpu));
    return 0;
}
