// `lx9 instrument`: connects to the instrument the way the console does at start-up (handshake up
// to three tries, firmware version up to three tries, battery) and prints what it answered.
// Exit code 0 when the instrument answered the handshake, 1 otherwise.
#include <cstdio>

#include "cli/commands.h"
#include "instrument/kaxil_link.h"
#include "link/instrument_address.h"

namespace lx9::cli {
namespace {

void printAddress() {
    const kaxil::InstrumentSetting setting = kaxil::resolveInstrument();
    char address[32];
    kaxil::formatAddress(setting.address, address, sizeof address);
    if (setting.environmentRejected) {
        std::printf("warning: %s is not host:port, ignored\n", kaxil::kAddressVariable);
    }
    if (setting.configRejected) {
        std::printf("warning: the instrument line of %s is not host:port, ignored\n", setting.configPath);
    }
    switch (setting.source) {
        case kaxil::AddressSource::Environment:
            std::printf("instrument: %s (from %s)\n", address, kaxil::kAddressVariable);
            break;
        case kaxil::AddressSource::ConfigFile:
            std::printf("instrument: %s (from %s)\n", address, setting.configPath);
            break;
        case kaxil::AddressSource::Default:
            std::printf("instrument: %s (built-in default)\n", address);
            break;
    }
}

int runInstrument(InstrumentLink& link) {
    printAddress();
    uint8_t status = 0;
    for (int attempt = 0; attempt < 3 && status == 0; ++attempt)
        status = link.GetCommunicateStatus();
    if (status == 0) {
        std::printf("handshake: no answer\n");
        return 1;
    }
    std::printf("handshake: %s\n",
                status == 2 ? "connected; the instrument holds test data that was not saved" : "connected");
    uint8_t version = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        version = link.GetFirmwareVersion();
        if (version >= 2) break;
    }
    if (version == 0) {
        std::printf("firmware version: no answer\n");
    } else {
        std::printf("firmware version: %u%s\n", version,
                    version <= 4 ? " (real-time acquisition only: the instrument keeps no cache)" : "");
    }
    const uint8_t battery = link.GetBatteryQuantity();
    std::printf("battery: %u\n", battery);
    return 0;
}

}  // namespace

void addInstrumentCommand(CLI::App& app, Action& action) {
    auto* cmd = app.add_subcommand(
        "instrument",
        "Connect to the instrument (KAXIL_INSTRUMENT or kaxil.conf), print its firmware and battery");
    cmd->callback([&action] {
        action = [] {
            KaxilLink link;
            return runInstrument(link);
        };
    });
}

}  // namespace lx9::cli
