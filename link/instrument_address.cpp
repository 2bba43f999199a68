#include "link/instrument_address.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kaxil {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Trims blanks in place and returns the start of the trimmed text.
char* trim(char* text) {
    while (isBlank(*text))
        ++text;
    size_t n = std::strlen(text);
    while (n > 0 && isBlank(text[n - 1]))
        text[--n] = 0;
    return text;
}

sockaddr_in defaultAddress() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kInstrumentPort);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

void programConfigPath(char* path, size_t capacity) {
    path[0] = 0;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    exe[n] = 0;
    char* slash = std::strrchr(exe, '/');
    if (!slash) return;
    *slash = 0;
    if (std::snprintf(path, capacity, "%s/%s", exe, kConfigFileName) >= static_cast<int>(capacity))
        path[0] = 0;
}

}  // namespace

bool parseInstrumentAddress(const char* text, sockaddr_in* out) {
    if (!text) return false;
    char copy[64];
    if (std::strlen(text) >= sizeof copy) return false;
    std::strcpy(copy, text);
    char* host = trim(copy);
    unsigned long port = kInstrumentPort;
    if (char* colon = std::strchr(host, ':')) {
        *colon = 0;
        const char* digits = colon + 1;
        if (*digits == 0 || std::strlen(digits) > 5) return false;
        for (const char* d = digits; *d; ++d) {
            if (*d < '0' || *d > '9') return false;
        }
        port = std::strtoul(digits, nullptr, 10);
        if (port == 0 || port > 65535) return false;
    }
    in_addr address{};
    if (inet_pton(AF_INET, host, &address) != 1) return false;
    *out = sockaddr_in{};
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    out->sin_addr = address;
    return true;
}

bool readConfigValue(const char* path, char* value, int capacity) {
    if (!path || !*path || capacity <= 0) return false;
    FILE* file = std::fopen(path, "re");
    if (!file) return false;
    char line[512];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, file)) {
        char* text = trim(line);
        if (*text == '#' || *text == 0) continue;
        char* equals = std::strchr(text, '=');
        if (!equals) continue;
        *equals = 0;
        if (std::strcmp(trim(text), "instrument") != 0) continue;
        std::snprintf(value, capacity, "%s", trim(equals + 1));
        found = true;
    }
    std::fclose(file);
    return found;
}

InstrumentSetting resolveInstrument(const char* environmentValue, const char* configPath) {
    InstrumentSetting s{};
    s.address = defaultAddress();
    s.source = AddressSource::Default;
    if (configPath) std::snprintf(s.configPath, sizeof s.configPath, "%s", configPath);

    if (environmentValue) {
        if (parseInstrumentAddress(environmentValue, &s.address)) {
            s.source = AddressSource::Environment;
            return s;
        }
        s.environmentRejected = true;
    }
    char value[256];
    if (readConfigValue(configPath, value, sizeof value)) {
        if (parseInstrumentAddress(value, &s.address)) {
            s.source = AddressSource::ConfigFile;
            return s;
        }
        s.configRejected = true;
    }
    s.address = defaultAddress();
    return s;
}

InstrumentSetting resolveInstrument() {
    char path[PATH_MAX];
    programConfigPath(path, sizeof path);
    return resolveInstrument(std::getenv(kAddressVariable), path);
}

void formatAddress(const sockaddr_in& address, char* text, int capacity) {
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
    std::snprintf(text, capacity, "%s:%u", host, static_cast<unsigned>(ntohs(address.sin_port)));
}

}  // namespace kaxil
