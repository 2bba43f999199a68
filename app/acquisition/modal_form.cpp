#include "acquisition/modal_form.h"

#include <algorithm>

#include "data/globals.h"
#include "data/run_state.h"
#include "ui/number_text.h"

namespace lx9 {

ModalForm::ModalForm(SharedInfo shared, DisplaySettings& display, uint32_t state, bool viewingFile,
                     SetupConsole& console, MessageSink& sink, std::function<void()> displayChanged)
    : current_(shared.record()),
      display_(display),
      console_(console),
      sink_(sink),
      displayChanged_(std::move(displayChanged)),
      infoLock_(shared.lock()) {
    const CInfo& current = current_;
    c_.showWaveform = display.showWaveform;
    c_.showWaveTrain = display.showWaveTrain;
    c_.style = current.waveTrainStyle;
    for (int r = 0; r < kMaxSections; ++r) {
        const int slot = slotOfBox(r);
        c_.sectionEnabled[static_cast<size_t>(r)] = slot >= 0;
        c_.sectionShown[static_cast<size_t>(r)] =
            slot >= 0 && current.sections[static_cast<size_t>(slot)].display;
    }
    c_.zoomInterval = formatInt(current.zoomInterval);
    c_.greyLevels = formatInt(current.grayLevels);
    c_.greyColour = std::string(current.grayColour == 0 ? kGreyWhite : kGreyBlack);
    c_.cacheMode = current.cacheMode == 1 ? 1 : 0;
    c_.greyGroupEnabled = c_.style == 2;

    const uint32_t code = stateCode(state);
    c_.cacheModeEnabled =
        !viewingFile &&
        (code == kStateIdle || (code == kStateFreeSampling && (subState(state) & kSubStatePaused) != 0));
    samplingLock_ = !viewingFile && code != kStateIdle && code != kStateFreeSampling &&
                    (subState(state) & kSubStatePaused) == 0;
    if (samplingLock_) {
        c_.greyEnabled = false;
        c_.hint = std::string(kHintNoGreyWhileSampling);
        if (c_.style == 2) {
            c_.okEnabled = false;
            c_.hint = std::string(kHintGreyLockedWhileSampling);
        }
    }
}

template <class F>
void ModalForm::edit(F&& change) {
    std::lock_guard<std::mutex> g(infoLock_);
    change(current_);
}

// The slot of `sections` that holds the pair of box r, when that section is part of the test.
int ModalForm::slotOfBox(int box) const {
    const int count = std::min(current_.sectionCount, kMaxSections);
    for (int k = 0; k < count; ++k) {
        const SectionPara& s = current_.sections[static_cast<size_t>(k)];
        if (s.present && s.name == kPairNames[static_cast<size_t>(box)]) return k;
    }
    return -1;
}

std::vector<std::string> ModalForm::oneToTen() {
    std::vector<std::string> v;
    for (int i = 1; i <= 10; ++i)
        v.push_back(std::to_string(i));
    return v;
}

std::vector<std::string> ModalForm::greyColourChoices() {
    return {std::string(kGreyWhite), std::string(kGreyBlack)};
}

bool ModalForm::chooseStyle(int32_t style) {
    if (outcome_ != Outcome::Open || style < 0 || style > 3) return false;
    if (style == 2 && !c_.greyEnabled) return false;
    c_.style = style;
    c_.greyGroupEnabled = style == 2;
    return true;
}

bool ModalForm::setSectionShown(int box, bool on) {
    if (box < 0 || box >= kMaxSections || !c_.sectionEnabled[static_cast<size_t>(box)]) return false;
    c_.sectionShown[static_cast<size_t>(box)] = on;
    return true;
}

bool ModalForm::chooseZoomInterval(const std::string& choice) {
    const int32_t v = parseIntText(choice);
    if (outcome_ != Outcome::Open || !c_.greyGroupEnabled || v < 1 || v > 10) return false;
    c_.zoomInterval = formatInt(v);
    edit([&](CInfo& info) { info.zoomInterval = v; });
    if (displayChanged_) displayChanged_();
    return true;
}

bool ModalForm::chooseGreyLevels(const std::string& choice) {
    const int32_t v = parseIntText(choice);
    if (outcome_ != Outcome::Open || !c_.greyGroupEnabled || v < 1 || v > 10) return false;
    c_.greyLevels = formatInt(v);
    edit([&](CInfo& info) { info.grayLevels = v; });
    if (displayChanged_) displayChanged_();
    return true;
}

bool ModalForm::chooseGreyColour(const std::string& choice) {
    if (outcome_ != Outcome::Open || !c_.greyGroupEnabled) return false;
    int32_t colour;
    if (choice == kGreyWhite)
        colour = 0;
    else if (choice == kGreyBlack)
        colour = 1;
    else
        return false;
    c_.greyColour = choice;
    edit([&](CInfo& info) { info.grayColour = colour; });
    if (displayChanged_) displayChanged_();
    return true;
}

ModalForm::Outcome ModalForm::ok() {
    if (outcome_ != Outcome::Open || !c_.okEnabled) return outcome_;
    if (!c_.showWaveform && !c_.showWaveTrain) {
        sink_.showMessage(std::string(kTextNeedWaveOrTrain));
        return outcome_;
    }
    bool anySection = false;
    for (int r = 0; r < kMaxSections; ++r)
        anySection = anySection ||
                     (c_.sectionEnabled[static_cast<size_t>(r)] && c_.sectionShown[static_cast<size_t>(r)]);
    if (!anySection) {
        sink_.showMessage(std::string(kTextNeedSection));
        return outcome_;
    }
    display_.showWaveform = c_.showWaveform;
    display_.showWaveTrain = c_.showWaveTrain;
    const bool backToRealTime = c_.cacheModeEnabled && current_.cacheMode == 1 && c_.cacheMode == 0;
    edit([&](CInfo& info) {
        for (int r = 0; r < kMaxSections; ++r) {
            const int slot = slotOfBox(r);
            if (slot >= 0)
                info.sections[static_cast<size_t>(slot)].display = c_.sectionShown[static_cast<size_t>(r)];
        }
        info.waveTrainStyle = c_.style;
        info.viewOption = c_.style == 0 ? 1 : 0;
    });
    if (displayChanged_) displayChanged_();
    if (c_.cacheModeEnabled) {
        edit([&](CInfo& info) { info.cacheMode = c_.cacheMode; });
        if (backToRealTime) console_.acquisitionModeChanged();
    }
    outcome_ = Outcome::Accepted;
    return outcome_;
}

ModalForm::Outcome ModalForm::cancel() {
    if (outcome_ == Outcome::Open) outcome_ = Outcome::Cancelled;
    return outcome_;
}

}  // namespace lx9
