#include "upload/upload_form.h"

#include <arpa/inet.h>

#include <cstdint>

namespace lx9 {

std::optional<std::string> validateUploadStart(const UploadFormInput& input) {
    if (input.file.empty()) return "请选择一个文件!";
    if (input.serialNumber.empty()) return "请输入流水号!";
    if (input.instrumentNumber.empty()) return "请输入仪器编号!";
    // A port beyond 65535 would silently wrap to another port: refused like 0.
    if (input.port <= 0 || input.port > 65535) return "请输入端口号!";
    return std::nullopt;
}

std::optional<uint32_t> parseIpv4(std::string_view text) {
    if (text.empty() || text.size() > 15) return std::nullopt;
    const std::string s(text);
    in_addr addr{};
    // inet_pton takes the dotted-quad form only (no octal, no short forms).
    if (::inet_pton(AF_INET, s.c_str(), &addr) != 1) return std::nullopt;
    return ntohl(addr.s_addr);
}

}  // namespace lx9
