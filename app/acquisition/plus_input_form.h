// The rules of `CDlg_PlusInput` (参数调整), the live parameter adjustment: one row per section slot
// with its gain and trigger delay. A gain chosen from the list or a delay typed on the pad goes
// into the section and to the instrument at once; OK re-reads every row, pushes, stores the
// settings and makes them the saved copy. Qt-free; user-interface thread only.
#pragma once

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/cinfo.h"
#include "data/globals.h"
#include "setup/setup_console.h"
#include "ui/message_sink.h"

namespace lx9 {

inline constexpr std::string_view kPlusInputCaption = "参数调整";

struct PlusInputRow {
    bool inUse = false;
    std::string label;  // "面1-2"; empty when not in use
    std::string gain;   // "%d"
    std::string delay;  // "%.1f"
    bool operator==(const PlusInputRow&) const = default;
};

class PlusInputForm {
  public:
    enum class Outcome { Open, Accepted, Cancelled };

    // Focus positions for the Up and Down keys: the six gain fields, the six delay fields, OK.
    static constexpr int kFirstGain = 0;
    static constexpr int kFirstDelay = 6;
    static constexpr int kOk = 12;

    // `current` is currentInfo (changed under its lock), `saved` savedInfo. The console does the
    // parameter push and the settings store.
    PlusInputForm(SharedInfo current, CInfo& saved, SetupConsole& console, MessageSink& sink);

    const std::array<PlusInputRow, kMaxSections>& rows() const { return rows_; }
    Outcome outcome() const { return outcome_; }

    // The gain list: its title by slot ("剖面1的增益"…) and its 13 choices.
    static std::string gainTitle(int slot);
    static std::vector<std::string> gainChoices();
    // The delay pad's title ("剖面1的延时"…). The pad lets a minus through so that the refusal
    // below, not the pad's generic one, names the section.
    static std::string delayTitle(int slot);

    // A gain chosen from the list: into the field and the section, pushed at once.
    bool chooseGain(int slot, const std::string& choice);
    // A delay from the pad: what the setup's OK refuses (negative, or beyond ±32767 sampling
    // intervals) is refused here with OK's text and discarded; otherwise into the field and the
    // section, pushed at once.
    bool enterDelay(int slot, double microseconds);

    // Focus moves; nothing when the key does nothing.
    std::optional<int> focusDown(int from) const;
    std::optional<int> focusUp(int from) const;
    bool focusable(int position) const;

    Outcome ok();
    Outcome cancel();

  private:
    template <class F>
    void edit(F&& change);
    std::optional<int> move(int from, int direction) const;

    CInfo& current_;
    CInfo& saved_;
    SetupConsole& console_;
    MessageSink& sink_;
    std::mutex& infoLock_;  // guards current_: held while the form changes it
    std::array<PlusInputRow, kMaxSections> rows_{};
    Outcome outcome_ = Outcome::Open;
};

}  // namespace lx9
