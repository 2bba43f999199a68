// The rules of the upload dialog's start button, without the dialog: the first failing check
// wins and its text is shown in a message box; nothing is uploaded then.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lx9 {

struct UploadFormInput {
    std::string file;              // chosen data file
    std::string serialNumber;      // 流水号
    std::string instrumentNumber;  // 仪器编号
    long long port = 0;
};

// The message of the first failing check, or none when the upload may start.
std::optional<std::string> validateUploadStart(const UploadFormInput& input);

// "a.b.c.d" to an IPv4 address in host order; none for anything else.
std::optional<uint32_t> parseIpv4(std::string_view text);

}  // namespace lx9
