// The worst real test: a 200 m pile at a 10 mm step (20 001 levels), six sections of 1024
// samples, about 245 MB of waveforms. Prints the time to write it at the end and in real time,
// the time to open it and the open's peak memory, beside dd writing and cat reading the same
// number of bytes on the same disk.
//
// Files go to $LX9_BENCH_DIR (default /tmp) and are removed afterwards; the run is skipped when
// that disk has too little room. The real-time run syncs every level, so by default it times
// the first $LX9_BENCH_REALTIME_LEVELS (2000) levels and extrapolates; set it to 20001 for all.
// The other figures are medians of $LX9_BENCH_ROUNDS (3) rounds.
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "data/data_file_reader.h"
#include "data/data_file_writer.h"
#include "data/globals.h"
#include "data/run_state.h"

extern char** environ;

namespace {

using namespace lx9;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int envInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

// Runs argv with stdout to `out` (or /dev/null) and stderr to /dev/null; returns its wall time
// and, when asked, its peak resident memory in bytes.
double run(const std::vector<std::string>& args, int out = -1, long* maxRss = nullptr) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out >= 0) {
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot run %s\n", argv[0]);
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = secondsSince(start);
    posix_spawn_file_actions_destroy(&actions);
    if (maxRss) *maxRss = usage.ru_maxrss * 1024L;
    return seconds;
}

// Drops a file's cached pages, so the next read comes from the disk.
void evict(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// This process's own peak resident memory (VmHWM). The rusage of a spawned child is no use here:
// Linux carries the parent's peak over into the child's ru_maxrss at exec, and the parent holds
// the whole test.
long peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6) * 1024L;
    }
    return 0;
}

// Processor time of this process so far, user and system, all threads: on a shared machine it
// varies less than the wall time.
double processorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Child mode: open the pair as the program does and print the open's time, level count and
// peak memory.
int openChild(const char* base) {
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    CInfo info;
    info.resetToDefaults();
    const auto start = Clock::now();
    const OpenReport report = openDataFile(base, info, [&](const CInfo& header) {
        for (int k = 0; k < kMaxSections; ++k)
            lists[k] = std::make_unique<CSampleDataList>(header.sampleLength, k);
        return listPointers(lists);
    });
    const double seconds = secondsSince(start);
    std::printf("%.6f %d %ld %.6f %s\n", seconds, report.levels, peakResidentBytes(), processorSeconds(),
                report.ok ? "ok" : report.error.c_str());
    return report.ok ? 0 : 1;
}

// Child mode: read a file into one fresh buffer, the least an open that keeps the waveforms in
// memory must do (the disk read plus the first touch of that much memory).
int readChild(const char* path) {
    const auto start = Clock::now();
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0) return 1;
    const auto size = static_cast<size_t>(fs::file_size(path));
    // Fresh memory asked for in huge pages, as the waveform pool asks for it.
    void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return 1;
    ::madvise(mapped, size, MADV_HUGEPAGE);
    auto* buffer = static_cast<uint8_t*>(mapped);
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::read(fd, buffer + done, std::min<size_t>(size - done, 1 << 20));
        if (n <= 0) return 1;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    std::printf("%.6f 0 %ld %.6f ok\n", secondsSince(start), peakResidentBytes(), processorSeconds());
    return 0;
}

struct OpenFigures {
    double seconds = 0;
    double processor = 0;  // the whole child's processor time, start-up included
    long maxRss = 0;
    int levels = 0;
};

OpenFigures timeChild(const std::string& self, const char* mode, const std::string& path) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) std::exit(1);
    OpenFigures f;
    run({self, mode, path}, pipeFds[1]);
    ::close(pipeFds[1]);
    char text[512] = {};
    const ssize_t n = ::read(pipeFds[0], text, sizeof text - 1);
    ::close(pipeFds[0]);
    if (n <= 0 || std::sscanf(text, "%lf %d %ld %lf", &f.seconds, &f.levels, &f.maxRss, &f.processor) != 4) {
        std::fprintf(stderr, "open failed: %s\n", text);
        std::exit(1);
    }
    return f;
}

// The worst real test's record, saved as base.CHT and base.CHD.
CInfo benchInfo(const std::string& base) {
    CInfo info;
    info.resetToDefaults();
    info.startDepth = 200.0f;
    info.pileLength = 200.0f;
    info.stepMm = 10;
    info.sampleLength = 1024;
    info.chtPath = base + std::string(kChtSuffix);
    info.chdPath = base + std::string(kChdSuffix);
    return info;
}

