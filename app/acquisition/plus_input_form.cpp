#include "acquisition/plus_input_form.h"

#include <cmath>
#include <cstdio>

#include "setup/setup_form.h"
#include "ui/number_text.h"

namespace lx9 {

namespace {

bool slotInUse(const CInfo& info, int slot) {
    return slot < info.sectionCount && info.sections[static_cast<size_t>(slot)].present;
}

}  // namespace

PlusInputForm::PlusInputForm(SharedInfo current, CInfo& saved, SetupConsole& console, MessageSink& sink)
    : current_(current.record()), saved_(saved), console_(console), sink_(sink), infoLock_(current.lock()) {
    for (int k = 0; k < kMaxSections; ++k) {
        PlusInputRow& row = rows_[static_cast<size_t>(k)];
        row.inUse = slotInUse(current_, k);
        if (!row.inUse) continue;
        const SectionPara& s = current_.sections[static_cast<size_t>(k)];
        row.label = "面" + s.name;
        row.gain = formatInt(s.gain);
        row.delay = formatFixed(s.delay, 1);
    }
}

template <class F>
void PlusInputForm::edit(F&& change) {
    std::lock_guard<std::mutex> g(infoLock_);
    change(current_);
}

std::string PlusInputForm::gainTitle(int slot) {
    return "剖面" + std::to_string(slot + 1) + "的增益";
}

std::vector<std::string> PlusInputForm::gainChoices() {
    return {"1", "2", "4", "8", "20", "40", "80", "200", "400", "800", "2000", "4000", "8000"};
}

std::string PlusInputForm::delayTitle(int slot) {
    return "剖面" + std::to_string(slot + 1) + "的延时";
}

bool PlusInputForm::chooseGain(int slot, const std::string& choice) {
    if (outcome_ != Outcome::Open || slot < 0 || slot >= kMaxSections ||
        !rows_[static_cast<size_t>(slot)].inUse)
        return false;
    const int32_t gain = parseIntText(choice);
    rows_[static_cast<size_t>(slot)].gain = formatInt(gain);
    edit([&](CInfo& info) { info.sections[static_cast<size_t>(slot)].gain = gain; });
    console_.pushParameters();
    return true;
}

bool PlusInputForm::enterDelay(int slot, double microseconds) {
    if (outcome_ != Outcome::Open || slot < 0 || slot >= kMaxSections ||
        !rows_[static_cast<size_t>(slot)].inUse)
        return false;
    // The setup's OK refuses what this pad would let through, so the same rule and text apply.
    if (auto text = delayRefusal(slot + 1, microseconds, current_.sampleInterval)) {
        sink_.showMessage(*text);
        return false;
    }
    rows_[static_cast<size_t>(slot)].delay = formatFixed(microseconds, 1);
    edit([&](CInfo& info) {
        info.sections[static_cast<size_t>(slot)].delay = static_cast<float>(microseconds);
    });
    console_.pushParameters();
    return true;
}

bool PlusInputForm::focusable(int position) const {
    if (position == kOk) return true;
    if (position < 0 || position > kOk) return false;
    return rows_[static_cast<size_t>(position % kMaxSections)].inUse;
}

// One step along gains, delays, OK, passing over every disabled row: two unused sections in a
// row must not strand the focus (OK is always there going down).
std::optional<int> PlusInputForm::move(int from, int direction) const {
    for (int to = from + direction; to >= 0 && to <= kOk; to += direction)
        if (focusable(to)) return to;
    return std::nullopt;
}

std::optional<int> PlusInputForm::focusDown(int from) const {
    if (from == kOk) return move(kFirstGain - 1, +1);
    return move(from, +1);
}

std::optional<int> PlusInputForm::focusUp(int from) const {
    if (from <= kFirstGain) return std::nullopt;
    return move(from, -1);
}

PlusInputForm::Outcome PlusInputForm::ok() {
    if (outcome_ != Outcome::Open) return outcome_;
    edit([&](CInfo& info) {
        for (int k = 0; k < kMaxSections; ++k) {
            const PlusInputRow& row = rows_[static_cast<size_t>(k)];
            if (!row.inUse) continue;
            info.sections[static_cast<size_t>(k)].gain = parseIntText(row.gain);
            info.sections[static_cast<size_t>(k)].delay = static_cast<float>(parseFloatText(row.delay));
        }
    });
    console_.pushParameters();
    const StoreResult stored = console_.storeSettings(current_);
    if (!stored.ok) sink_.showMessage(stored.message);
    saved_ = current_;
    outcome_ = Outcome::Accepted;
    return outcome_;
}

PlusInputForm::Outcome PlusInputForm::cancel() {
    if (outcome_ == Outcome::Open) outcome_ = Outcome::Cancelled;
    return outcome_;
}

}  // namespace lx9
