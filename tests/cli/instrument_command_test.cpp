// `lx9 instrument` end to end: the program loads libkaxil.so, finds the instrument through
// KAXIL_INSTRUMENT or a kaxil.conf beside itself, and reports the handshake, firmware and battery.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "scripted_peer.h"

namespace lx9::test {
namespace {

struct ProgramRun {
    int exitCode;
    std::string output;
};

ProgramRun run(const std::string& command) {
    ProgramRun r{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Answers like an instrument: handshake, firmware version and battery.
ScriptedPeer::Responder instrument(const char* handshake, uint8_t version, uint8_t battery) {
    return [=](const Bytes& request) -> std::vector<Datagram> {
        if (request == bytes("a\0")) return {Datagram{Bytes(handshake, handshake + 4)}};
        if (request == bytes("f\0")) return {Datagram{Bytes{version, 'R', 0, 0, 'f'}}};
        if (request == bytes("b\0")) return {Datagram{Bytes{battery, 'R', 0, 0, 'b'}}};
        return {};
    };
}

TEST(InstrumentCommand, ReportsTheInstrumentNamedByTheEnvironment) {
    ScriptedPeer peer;
    peer.setResponder(instrument("R\0\0A", 7, 85));
    const ProgramRun r = run("KAXIL_INSTRUMENT=" + peer.address() + " '" LX9_PROGRAM "' instrument");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("instrument: " + peer.address() + " (from KAXIL_INSTRUMENT)"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("handshake: connected; the instrument holds test data that was not saved"),
              std::string::npos);
    EXPECT_NE(r.output.find("firmware version: 7\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("battery: 85"), std::string::npos);
    ASSERT_TRUE(peer.waitForRequests(3));
    const auto requests = peer.requests();
    EXPECT_EQ(requests[0].bytes, bytes("a\0"));
    EXPECT_EQ(requests[1].bytes, bytes("f\0"));
    EXPECT_EQ(requests[2].bytes, bytes("b\0"));
}

TEST(InstrumentCommand, AnOldFirmwareIsAskedThreeTimesAndNamedAsSuch) {
    ScriptedPeer peer;
    peer.setResponder(instrument("R\0\0a", 1, 40));
    const ProgramRun r = run("KAXIL_INSTRUMENT=" + peer.address() + " '" LX9_PROGRAM "' instrument");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("handshake: connected\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("firmware version: 1 (real-time acquisition only"), std::string::npos)
        << r.output;
    ASSERT_TRUE(peer.waitForRequests(5));
    EXPECT_EQ(peer.requests()[3].bytes, bytes("f\0"));
}

TEST(InstrumentCommand, NoAnswerAfterThreeHandshakesExitsWithOne) {
    ScriptedPeer peer;
    const ProgramRun r = run("KAXIL_INSTRUMENT=" + peer.address() + " '" LX9_PROGRAM "' instrument");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("handshake: no answer"), std::string::npos) << r.output;
    EXPECT_EQ(peer.requestCount(), 3u);
}

TEST(InstrumentCommand, FindsTheInstrumentInAKaxilConfBesideTheProgram) {
    ScriptedPeer peer;
    peer.setResponder(instrument("R\0\0a", 9, 60));
    char pattern[] = "/tmp/lx9-conf-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    std::filesystem::copy_file(LX9_PROGRAM, dir / "lx9");
    std::ofstream(dir / "kaxil.conf") << "# the bench instrument\ninstrument = " << peer.address() << "\n";

    ProgramRun r = run("env -u KAXIL_INSTRUMENT '" + (dir / "lx9").string() + "' instrument");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("(from " + (dir / "kaxil.conf").string() + ")"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("firmware version: 9"), std::string::npos);

    // A malformed variable is reported and passed over.
    r = run("KAXIL_INSTRUMENT=instrument.local '" + (dir / "lx9").string() + "' instrument");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("warning: KAXIL_INSTRUMENT is not host:port, ignored"), std::string::npos)
        << r.output;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lx9::test
