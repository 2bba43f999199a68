// Feeds arbitrary datagrams to the link's reply judge and frame unpacking (and arbitrary records
// to the configuration packet builder). Each reply lives in a heap block of exactly its received
// length, so a read past it is caught; results and flushes must stay within what each rule allows,
// and an accepted frame must come out unpacked exactly.
//
// Input: byte 0 picks the command (or the packet builder), bytes 1-2 the frame buffer size, the
// rest is the datagram.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "link/protocol.h"

namespace {

const kaxil::Command kCommands[] = {
    kaxil::kHandshake,   kaxil::kFirmware,     kaxil::kBattery,   kaxil::kLeak,      kaxil::kRecordHeight,
    kaxil::kStartSample, kaxil::kLed,          kaxil::kConfig,    kaxil::kSample,    kaxil::kEnd,
    kaxil::kBegin,       kaxil::kPara3,        kaxil::kSetHeight, kaxil::kPara1,     kaxil::kPara2,
    kaxil::kLiveHeight,  kaxil::kStoredHeight, kaxil::kQuery,     kaxil::kLiveFrame, kaxil::kStoredFrame,
};
constexpr size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void judgeCommand(const kaxil::Command& command, const uint8_t* data, size_t size) {
    // Replies to commands are cut to 10 bytes; parameter reads take up to the record's size.
    const size_t cap = command.rule == kaxil::Rule::Query ? 124 : kaxil::kCommandReplySize;
    const size_t received = size < cap ? size : cap;
    auto reply = std::make_unique<uint8_t[]>(received ? received : 1);
    std::memcpy(reply.get(), data, received);
    const kaxil::Verdict v = kaxil::judgeReply(command, reply.get(), static_cast<ssize_t>(received));
    if (v.result != 0) check(!v.flush);
    switch (command.rule) {
        case kaxil::Rule::Handshake:
        case kaxil::Rule::Query:
            check(v.result <= 2);
            break;
        case kaxil::Rule::Value:
            break;
        default:
            check(v.result <= 1);
    }
    if (command.rule == kaxil::Rule::Query) check(!v.flush);
    if (command.rule == kaxil::Rule::Height && v.result == 1) {
        uint16_t first = 0, second = 0;
        kaxil::heightValues(reply.get(), &first, &second);
        check(first == (reply[0] | reply[1] << 8));
    }
}

void unpack(const uint8_t* data, size_t size, size_t bufferBytes) {
    const size_t words = bufferBytes / 2;
    auto buffer = std::make_unique<uint16_t[]>(words ? words : 1);
    std::vector<uint16_t> before(words, 0xABCD);
    std::memcpy(buffer.get(), before.data(), words * 2);
    const size_t received = size < bufferBytes ? size : bufferBytes;
    std::memcpy(buffer.get(), data, received < words * 2 ? received : words * 2);
    std::vector<uint16_t> original(buffer.get(), buffer.get() + words);

    uint16_t status = 0x5555;
    const kaxil::Verdict v =
        kaxil::unpackFrame(buffer.get(), bufferBytes, static_cast<ssize_t>(received), &status);
    if (v.result == 0) {
        check(v.flush && status == 0);
        return;
    }
    check(words > 0 && received >= 2 && (original[0] & 0xF000) == 0xF000);
    uint16_t expected = 0;
    for (size_t i = 1; i <= 4 && i < words; ++i) {
        const uint16_t word = i < received / 2 ? original[i] : kaxil::kZeroLine;
        expected = static_cast<uint16_t>(expected | ((word >> 12) << (4 * (4 - i))));
    }
    check(status == expected);
    for (size_t i = 0; i < words; ++i) {
        const uint16_t word = i < received / 2 ? original[i] : kaxil::kZeroLine;
        check(buffer[i] == (i <= 4 ? (word & 0x0FFF) : word));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t choice = data[0] % (kCommandCount + 1);
    const size_t bufferBytes = (data[1] | data[2] << 8) % 4097;
    data += 3;
    size -= 3;
    if (choice == kCommandCount) {
        _Ctrl_Code_INFO_DLL config{};
        std::memcpy(&config, data, size < sizeof config ? size : sizeof config);
        uint8_t packet[kaxil::kConfigPacketSize];
        kaxil::buildConfigPacket(config, packet);
        check(packet[0] == 'd' && packet[8] >= 1 && packet[8] <= 4 && packet[39] == 0);
        return 0;
    }
    const kaxil::Command& command = kCommands[choice];
    if (command.rule == kaxil::Rule::Frame) {
        unpack(data, size, bufferBytes);
    } else {
        judgeCommand(command, data, size);
    }
    return 0;
}
