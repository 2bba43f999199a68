// lx9-result-server: the reference result server for uploads.
//   lx9-result-server --port 5005 --bind 127.0.0.1 --store DIR
// Runs until SIGINT or SIGTERM; prints one line per connection, rejected packet and stored upload.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>

#include "result_server.h"

int main(int argc, char** argv) {
    CLI::App app{"LX9 reference result server: stores uploads as job.json and PNG files"};
    int port = 5005;
    std::string bind = "127.0.0.1";
    std::string store;
    int idle = 60;
    app.add_option("--port", port, "TCP port (0: any free port)")->check(CLI::Range(0, 65535));
    app.add_option("--bind", bind, "IPv4 address to listen on");
    app.add_option("--store", store, "folder that receives the uploads")->required();
    app.add_option("--idle", idle, "seconds after which a silent connection is closed")
        ->check(CLI::Range(1, 86400));
    CLI11_PARSE(app, argc, argv);

    // The signals are taken by sigwait below, not by a handler.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    lx9::server::ServerOptions options;
    options.bind = bind;
    options.port = static_cast<uint16_t>(port);
    options.store = store;
    options.idleTimeout = std::chrono::seconds(idle);
    options.log = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    lx9::server::ResultServer server(options);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "lx9-result-server: %s\n", error.c_str());
        return 1;
    }
    std::printf("lx9-result-server: listening on %s:%u, storing in %s\n", bind.c_str(), server.port(),
                store.c_str());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&signals, &sig);
    server.stop();
    std::printf("lx9-result-server: stopped (%llu uploads stored)\n",
                static_cast<unsigned long long>(server.uploadsStored()));
    return 0;
}
