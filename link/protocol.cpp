#include "link/protocol.h"

#include <bit>
#include <climits>
#include <cstring>

namespace kaxil {

// Frames and records travel as they lie in memory; the wire is little-endian.
static_assert(std::endian::native == std::endian::little, "the instrument link assumes a little-endian host");

namespace {

void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

void put32(uint8_t* at, uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

// Acknowledgement with 'R' at byte 1: exactly 4 bytes, or 5 and more with the echo at byte 4.
bool acknowledged(const uint8_t* reply, ssize_t received, char echo) {
    if (received == 4) return reply[1] == 'R';
    return received >= 5 && reply[1] == 'R' && reply[4] == static_cast<uint8_t>(echo);
}

}  // namespace

Verdict judgeReply(const Command& command, const uint8_t* reply, ssize_t received) {
    if (received <= 0) return {0, command.flushOnEmpty};
    const auto echo = static_cast<uint8_t>(command.echo);
    switch (command.rule) {
        case Rule::Handshake:
            if (received == 4 && reply[0] == 'R') {
                if (reply[3] == 'a') return {1, false};
                if (reply[3] == 'A') return {2, false};
            }
            return {0, true};
        case Rule::Value:
            if (acknowledged(reply, received, command.echo)) return {reply[0], false};
            return {0, true};
        case Rule::Ack:
            if (acknowledged(reply, received, command.echo)) return {1, false};
            return {0, true};
        case Rule::Decline:
            if (received >= 5 && reply[1] == 'R' && reply[4] == echo) return {1, false};
            if (received == 4 && reply[1] == 'R') return {0, false};  // the instrument declined
            return {0, true};
        case Rule::Parameter:
            if (received >= 5 && reply[1] == 'R' && reply[4] == echo) return {1, false};
            if (received <= 4) return {0, false};
            return {0, true};
        case Rule::Height:
            if (received == 7 && reply[4] == 'R') return {1, false};
            if (received >= 8 && reply[4] == 'R' && reply[7] == echo) return {1, false};
            return {0, true};
        case Rule::Query:
            if (received > static_cast<ssize_t>(kCommandReplySize)) return {1, false};
            if (received == 5) return {2, false};
            return {0, false};
        case Rule::Frame:
            break;
    }
    return {0, true};
}

void heightValues(const uint8_t* reply, uint16_t* first, uint16_t* second) {
    if (first) *first = static_cast<uint16_t>(reply[0] | (reply[1] << 8));
    if (second) *second = static_cast<uint16_t>(reply[2] | (reply[3] << 8));
}

Verdict unpackFrame(uint16_t* words, size_t bufferBytes, ssize_t received, uint16_t* status) {
    if (status) *status = 0;
    const size_t capacity = bufferBytes / 2;
    if (received < 2 || capacity == 0) return {0, true};  // not even the marker word arrived
    if ((words[0] & 0xF000) != 0xF000) return {0, true};

    // A frame shorter than the buffer must not leave the previous frame's samples behind it:
    // whatever did not arrive (a trailing half word included) reads as the zero line.
    const size_t receivedBytes = static_cast<size_t>(received) < bufferBytes ? received : bufferBytes;
    for (size_t i = receivedBytes / 2; i < capacity; ++i)
        words[i] = kZeroLine;

    uint16_t word = 0;
    for (size_t i = 1; i <= 4 && i < capacity; ++i) {
        word = static_cast<uint16_t>(word | ((words[i] >> 12) << (4 * (4 - i))));
    }
    for (size_t i = 0; i <= 4 && i < capacity; ++i)
        words[i] &= 0x0FFF;
    if (status) *status = word;
    return {1, false};
}

size_t textRequest(const char* letters, uint8_t* out) {
    size_t n = std::strlen(letters);
    std::memcpy(out, letters, n);
    out[n] = 0;
    return n + 1;
}

size_t ledRequest(uint8_t state, uint8_t out[10]) {
    std::memset(out, 0, 10);
    out[0] = 'm';
    out[1] = state;
    return 10;
}

size_t keyedRequest(char letter, uint16_t key, uint8_t out[4]) {
    out[0] = static_cast<uint8_t>(letter);
    out[1] = '0';
    put16(out + 2, key);
    return 4;
}

size_t heightRequest(int32_t valueA, uint16_t valueB, uint8_t out[kHeightRequestSize]) {
    std::memset(out, 0, kHeightRequestSize);
    out[0] = 'S';
    out[1] = '4';
    put32(out + 4, static_cast<uint32_t>(valueA));
    put16(out + 8, valueB);
    return kHeightRequestSize;
}

void writeHeader(uint8_t* record, char digit, int32_t length) {
    record[0] = 'S';
    record[1] = static_cast<uint8_t>(digit);
    record[2] = 0;
    record[3] = static_cast<uint8_t>(length & 0xFF);
}

int pairSlot(int transmitter, int receiver) {
    if (transmitter < 1 || transmitter > 4 || receiver < 1 || receiver > 4 || receiver == transmitter)
        return -1;
    return (transmitter - 1) * 3 + (receiver < transmitter ? receiver - 1 : receiver - 2);
}

uint8_t gainCode(uint16_t gain) {
    switch (gain) {
        case 1:
            return 0;
        case 2:
            return 1;
        case 4:
            return 2;
        case 8:
        case 10:
            return 3;
        case 20:
            return 5;
        case 40:
            return 6;
        case 80:
        case 100:
            return 7;
        case 200:
            return 9;
        case 400:
            return 10;
        case 800:
        case 1000:
            return 11;
        case 2000:
            return 25;
        case 4000:
            return 26;
        case 8000:
        case 10000:
            return 27;
        case 20000:
            return 41;
        case 40000:
            return 42;
        default:
            return 0;
    }
}

uint8_t filterCode(int32_t highPassCode, int32_t lowPassKHz) {
    if (highPassCode == 50 && lowPassKHz == 500) return 0x11;
    if (highPassCode == 50 && lowPassKHz == 60) return 0x01;
    if (highPassCode == 1000 && lowPassKHz == 500) return 0x10;
    if (highPassCode == 1000 && lowPassKHz == 60) return 0x00;
    return 0x11;
}

void buildConfigPacket(const _Ctrl_Code_INFO_DLL& config, uint8_t out[kConfigPacketSize]) {
    std::memset(out, 0, kConfigPacketSize);
    out[0] = 'd';
    out[1] = static_cast<uint8_t>(config.reserved0 & 0xFF);
    put16(out + 2, static_cast<uint32_t>(config.pulseWidth) * 20u);
    out[4] = static_cast<uint8_t>(config.sampleLength / 256);

    int32_t largestDelay = 0;
    int groupsInUse = 0;
    uint8_t filter = 0x11;
    for (int g = 0; g < 3; ++g) {
        const TransmitGroup& group = config.groups[g];
        const int transmitter = group.transmitter;
        if (transmitter < 1 || transmitter > 4) continue;
        ++groupsInUse;
        out[9 + transmitter - 1] = static_cast<uint8_t>(g + 1);
        for (int e = 0; e < 3; ++e) {
            const ReceivePair& entry = group.pairs[e];
            const int slot = pairSlot(transmitter, entry.receiver);
            if (slot < 0) continue;
            if (entry.delaySamples > largestDelay) largestDelay = entry.delaySamples;
            if (slot < 11) out[28 + slot] = gainCode(static_cast<uint16_t>(entry.gain & 0xFFFF));
            put16(out + 40 + 2 * slot, static_cast<uint32_t>(entry.delaySamples) & 0xFFFF);
            filter = filterCode(entry.highPassCode, entry.lowPassKHz);
        }
    }
    put16(out + 6, static_cast<uint32_t>(largestDelay) & 0xFFFF);
    out[8] = static_cast<uint8_t>(1 + groupsInUse);
    out[13] = static_cast<uint8_t>(config.stepMm & 0xFF);
    out[14] = static_cast<uint8_t>(config.reserved24 & 0xFF);
    // Both products are float arithmetic, as the record holds floats; the truncation decides the byte.
    put16(out + 16, static_cast<uint32_t>(truncate32(config.sampleInterval * 100)) & 0xFFFF);
    put16(
        out + 18,
        static_cast<uint32_t>(truncate32((config.cableDiameterCm + config.pulleyDiameterCm) * 100)) & 0xFFFF);
    out[20] = filter;
    out[64] = config.highVoltage;
}

}  // namespace kaxil
