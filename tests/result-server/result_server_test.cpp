#include "result_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>

#include "../upload/upload_fixtures.h"
#include "upload/upload_packets.h"

namespace lx9::server {
namespace {

using namespace lx9::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A plain loopback client: sends bytes, reads what the server answers within a time.
class Client {
  public:
    explicit Client(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { ::close(fd_); }
    bool connected() const { return connected_; }
    void send(const std::vector<uint8_t>& b) {
        ASSERT_EQ(::send(fd_, b.data(), b.size(), MSG_NOSIGNAL), static_cast<ssize_t>(b.size()));
    }
    // Bytes received until `count` have come or `wait` passed; "closed" when the server hung up.
    std::string read(std::size_t count, std::chrono::milliseconds wait = 2000ms) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + wait;
        while (got.size() < count) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[256];
            ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return got + "closed";
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    // Sends and expects the two-byte acknowledgement.
    bool exchange(const std::vector<uint8_t>& b) {
        send(b);
        return read(2) == "OK";
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

class ResultServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lx9-store-XXXXXX";
        store = ::mkdtemp(pattern);
        options.port = 0;
        options.store = store;
        options.packetTimeout = 150ms;
        info = smallTest();
        fillSmallTest(info, lists);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(store, ec);
    }
    std::unique_ptr<ResultServer> startServer() {
        auto s = std::make_unique<ResultServer>(options);
        std::string error;
        EXPECT_TRUE(s->start(&error)) << error;
        EXPECT_NE(s->port(), 0);
        return s;
    }
    // A whole small upload on one connection; `image` is the one chunk of each section.
    void upload(Client& c, const PacketIdentity& id, const std::vector<uint8_t>& image) {
        ASSERT_TRUE(c.exchange(fileHeaderPacket1(id, info, info.uploadFile, 45356.0)));
        ASSERT_TRUE(c.exchange(fileHeaderPacket2(id, info)));
        for (int level = 0; level < 4; ++level)
            ASSERT_TRUE(c.exchange(dataPacket(id, info, dataLevel(info, lists, level))));
        ASSERT_TRUE(c.exchange(criteriaPacket(id, info, {}, 1)));
        ASSERT_TRUE(c.exchange(imageChunkPacket(id, "1-2", 1, image)));
        ASSERT_TRUE(c.exchange(imageChunkPacket(id, "1-3", 1, image)));
        ASSERT_TRUE(c.exchange(endPacket(id, info, 20.0f)));
    }

    fs::path store;
    ServerOptions options;
    CInfo info;
    OwnedLists lists;
};

TEST_F(ResultServerTest, ABadChecksumGetsOneByteAndTheConnectionGoesOn) {
    auto server = startServer();
    Client c(server->port());
    ASSERT_TRUE(c.connected());
    auto packet = fileHeaderPacket1(smallIdentity(), info, info.uploadFile, 45356.0);
    auto bad = packet;
    bad.back() ^= 0x55;
    c.send(bad);
    EXPECT_EQ(c.read(2, 300ms), "E");
    EXPECT_TRUE(c.exchange(packet));  // the re-sent packet is taken
    EXPECT_EQ(server->packetsRejected(), 1u);
    EXPECT_EQ(server->packetsAccepted(), 1u);
}

TEST_F(ResultServerTest, ATruncatedPacketIsRefusedWhenThePacketTimeOutPasses) {
    auto server = startServer();
    Client c(server->port());
    const auto packet = fileHeaderPacket2(smallIdentity(), info);
    c.send(std::vector<uint8_t>(packet.begin(), packet.begin() + 200));
    EXPECT_EQ(c.read(1, 2000ms), "E");
    // The rest of the stream starts afresh: a whole packet is taken (but needs its header 1).
    EXPECT_TRUE(c.exchange(fileHeaderPacket1(smallIdentity(), info, info.uploadFile, 45356.0)));
    EXPECT_TRUE(c.exchange(packet));
}

TEST_F(ResultServerTest, AFloodOfGarbageIsRefusedAndTheServerStaysUp) {
    auto server = startServer();
    {
        Client c(server->port());
        std::mt19937 random(7);
        std::vector<uint8_t> garbage(1 << 20);
        for (auto& b : garbage) {
            b = static_cast<uint8_t>(random());
            if (b == 'K') b = 'k';  // no packet can begin inside it
        }
        c.send(garbage);
        const std::string answer = c.read(1, 2000ms);
        ASSERT_FALSE(answer.empty());
        EXPECT_EQ(answer[0], 'E');
        // Drain the refusals, then the connection still works.
        while (!c.read(4096, 200ms).empty()) {
        }
        EXPECT_TRUE(c.exchange(fileHeaderPacket1(smallIdentity(), info, info.uploadFile, 45356.0)));
    }
    // Oversized lengths are refused at once, not waited for.
    Client d(server->port());
    d.send({'K', 'P', 'X', 0, 0, 0, 1, 'F', 'F'});
    EXPECT_EQ(d.read(1, 1000ms), "E");
    Client e(server->port());
    EXPECT_TRUE(e.exchange(fileHeaderPacket1(smallIdentity(), info, info.uploadFile, 45356.0)));
}

TEST_F(ResultServerTest, StoresUploadsFromSeveralConnectionsAtOnce) {
    auto server = startServer();
    Client a(server->port()), b(server->port());
    PacketIdentity ida = smallIdentity(), idb = smallIdentity();
    idb.serialNumber = "S2024-02";
    const std::vector<uint8_t> image(300, 0x42);
    // Interleave the two uploads packet by packet.
    ASSERT_TRUE(a.exchange(fileHeaderPacket1(ida, info, "/x/A.CHT", 45356.0)));
    ASSERT_TRUE(b.exchange(fileHeaderPacket1(idb, info, "/x/B.CHT", 45356.0)));
    ASSERT_TRUE(a.exchange(endPacket(ida, info, 1.0f)));
    upload(b, idb, image);
    EXPECT_EQ(server->uploadsStored(), 2u);

    const fs::path jobB = store / "LX9-0001" / "S2024-02";
    std::ifstream in(jobB / "job.json");
    const auto j = nlohmann::json::parse(in);
    EXPECT_EQ(j["header"]["fileName"], "P7");  // the last header 1 on this connection
    EXPECT_EQ(j["levels"].size(), 4u);
    EXPECT_EQ(fs::file_size(jobB / "1-3.png"), 300u);
    EXPECT_TRUE(fs::exists(store / "LX9-0001" / "S2024-01" / "job.json"));

    // The same names again replace the earlier upload whole; nothing is left beside it.
    Client c(server->port());
    upload(c, idb, std::vector<uint8_t>(10, 1));
    EXPECT_EQ(fs::file_size(jobB / "1-2.png"), 10u);
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(store / "LX9-0001"))
        ++entries;
    EXPECT_EQ(entries, 2);
}

TEST_F(ResultServerTest, PacketsOutOfTheirUploadAreRefused) {
    auto server = startServer();
    Client c(server->port());
    c.send(endPacket(smallIdentity(), info, 1.0f));  // no header 1 before it
    EXPECT_EQ(c.read(2, 300ms), "E");
    EXPECT_EQ(server->uploadsStored(), 0u);
}

TEST_F(ResultServerTest, IdleConnectionsAreClosedAndStopIsClean) {
    options.idleTimeout = 100ms;
    auto server = startServer();
    Client idle(server->port());
    EXPECT_EQ(idle.read(1, 2000ms), "closed");
    Client open(server->port());
    ASSERT_TRUE(open.exchange(fileHeaderPacket1(smallIdentity(), info, info.uploadFile, 45356.0)));
    server->stop();  // with a connection open
    EXPECT_EQ(open.read(1, 1000ms), "closed");
    Client refused(server->port());
    EXPECT_FALSE(refused.connected());
}

}  // namespace
}  // namespace lx9::server
