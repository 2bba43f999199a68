// Where the instrument is: the environment variable KAXIL_INSTRUMENT ("host:port"), else the
// first line "instrument = host:port" of kaxil.conf beside the program, else 127.0.0.1:6543.
// The host is a dotted IPv4 address; the port may be left out (6543). Read at every socket
// set-up, so it never needs a name lookup that could stall the link.
//
// Without the C++ runtime library, like the rest of libkaxil.
#pragma once

#include <netinet/in.h>
#include <climits>
#include <cstdint>

namespace kaxil {

inline constexpr uint16_t kInstrumentPort = 6543;
inline constexpr const char* kAddressVariable = "KAXIL_INSTRUMENT";
inline constexpr const char* kConfigFileName = "kaxil.conf";

enum class AddressSource : uint8_t { Environment, ConfigFile, Default };

struct InstrumentSetting {
    sockaddr_in address;
    AddressSource source;
    bool environmentRejected;   // KAXIL_INSTRUMENT is set but is not host:port
    bool configRejected;        // kaxil.conf names an instrument that is not host:port
    char configPath[PATH_MAX];  // the kaxil.conf looked at ("" when the program's folder is unknown)
};

// "a.b.c.d:port" or "a.b.c.d"; surrounding blanks are allowed. False on anything else.
bool parseInstrumentAddress(const char* text, sockaddr_in* out);

// The value of the first "instrument = …" line of a kaxil.conf ('#' starts a comment line).
// False when the file cannot be read or has no such line.
bool readConfigValue(const char* path, char* value, int capacity);

// From explicit inputs: environmentValue null when the variable is not set, configPath null or
// empty when there is no file to look at.
InstrumentSetting resolveInstrument(const char* environmentValue, const char* configPath);

// From the process environment and the kaxil.conf beside the running program.
InstrumentSetting resolveInstrument();

// "a.b.c.d:port" into text (at least 22 bytes).
void formatAddress(const sockaddr_in& address, char* text, int capacity);

}  // namespace kaxil
