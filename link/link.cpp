#include "link/link.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "link/instrument_address.h"

namespace kaxil {
namespace {

int64_t nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Waits until fd is readable, up to timeoutMs. A signal does not cut the wait short: the wait
// goes on for the time that is left. False on a time-out or a wait error.
bool waitReadable(int fd, int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int left = static_cast<int>(deadline - nowMs());
        if (left < 0) left = 0;
        int r = poll(&p, 1, left);
        if (r > 0) return true;  // readable, or an error the receive will report
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace

int openDatagramSocket() {
    return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

int closeDescriptor(int fd) {
    return close(fd);
}

Link::~Link() {
    if (socket_ >= 0) api_.closeSocket(socket_);
}

// Socket set-up, the same after a handshake and after a flush: a fresh socket, the peer address
// back at the configured instrument, 512 KiB buffers so a frame of several kilobytes arrives
// whole.
bool Link::openLinkSocket() {
    socket_ = api_.openSocket();
    if (socket_ < 0) {
        socket_ = -1;
        return false;
    }
    peer_ = resolveInstrument().address;
    const int size = kSocketBufferBytes;
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(socket_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    return true;
}

// After a failed exchange: when a stale datagram is waiting, drop this socket (and with it every
// late reply still on its way to the old port) and start over on a new ephemeral port.
void Link::FlushLink() {
    if (socket_ < 0) return;
    uint8_t discard[kFlushReceiveSize];
    ioctl(socket_, FIONBIO, &nonBlocking_);
    socklen_t length = sizeof peer_;
    ssize_t n = recvfrom(socket_, discard, sizeof discard, 0, reinterpret_cast<sockaddr*>(&peer_), &length);
    if (n <= 0) return;
    length = sizeof peer_;
    recvfrom(socket_, discard, sizeof discard, 0, reinterpret_cast<sockaddr*>(&peer_), &length);
    // (SO_DONTLINGER has no POSIX counterpart and would not affect a datagram socket anyway.)
    shutdown(socket_, SHUT_RDWR);
    // Even when the close reports an error the descriptor is gone: never keep it marked valid.
    api_.closeSocket(socket_);
    socket_ = -1;
    openLinkSocket();
}

bool Link::exchange(const uint8_t* request, size_t length, bool dataRead, void* reply, size_t capacity,
                    ssize_t* received) {
    if (socket_ < 0) {
        FlushLink();
        return false;
    }
    if (request) {
        sendto(socket_, request, length, 0, reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_);
    }
    if (!waitReadable(socket_, dataRead ? kDataTimeoutMs : kCommandTimeoutMs)) {
        FlushLink();
        return false;
    }
    ioctl(socket_, FIONBIO, &nonBlocking_);
    socklen_t addressLength = sizeof peer_;
    *received = recvfrom(socket_, reply, capacity, 0, reinterpret_cast<sockaddr*>(&peer_), &addressLength);
    return true;
}

uint8_t Link::commandExchange(const uint8_t* request, size_t length, const Command& command) {
    uint8_t reply[kCommandReplySize];
    ssize_t received = 0;
    if (!exchange(request, length, false, reply, sizeof reply, &received)) return 0;
    const Verdict verdict = judgeReply(command, reply, received);
    if (verdict.flush) FlushLink();
    return verdict.result;
}

uint8_t Link::GetCommunicateStatus() {
    if (socket_ >= 0) {
        api_.closeSocket(socket_);
        socket_ = -1;
    }
    if (!openLinkSocket()) {
        FlushLink();
        return 0;
    }
    uint8_t request[2];
    return commandExchange(request, textRequest("a", request), kHandshake);
}

uint8_t Link::GetFirmwareVersion() {
    uint8_t request[2];
    return commandExchange(request, textRequest("f", request), kFirmware);
}

uint8_t Link::GetBatteryQuantity() {
    uint8_t request[2];
    return commandExchange(request, textRequest("b", request), kBattery);
}

uint8_t Link::SetLEDStatus(uint8_t state) {
    uint8_t request[10];
    return commandExchange(request, ledRequest(state, request), kLed);
}

uint8_t Link::SetLeakInfo() {
    uint8_t request[2];
    return commandExchange(request, textRequest("l", request), kLeak);
}

uint8_t Link::StartRecordHeight() {
    uint8_t request[2];
    return commandExchange(request, textRequest("c", request), kRecordHeight);
}

uint8_t Link::StartSample() {
    uint8_t request[2];
    return commandExchange(request, textRequest("s", request), kStartSample);
}

uint8_t Link::heightExchange(const uint8_t* request, size_t length, const Command& command, uint16_t* first,
                             uint16_t* second) {
    uint8_t reply[kCommandReplySize];
    ssize_t received = 0;
    if (!exchange(request, length, false, reply, sizeof reply, &received)) return 0;
    const Verdict verdict = judgeReply(command, reply, received);
    if (verdict.flush) FlushLink();
    if (verdict.result == 1) heightValues(reply, first, second);
    return verdict.result;
}

uint8_t Link::GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed) {
    uint8_t request[2];
    return heightExchange(request, textRequest("h", request), kLiveHeight, depthCm, liftSpeed);
}

uint8_t Link::GetHeight(uint16_t key, uint16_t* depthCm, uint16_t* liftSpeed) {
    uint8_t request[4];
    return heightExchange(request, keyedRequest('H', key, request), kStoredHeight, depthCm, liftSpeed);
}

uint8_t Link::frameExchange(const uint8_t* request, size_t length, uint16_t sizeBytes, uint16_t* buffer,
                            uint16_t* status) {
    ssize_t received = 0;
    if (!exchange(request, length, true, buffer, buffer ? sizeBytes : 0, &received)) return 0;
    const Verdict verdict = unpackFrame(buffer, buffer ? sizeBytes : 0, received, status);
    if (verdict.flush) FlushLink();
    return verdict.result;
}

uint8_t Link::ReadSampleData(uint16_t sizeBytes, uint16_t* buffer, uint16_t* status) {
    uint8_t request[2];
    return frameExchange(request, textRequest("g", request), sizeBytes, buffer, status);
}

uint8_t Link::ReadData(uint16_t sizeBytes, uint16_t key, uint16_t* buffer, uint16_t* status) {
    uint8_t request[4];
    return frameExchange(request, keyedRequest('G', key, request), sizeBytes, buffer, status);
}

// P0/P1, E0/E1, N0/N1. Any other argument sends nothing but still waits for a reply.
uint8_t Link::switchCommand(char letter, uint8_t on, const Command& command) {
    uint8_t request[3];
    const char letters[3] = {letter, static_cast<char>('0' + on), 0};
    if (on > 1) return commandExchange(nullptr, 0, command);
    return commandExchange(request, textRequest(letters, request), command);
}

uint8_t Link::SetSample(uint8_t on) {
    return switchCommand('P', on, kSample);
}
uint8_t Link::SetBegin(uint8_t on) {
    return switchCommand('N', on, kBegin);
}
uint8_t Link::SetEnd(uint8_t on) {
    return switchCommand('E', on, kEnd);
}

uint8_t Link::SetHeight(int32_t valueA, uint16_t valueB) {
    uint8_t request[kHeightRequestSize];
    return commandExchange(request, heightRequest(valueA, valueB, request), kSetHeight);
}

uint8_t Link::Set(const _Ctrl_Code_INFO_DLL* config) {
    if (!config) return 0;
    uint8_t packet[kConfigPacketSize];
    buildConfigPacket(*config, packet);
    return commandExchange(packet, sizeof packet, kConfig);
}

uint8_t Link::SetPara1(_Ctrl_SET1_INFO_DLL record) {
    writeHeader(record.header, '1', sizeof record);
    return commandExchange(reinterpret_cast<const uint8_t*>(&record), sizeof record, kPara1);
}

uint8_t Link::SetPara2(_Ctrl_SET2_INFO_DLL record) {
    writeHeader(record.header, '2', sizeof record);
    return commandExchange(reinterpret_cast<const uint8_t*>(&record), sizeof record, kPara2);
}

// The header goes into the caller's block; a block shorter than the header only gets what fits,
// and a negative length sends nothing (the exchange then ends on the time-out).
uint8_t Link::SetPara3(uint8_t* block, int32_t length) {
    if (!block || length < 0) return commandExchange(nullptr, 0, kPara3);
    uint8_t header[4];
    writeHeader(header, '3', length);
    std::memcpy(block, header, length < 4 ? static_cast<size_t>(length) : 4);
    return commandExchange(block, static_cast<size_t>(length), kPara3);
}

uint8_t Link::queryExchange(char digit, void* record, size_t capacity) {
    uint8_t request[3];
    const char letters[3] = {'Q', digit, 0};
    ssize_t received = 0;
    if (!exchange(request, textRequest(letters, request), false, record, record ? capacity : 0, &received))
        return 0;
    const Verdict verdict = judgeReply(kQuery, static_cast<const uint8_t*>(record), received);
    if (verdict.flush) FlushLink();
    return verdict.result;
}

uint8_t Link::GetPara1(_Ctrl_SET1_INFO_DLL* record) {
    return queryExchange('1', record, sizeof *record);
}
uint8_t Link::GetPara2(_Ctrl_SET2_INFO_DLL* record) {
    return queryExchange('2', record, sizeof *record);
}
uint8_t Link::GetPara3(uint8_t* buffer, int32_t size) {
    return queryExchange('3', buffer, size > 0 ? static_cast<size_t>(size) : 0);
}

}  // namespace kaxil