void fillTest(CInfo& info, std::array<std::unique_ptr<CSampleDataList>, kMaxSections>& lists, int levels) {
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

// Writes the test to base.CHT / base.CHD and keeps it, for profiling the open on its own
// ("--open-child base" under perf).
int writePair(const std::string& base) {
    CInfo info = benchInfo(base);
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    fillTest(info, lists, expectedLevelCount(info));
    CSaveFile file;
    if (!file.saveAtEnd(info, listPointers(lists))) {
        std::printf("save failed: %s\n", file.errorText().c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--open-child") == 0) return openChild(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--read-child") == 0) return readChild(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--write-pair") == 0) return writePair(argv[2]);

    const fs::path dir = std::getenv("LX9_BENCH_DIR") ? std::getenv("LX9_BENCH_DIR") : "/tmp";
    struct statvfs vfs {};
    const uint64_t needed = 900ull << 20;  // the pair (262 MB) twice at most, and dd's file
    if (::statvfs(dir.c_str(), &vfs) != 0 || static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize < needed) {
        std::printf("skipped: %s has less than %llu MB free\n", dir.c_str(),
                    static_cast<unsigned long long>(needed >> 20));
        return 0;
    }
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string base = (dir / ("lx9-bench-" + std::to_string(::getpid()))).string();
    const fs::path cht = base + ".CHT", chd = base + ".CHD", ddFile = base + ".dd";
    // Whatever happens, the quarter gigabyte does not stay behind.
    struct Cleanup {
        std::vector<fs::path> files;
        ~Cleanup() {
            std::error_code ec;
            for (const fs::path& f : files)
                fs::remove(f, ec);
        }
    } cleanup{{cht, chd, ddFile}};

    testState = makeState(kStateViewing);  // plain indexing for the real-time run
    CInfo info = benchInfo(base);
    const int levels = expectedLevelCount(info);
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    fillTest(info, lists, levels);
    const double sampleBytes = 2.0 * 1024 * kMaxSections * levels;
    std::printf("test: %d levels x %d sections x 1024 samples = %.1f MB of waveforms\n", levels, kMaxSections,
                sampleBytes / 1e6);

    // The disk and the processors are shared, so every figure is the median of a few rounds,
    // each measurement interleaved with its reference.
    const int rounds = std::max(1, envInt("LX9_BENCH_ROUNDS", 3));
    std::vector<double> save, dd, openDisk, catDisk, openCache, catCache, readFresh, openCacheCpu;
    long maxRss = 0;
    uint64_t pairBytes = 0;
    for (int round = 0; round < rounds; ++round) {
        CSaveFile atEnd;
        const auto start = Clock::now();
        if (!atEnd.saveAtEnd(info, listPointers(lists))) {
            std::printf("save failed: %s\n", atEnd.errorText().c_str());
            return 1;
        }
        save.push_back(secondsSince(start));
        pairBytes = fs::file_size(cht) + fs::file_size(chd);
        const std::string blocks = std::to_string((pairBytes + (1 << 20) - 1) >> 20);
        dd.push_back(run({"dd", "if=/dev/zero", "of=" + ddFile.string(), "bs=1M", "count=" + blocks,
                          "conv=fdatasync", "status=none"}));
        fs::remove(ddFile);

        evict(cht);
        evict(chd);
        const OpenFigures cold = timeChild(self, "--open-child", base);
        if (cold.levels != levels) std::printf("!! the open read %d levels\n", cold.levels);
        openDisk.push_back(cold.seconds);
        maxRss = std::max(maxRss, cold.maxRss);
        evict(cht);
        evict(chd);
        catDisk.push_back(run({"cat", cht.string(), chd.string()}));
        const OpenFigures warm = timeChild(self, "--open-child", base);
        openCache.push_back(warm.seconds);
        openCacheCpu.push_back(warm.processor);
        catCache.push_back(run({"cat", cht.string(), chd.string()}));
        readFresh.push_back(timeChild(self, "--read-child", chd.string()).seconds);
    }
    std::printf("pair: %.1f MB (.CHT %.1f MB); medians of %d rounds\n", pairBytes / 1e6,
                fs::file_size(cht) / 1e6, rounds);
    std::printf("save at end:        %7.3f s   dd conv=fdatasync: %7.3f s   ratio %.2f (goal <= 1.5)\n",
                median(save), median(dd), median(save) / median(dd));
    std::printf("open from disk:     %7.3f s   cat from disk:     %7.3f s   ratio %.2f (goal <= 2)\n",
                median(openDisk), median(catDisk), median(openDisk) / median(catDisk));
    std::printf(
        "open from cache:    %7.3f s   cat from cache:    %7.3f s   ratio %.2f (goal: open <= 0.1 s)\n",
        median(openCache), median(catCache), median(openCache) / median(catCache));
    std::printf("open from cache, processor time of the whole child (all threads): %.3f s\n",
                median(openCacheCpu));
    std::printf(
        "read .CHD into fresh huge-page memory, from cache: %.3f s (what any open that keeps the "
        "waveforms costs); open / that: %.2f\n",
        median(readFresh), median(openCache) / median(readFresh));
    std::printf("open peak memory:   %7.1f MB  waveforms:         %7.1f MB  ratio %.3f (goal <= 1.1)\n",
                maxRss / 1e6, sampleBytes / 1e6, maxRss / sampleBytes);

    const int realTimeLevels = std::clamp(envInt("LX9_BENCH_REALTIME_LEVELS", 2000), 1, levels);
    CSaveFile realTime;
    double slowest = 0;
    const auto start = Clock::now();
    if (!realTime.createFiles(info)) {
        std::printf("real-time create failed: %s\n", realTime.errorText().c_str());
        return 1;
    }
    for (int level = 0; level < realTimeLevels; ++level) {
        const auto one = Clock::now();
        if (!realTime.writeLevel(info, listPointers(lists), level)) {
            std::printf("real-time write failed: %s\n", realTime.errorText().c_str());
            return 1;
        }
        slowest = std::max(slowest, secondsSince(one));
    }
    realTime.close();
    const double realTimeSeconds = secondsSince(start);
    std::printf("real time, synced:  %7.3f s for %d levels (%.2f ms a level, slowest %.1f ms)",
                realTimeSeconds, realTimeLevels, realTimeSeconds * 1000 / realTimeLevels, slowest * 1000);
    if (realTimeLevels < levels) {
        std::printf("; all %d levels about %.0f s", levels, realTimeSeconds / realTimeLevels * levels);
    }
    std::printf("\n");

    return 0;
}
