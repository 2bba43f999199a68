// Where the link looks for the instrument: KAXIL_INSTRUMENT, then kaxil.conf, then 127.0.0.1:6543.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "link/instrument_address.h"

namespace {

std::string text(const sockaddr_in& a) {
    char buffer[32];
    kaxil::formatAddress(a, buffer, sizeof buffer);
    return buffer;
}

class ConfigFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kaxil-conf-XXXXXX";
        int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = pattern;
    }
    void TearDown() override { unlink(path_.c_str()); }
    void write(const std::string& content) { std::ofstream(path_) << content; }

    std::string path_;
};

TEST(ParseInstrumentAddress, AcceptsDottedIpv4WithOrWithoutPort) {
    sockaddr_in a{};
    ASSERT_TRUE(kaxil::parseInstrumentAddress("127.0.0.1:7000", &a));
    EXPECT_EQ(text(a), "127.0.0.1:7000");
    ASSERT_TRUE(kaxil::parseInstrumentAddress("  127.0.0.2  ", &a));
    EXPECT_EQ(text(a), "127.0.0.2:6543");
    ASSERT_TRUE(kaxil::parseInstrumentAddress("127.0.0.3:65535", &a));
    EXPECT_EQ(a.sin_family, AF_INET);

    for (const char* bad : {"", "localhost:6543", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536",
                            "127.0.0.1:12a", "127.0.0:6543", "127.0.0.1:6543:1", "127.0.0.1:-5", "::1"}) {
        sockaddr_in untouched{};
        untouched.sin_port = 77;
        EXPECT_FALSE(kaxil::parseInstrumentAddress(bad, &untouched)) << bad;
        EXPECT_EQ(untouched.sin_port, 77) << "a rejected text leaves the address alone";
    }
    EXPECT_FALSE(kaxil::parseInstrumentAddress(nullptr, &a));
}

TEST_F(ConfigFile, TheEnvironmentComesFirstThenTheFileThenTheDefault) {
    write("# instrument on the test bench\ninstrument = 127.0.0.5:7001\n");
    auto s = kaxil::resolveInstrument("127.0.0.4:7000", path_.c_str());
    EXPECT_EQ(s.source, kaxil::AddressSource::Environment);
    EXPECT_EQ(text(s.address), "127.0.0.4:7000");

    s = kaxil::resolveInstrument(nullptr, path_.c_str());
    EXPECT_EQ(s.source, kaxil::AddressSource::ConfigFile);
    EXPECT_EQ(text(s.address), "127.0.0.5:7001");
    EXPECT_EQ(std::string(s.configPath), path_);

    s = kaxil::resolveInstrument("not an address", path_.c_str());
    EXPECT_TRUE(s.environmentRejected);
    EXPECT_EQ(s.source, kaxil::AddressSource::ConfigFile);

    s = kaxil::resolveInstrument(nullptr, "/nonexistent/kaxil.conf");
    EXPECT_EQ(s.source, kaxil::AddressSource::Default);
    EXPECT_EQ(text(s.address), "127.0.0.1:6543");
    s = kaxil::resolveInstrument(nullptr, nullptr);
    EXPECT_EQ(s.source, kaxil::AddressSource::Default);
}

TEST_F(ConfigFile, OnlyTheFirstInstrumentLineCountsAndABadOneFallsBackToTheDefault) {
    write("other = 1\n\n  instrument=127.0.0.6 \ninstrument = 127.0.0.7:1\n");
    auto s = kaxil::resolveInstrument(nullptr, path_.c_str());
    EXPECT_EQ(text(s.address), "127.0.0.6:6543");

    write("instrument = somewhere\n");
    s = kaxil::resolveInstrument(nullptr, path_.c_str());
    EXPECT_TRUE(s.configRejected);
    EXPECT_EQ(s.source, kaxil::AddressSource::Default);
    EXPECT_EQ(text(s.address), "127.0.0.1:6543");

    write("#instrument = 127.0.0.8:9\n");
    s = kaxil::resolveInstrument(nullptr, path_.c_str());
    EXPECT_EQ(s.source, kaxil::AddressSource::Default);
    EXPECT_FALSE(s.configRejected);
}

TEST(ResolveInstrument, ReadsTheProcessEnvironment) {
    setenv("KAXIL_INSTRUMENT", "127.0.0.9:4321", 1);
    const auto s = kaxil::resolveInstrument();
    unsetenv("KAXIL_INSTRUMENT");
    EXPECT_EQ(s.source, kaxil::AddressSource::Environment);
    EXPECT_EQ(text(s.address), "127.0.0.9:4321");
}

}  // namespace
