// `lx9 upload FILE.CHT --server host:port --instrument N --serial S`: sends a saved test to a
// result server — headers, levels, criteria under the test's standard, each present section's
// wave-train image and the end packet — with a progress bar on the terminal.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

#include "analysis/pile_analysis.h"
#include "cli/commands.h"
#include "cli/test_file.h"
#include "ui/gui_application.h"
#include "upload/section_image.h"
#include "upload/upload_form.h"
#include "upload/upload_job.h"

namespace lx9::cli {
namespace {

struct UploadArgs {
    std::string file;
    std::string server = "127.0.0.1:5005";
    std::string instrument;
    std::string serial;
};

// "host:port" with an IPv4 host ("localhost" is the loopback address).
bool parseServer(const std::string& text, uint32_t& address, long long& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = text.substr(0, colon);
    const auto parsed = host == "localhost" ? std::optional<uint32_t>(0x7F000001) : parseIpv4(host);
    if (!parsed) return false;
    address = *parsed;
    try {
        std::size_t used = 0;
        port = std::stoll(text.substr(colon + 1), &used);
        return used == text.size() - colon - 1;
    } catch (...) {
        return false;
    }
}

// One terminal line redrawn in place on a terminal; elsewhere one line per step (image chunks
// only at the start of each image).
class ProgressPrinter {
  public:
    ProgressPrinter() : tty_(::isatty(STDOUT_FILENO)) {}
    void show(const UploadProgress& p) {
        const bool chunk = p.text.find("波列图的数据包(已完成") != std::string::npos;
        if (tty_) {
            const int filled = static_cast<int>(p.fraction * 30 + 0.5);
            std::printf("\r\033[K[%s%s] %3d%% %s", std::string(filled, '#').c_str(),
                        std::string(30 - filled, '.').c_str(), static_cast<int>(p.fraction * 100),
                        p.text.c_str());
        } else if (!chunk || p.text.find("(已完成0.00%)") != std::string::npos) {
            std::printf("%3d%% %s\n", static_cast<int>(p.fraction * 100), p.text.c_str());
        }
        std::fflush(stdout);
    }
    void end() {
        if (tty_) std::printf("\n");
    }

  private:
    bool tty_;
};

int runUploadCommand(const UploadArgs& args) {
    uint32_t address = 0;
    long long port = 0;
    if (!parseServer(args.server, address, port)) {
        std::fprintf(stderr, "lx9 upload: --server wants host:port with an IPv4 host, not \"%s\"\n",
                     args.server.c_str());
        return 2;
    }
    if (auto message = validateUploadStart({args.file, args.serial, args.instrument, port})) {
        std::fprintf(stderr, "lx9 upload: %s\n", message->c_str());
        return 2;
    }

    ui::OffscreenGui gui;
    LoadedTest test;
    std::string error;
    if (!loadTestFile(args.file, test, error)) {
        std::fprintf(stderr, "lx9 upload: %s\n", error.c_str());
        return 1;
    }
    std::printf("uploading %s (pile %s) to %s as %s / %s\n", args.file.c_str(), test.info.pileId.c_str(),
                args.server.c_str(), args.instrument.c_str(), args.serial.c_str());

    UploadRequest request;
    request.info = test.info;
    request.info.uploadFile = args.file;
    request.settings = {args.instrument, args.serial, address, static_cast<uint16_t>(port)};
    request.lists = test.pointers();
    ProgressPrinter printer;
    UploadHooks hooks;
    hooks.progress = [&printer](const UploadProgress& p) { printer.show(p); };
    hooks.computeCriticals = [](const CInfo& info, const SectionLists& lists) {
        storeUploadCriticals(info, lists);
    };
    hooks.renderImage = renderSectionImage;
    hooks.console = [](std::string_view text) {
        std::fprintf(stderr, "%.*s%s", static_cast<int>(text.size()), text.data(),
                     text.ends_with('\n') ? "" : "\n");
    };

    // Ctrl-C cancels the upload at once instead of killing it mid-packet.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    UploadJob job;
    job.start(std::move(request), std::move(hooks));
    std::thread watcher([&job, signals] {
        int sig = 0;
        while (job.running()) {
            timespec poll{0, 100'000'000};
            sig = sigtimedwait(&signals, nullptr, &poll);
            if (sig > 0) job.cancel();
        }
    });
    const UploadResult result = job.wait();
    watcher.join();
    printer.end();
    std::printf("%s\n", result.message.c_str());
    return result.ok ? 0 : 1;
}

}  // namespace

void addUploadCommand(CLI::App& app, Action& action) {
    auto args = std::make_shared<UploadArgs>();
    auto* cmd = app.add_subcommand(
        "upload", "Send a saved test, its criteria and wave-train images to a result server");
    cmd->add_option("file", args->file, "the test's .CHT file")->required();
    cmd->add_option("--server", args->server, "result server as host:port (IPv4)")->capture_default_str();
    // Not required here: a missing number gets the upload dialog's own message.
    cmd->add_option("--instrument", args->instrument, "instrument number");
    cmd->add_option("--serial", args->serial, "job serial number");
    cmd->callback([&action, args] { action = [args] { return runUploadCommand(*args); }; });
}

}  // namespace lx9::cli
