#include "acquisition/link_form.h"

namespace lx9 {

void LinkForm::begin() {
    phase_ = Phase::Connecting;
    text_ = std::string(kLinkConnecting);
    failures_ = 0;
    answer_ = 0;
}

LinkForm::Phase LinkForm::tryOnce() {
    if (phase_ != Phase::Connecting) return phase_;
    answer_ = link_.GetCommunicateStatus();
    if (answer_ != 0) {
        phase_ = Phase::Connected;
        text_ = std::string(kLinkConnected);
    } else if (++failures_ >= kTries) {
        phase_ = Phase::Failed;
        text_ = std::string(kLinkFailed);
    }
    return phase_;
}

LinkForm::Phase LinkForm::connect() {
    begin();
    while (tryOnce() == Phase::Connecting) {
    }
    return phase_;
}

void LinkForm::restart() {
    if (phase_ == Phase::Failed) begin();
}

std::array<std::string, 2> LinkForm::buttons() const {
    switch (phase_) {
        case Phase::Connected:
            return {"确定", "取消"};
        case Phase::Failed:
            return {"重试", "放弃"};
        default:
            return {};
    }
}

void LinkForm::accept() {
    if (phase_ != Phase::Connected) return;
    connected_ = true;
    phase_ = Phase::Closed;
}

void LinkForm::cancel() {
    accept();  // the link is up whichever button closes the success text
}

LinkForm::Phase LinkForm::retry() {
    if (phase_ != Phase::Failed) return phase_;
    return connect();
}

void LinkForm::abandon() {
    if (phase_ != Phase::Failed) return;
    connected_ = false;
    phase_ = Phase::Closed;
}

}  // namespace lx9
