// The rules of `CDlg_leak` (出现漏点), the missed-point notice: the height of the level that should
// have been recorded and the probes' current height, both in metres below the test's base, kept
// up to date by the console until the probes are back. Its close command is greyed out: only the
// console closes it. Qt-free; user-interface thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "data/cinfo.h"

namespace lx9 {

inline constexpr std::string_view kLeakCaption = "出现漏点";
inline constexpr std::string_view kLabelMissedHeight = "漏点高度(m)";
inline constexpr std::string_view kLabelCurrentHeight = "当前高度(m)";

// The base the heights are counted from (m): a horizontal test's start depth; in an inclined test
// the first section's start depth; in a fan test that less its height difference.
double leakBaseHeight(const CInfo& info);

class LeakForm {
  public:
    // The two readings of WM_USER+95: the probes' reading and the expected level (cm).
    LeakForm(const CInfo& info, int32_t currentCm, int32_t expectedCm);

    // WM_USER+90 while it is shown.
    void refresh(int32_t currentCm, int32_t expectedCm);
    // WM_USER+122: the probes are back.
    void close() { open_ = false; }

    bool isOpen() const { return open_; }
    bool closeCommandEnabled() const { return false; }
    const std::string& missedHeight() const { return missed_; }    // "%.2f"
    const std::string& currentHeight() const { return current_; }  // "%.2f"
    int32_t currentCm() const { return currentCm_; }
    int32_t expectedCm() const { return expectedCm_; }

  private:
    double base_;
    bool open_ = true;
    int32_t currentCm_ = 0, expectedCm_ = 0;
    std::string missed_, current_;
};

}  // namespace lx9
