// The link state and the exchanges: one datagram socket and one peer address shared by every
// command, a strict stop-and-wait exchange per command, and the flush that drops a socket holding
// stale replies. libkaxil.so keeps one Link for the whole process and forwards every exported
// function to it.
//
// Threading: no locks. One thread at a time may call a Link (the socket and the peer address are
// shared by all commands, so two exchanges at once could take each other's replies).
#pragma once

#include <netinet/in.h>
#include <sys/types.h>
#include <cstddef>
#include <cstdint>

#include "link/kaxil_records.h"
#include "link/protocol.h"

namespace kaxil {

inline constexpr int kSocketBufferBytes = 524288;
inline constexpr int kCommandTimeoutMs = 500;
inline constexpr int kDataTimeoutMs = 1000;

// The two socket calls whose failures the link has to survive; the library uses the POSIX ones.
struct SocketApi {
    int (*openSocket)();         // a new IPv4 datagram socket, or -1
    int (*closeSocket)(int fd);  // 0, or -1 when the close reports an error
};

int openDatagramSocket();
int closeDescriptor(int fd);

class Link {
  public:
    Link() = default;
    explicit Link(SocketApi api) : api_(api) {}
    ~Link();  // unload: closes the socket
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    uint8_t GetCommunicateStatus();
    uint8_t GetFirmwareVersion();
    uint8_t GetBatteryQuantity();
    uint8_t SetLEDStatus(uint8_t state);
    uint8_t SetLeakInfo();
    uint8_t StartRecordHeight();
    uint8_t StartSample();
    uint8_t GetSampleStatus() { return 1; }
    uint8_t GetSampleHeight(uint16_t* depthCm, uint16_t* liftSpeed);
    uint8_t GetHeight(uint16_t key, uint16_t* depthCm, uint16_t* liftSpeed);
    uint8_t ReadSampleData(uint16_t sizeBytes, uint16_t* buffer, uint16_t* status);
    uint8_t ReadData(uint16_t sizeBytes, uint16_t key, uint16_t* buffer, uint16_t* status);
    uint8_t SetSample(uint8_t on);
    uint8_t SetBegin(uint8_t on);
    uint8_t SetEnd(uint8_t on);
    uint8_t SetHeight(int32_t valueA, uint16_t valueB);
    uint8_t Set(const _Ctrl_Code_INFO_DLL* config);
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL record);
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL* record);
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL record);
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL* record);
    uint8_t SetPara3(uint8_t* block, int32_t length);
    uint8_t GetPara3(uint8_t* buffer, int32_t size);

    bool isOpen() const { return socket_ >= 0; }
    // Where the next request goes: whoever answered last, or the configured instrument.
    const sockaddr_in& peerAddress() const { return peer_; }

  private:
    bool openLinkSocket();
    void FlushLink();
    // Sends the request (none when request is null), waits, receives into reply. False when it
    // failed before a receive (no socket, wait error, time-out): the link has been flushed.
    bool exchange(const uint8_t* request, size_t length, bool dataRead, void* reply, size_t capacity,
                  ssize_t* received);
    uint8_t commandExchange(const uint8_t* request, size_t length, const Command& command);
    uint8_t switchCommand(char letter, uint8_t on, const Command& command);
    uint8_t heightExchange(const uint8_t* request, size_t length, const Command& command, uint16_t* first,
                           uint16_t* second);
    uint8_t frameExchange(const uint8_t* request, size_t length, uint16_t sizeBytes, uint16_t* buffer,
                          uint16_t* status);
    uint8_t queryExchange(char digit, void* record, size_t capacity);

    SocketApi api_{&openDatagramSocket, &closeDescriptor};
    int socket_ = -1;
    sockaddr_in peer_{};
    int nonBlocking_ = 1;  // FIONBIO argument before every receive
};

}  // namespace kaxil
