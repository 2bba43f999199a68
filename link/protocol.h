// The instrument's datagram protocol without sockets: request layouts, the channel configuration
// packet, how each reply is judged and how a data frame is unpacked. Pure functions, so the
// judging can be tested and fuzzed byte by byte.
//
// Written without the C++ runtime library (no allocation, no exceptions): libkaxil.so links libc
// only.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <cstdint>

#include "link/kaxil_records.h"
#include "link/truncate.h"

namespace kaxil {

inline constexpr size_t kCommandReplySize = 10;  // replies to commands are cut to this
inline constexpr size_t kFlushReceiveSize = 120;
inline constexpr size_t kConfigPacketSize = 66;
inline constexpr size_t kHeightRequestSize = 12;
inline constexpr uint16_t kZeroLine = 2048;  // mid-scale of the 12-bit converter

// How a reply is judged.
enum class Rule : uint8_t {
    Handshake,  // `a`: exactly 4 bytes, 'R' at 0, 'a' (1) or 'A' (2) at 3
    Value,      // `f`, `b`: acknowledgement carrying byte 0 as the result
    Ack,        // `l`, `c`, `s`, `m`, `d`: acknowledgement, 4 bytes accepted without echo
    Decline,    // `P`, `E`, `N`, `S3`, `S4`: needs the echo; 4 bytes mean "declined", no flush
    Parameter,  // `S1`, `S2`: needs the echo; 4 bytes or fewer fail without flush
    Height,     // `h`, `H0`: two uint16 values before the 'R' at byte 4
    Query,      // `Q1`..`Q3`: record received directly; never flushes
    Frame,      // `g`, `G0`: data frame judged by its marker
};

struct Command {
    char echo;  // the command letter the reply echoes
    Rule rule;
    bool flushOnEmpty;  // whether an empty or failed receive flushes the link
    bool dataTimeout;   // one second instead of 500 ms
};

inline constexpr Command kHandshake{'a', Rule::Handshake, true, false};
inline constexpr Command kFirmware{'f', Rule::Value, true, false};
inline constexpr Command kBattery{'b', Rule::Value, true, false};
inline constexpr Command kLeak{'l', Rule::Ack, true, false};
inline constexpr Command kRecordHeight{'c', Rule::Ack, true, false};
inline constexpr Command kStartSample{'s', Rule::Ack, true, false};
inline constexpr Command kLed{'m', Rule::Ack, false, false};
inline constexpr Command kConfig{'d', Rule::Ack, true, false};
inline constexpr Command kSample{'P', Rule::Decline, false, false};
inline constexpr Command kEnd{'E', Rule::Decline, false, false};
inline constexpr Command kBegin{'N', Rule::Decline, false, false};
inline constexpr Command kPara3{'S', Rule::Decline, false, false};
inline constexpr Command kSetHeight{'S', Rule::Decline, false, false};
inline constexpr Command kPara1{'S', Rule::Parameter, false, false};
inline constexpr Command kPara2{'S', Rule::Parameter, false, false};
inline constexpr Command kLiveHeight{'h', Rule::Height, false, false};
inline constexpr Command kStoredHeight{'H', Rule::Height, false, false};
inline constexpr Command kQuery{'Q', Rule::Query, false, false};
inline constexpr Command kLiveFrame{'g', Rule::Frame, true, true};
inline constexpr Command kStoredFrame{'G', Rule::Frame, true, true};

struct Verdict {
    uint8_t result;
    bool flush;
};

// Judges a reply of `received` bytes (0 or less: the receive returned no data or an error).
// Reads only bytes that were received. Not for frames (see unpackFrame).
Verdict judgeReply(const Command& command, const uint8_t* reply, ssize_t received);

// The two uint16 values of an accepted height reply (bytes 0-1 and 2-3, little-endian).
void heightValues(const uint8_t* reply, uint16_t* first, uint16_t* second);

// Judges and unpacks a data frame of `received` bytes in a buffer of `bufferBytes` bytes. Sets
// *status to 0 first; on a frame with the 0xF marker, fills the words not received with the zero
// line, moves the status nibbles of words 1-4 into *status and clears the top four bits of words
// 0-4. Touches nothing beyond bufferBytes; a null status is skipped.
Verdict unpackFrame(uint16_t* words, size_t bufferBytes, ssize_t received, uint16_t* status);

// Request layouts. Each writes the request into `out` and returns its length.
size_t textRequest(const char* letters, uint8_t* out);  // the letters and one zero byte
size_t ledRequest(uint8_t state, uint8_t out[10]);
size_t keyedRequest(char letter, uint16_t key, uint8_t out[4]);  // `H0`, `G0`
size_t heightRequest(int32_t valueA, uint16_t valueB, uint8_t out[kHeightRequestSize]);
void writeHeader(uint8_t* record, char digit, int32_t length);  // 'S', digit, 0, low byte of length

// The 66-byte channel configuration packet (`d`).
void buildConfigPacket(const _Ctrl_Code_INFO_DLL& config, uint8_t out[kConfigPacketSize]);

// Slot of the ordered pair (transmitter, receiver) in T1R2, T1R3, T1R4, T2R1 … T4R3; -1 when the
// pair is not two different channels 1 to 4.
int pairSlot(int transmitter, int receiver);

// Gain code of a pair slot from the low 16 bits of the entry's gain; 0 for gains not in the table.
uint8_t gainCode(uint16_t gain);

// Filter code from the high-pass code (units of 10 Hz) and the low-pass corner (kHz).
uint8_t filterCode(int32_t highPassCode, int32_t lowPassKHz);

}  // namespace kaxil
