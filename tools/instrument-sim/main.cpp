// `lx9-instrument-sim`: the simulated instrument as a program. Listens on UDP until SIGINT or
// SIGTERM; with --port 0 it prints the port it was given.
#include <CLI/CLI.hpp>

#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <exception>

#include "instrument_simulator.h"
#include "scenario.h"

int main(int argc, char** argv) {
    CLI::App app{"LX9 instrument simulator: a crosshole sonic logging instrument on UDP, with a pile model"};
    lx9::sim::SimulatorOptions options;
    std::string scenarioPath;
    app.add_option("--port", options.port, "UDP port to listen on (0 = any free port, printed on start)")
        ->default_val(6543);
    app.add_option("--bind", options.bind, "IPv4 address to listen on")->default_val("127.0.0.1");
    app.add_option("--scenario", scenarioPath, "JSON scenario file (pile, defects, winch, faults)")
        ->check(CLI::ExistingFile);
    app.add_option("--seed", options.seed, "seed of every random choice (noise, spread, faults)")
        ->default_val(1);
    app.add_flag("--verbose", options.verbose, "print one line per datagram");
    app.add_option("--truth", options.truthPath,
                   "write the ground truth CSV (one row per level and section)");
    CLI11_PARSE(app, argc, argv);

    try {
        if (!scenarioPath.empty()) options.scenario = lx9::sim::loadScenario(scenarioPath);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lx9-instrument-sim: %s\n", e.what());
        return 2;
    }

    // Block the stop signals in every thread; this one waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    options.log = stdout;
    lx9::sim::InstrumentSimulator simulator(options);
    try {
        simulator.start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lx9-instrument-sim: %s\n", e.what());
        return 1;
    }
    std::printf("lx9-instrument-sim: listening on %s:%u (firmware %d, seed %llu)\n", options.bind.c_str(),
                simulator.port(), options.scenario.firmware, static_cast<unsigned long long>(options.seed));
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulator.stop();
    const auto s = simulator.stats();
    std::printf("lx9-instrument-sim: stopped after %llu requests (%llu replies)\n",
                static_cast<unsigned long long>(s.requests), static_cast<unsigned long long>(s.replies));
    return 0;
}
