#include "instrument_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "synth_waveform.h"

namespace lx9::sim {
namespace {

enum class Cmd {
    Unknown,
    Handshake,
    Firmware,
    Battery,
    Leak,
    RecordHeight,
    Sample,
    Height,
    Data,
    Led,
    SampleSwitch,
    EndSwitch,
    BeginSwitch,
    Query,
    StoredHeight,
    StoredData,
    Set1,
    Set2,
    Set3,
    SetHeight,
    Config,
};

struct Parsed {
    Cmd cmd = Cmd::Unknown;
    int arg = 0;              // 0/1 of P, E, N; 1..3 of Q
    bool outOfRange = false;  // a well-formed request with a parameter the instrument refuses
};

constexpr size_t kMaxSet3 = 512;
constexpr int kCacheFirmware = 5;  // older firmware keeps no cache

Parsed classify(std::span<const uint8_t> r) {
    Parsed p;
    if (r.empty()) return p;
    const size_t n = r.size();
    switch (r[0]) {
        case 'a':
        case 'f':
        case 'b':
        case 'l':
        case 'c':
        case 's':
        case 'h':
        case 'g':
            if (n != 2 || r[1] != 0) return p;
            switch (r[0]) {
                case 'a':
                    p.cmd = Cmd::Handshake;
                    break;
                case 'f':
                    p.cmd = Cmd::Firmware;
                    break;
                case 'b':
                    p.cmd = Cmd::Battery;
                    break;
                case 'l':
                    p.cmd = Cmd::Leak;
                    break;
                case 'c':
                    p.cmd = Cmd::RecordHeight;
                    break;
                case 's':
                    p.cmd = Cmd::Sample;
                    break;
                case 'h':
                    p.cmd = Cmd::Height;
                    break;
                default:
                    p.cmd = Cmd::Data;
                    break;
            }
            return p;
        case 'm':
            if (n == 10) p.cmd = Cmd::Led;
            return p;
        case 'P':
        case 'E':
        case 'N':
            if (n != 3 || r[2] != 0) return p;
            p.cmd = r[0] == 'P' ? Cmd::SampleSwitch : r[0] == 'E' ? Cmd::EndSwitch : Cmd::BeginSwitch;
            if (r[1] == '0' || r[1] == '1') {
                p.arg = r[1] - '0';
            } else {
                p.outOfRange = true;
            }
            return p;
        case 'Q':
            if (n == 3 && r[2] == 0 && r[1] >= '1' && r[1] <= '3') {
                p.cmd = Cmd::Query;
                p.arg = r[1] - '0';
            }
            return p;
        case 'H':
        case 'G':
            if (n == 4 && r[1] == '0') p.cmd = r[0] == 'H' ? Cmd::StoredHeight : Cmd::StoredData;
            return p;
        case 'S':
            if (n < 4 || r[2] != 0) return p;
            if (r[1] == '1' && n == 68 && r[3] == 68) p.cmd = Cmd::Set1;
            if (r[1] == '2' && n == 124 && r[3] == 124) p.cmd = Cmd::Set2;
            if (r[1] == '3' && n <= kMaxSet3 && r[3] == (n & 0xFF)) p.cmd = Cmd::Set3;
            if (r[1] == '4' && n == 12) p.cmd = Cmd::SetHeight;
            return p;
        case 'd':
            if (n == kChannelConfigSize) p.cmd = Cmd::Config;
            return p;
        default:
            return p;
    }
}

bool needsCache(Cmd c) {
    switch (c) {
        case Cmd::SampleSwitch:
        case Cmd::EndSwitch:
        case Cmd::BeginSwitch:
        case Cmd::Query:
        case Cmd::StoredHeight:
        case Cmd::StoredData:
        case Cmd::Set1:
        case Cmd::Set2:
        case Cmd::Set3:
        case Cmd::SetHeight:
            return true;
        default:
            return false;
    }
}

// payload, 'R', two bytes nobody reads, the echo of the command letter.
std::vector<uint8_t> ack(std::initializer_list<uint8_t> payload, uint8_t letter) {
    std::vector<uint8_t> out(payload);
    out.insert(out.end(), {'R', 0, 0, letter});
    return out;
}

std::vector<uint8_t> decline() {
    return {0, 'R', 0, 0};
}

uint16_t u16(std::span<const uint8_t> p, size_t at) {
    return static_cast<uint16_t>(p[at] | (p[at + 1] << 8));
}

bool validStartHeight(int32_t cm) {
    return cm > 0 && cm <= 20000;
}
bool validStep(uint16_t mm) {
    return mm >= 10 && mm <= 1000 && mm % 10 == 0;
}

}  // namespace

InstrumentModel::InstrumentModel(const Scenario& scenario, uint64_t seed)
    : scenario_(scenario),
      seed_(seed),
      pile_(scenario, seed),
      winch_(scenario.winch, seed),
      config_(std::make_shared<const ChannelConfig>(defaultChannelConfig(scenario))) {
    for (int c = 0; c < kChannels; ++c)
        pipeOf_[c] = c + 1 <= pile_.pipeCount() ? c + 1 : 0;
    winch_.setTopM(scenario.effectiveTestHeightM(), 0.0);
    stepMm_ = static_cast<uint16_t>(scenario.stepMm);
    startHeightCm_ = static_cast<int32_t>(std::lround(scenario.effectiveTestHeightM() * 100.0));
}

double InstrumentModel::readingRatio() const {
    // The counter turns pulley revolutions into centimetres with the diameter it was given.
    return config_->windingDiameterMm > 0.0 ? config_->windingDiameterMm / scenario_.windingDiameterMm : 1.0;
}

double InstrumentModel::readingMm(double now) {
    return winch_.travelM(now) * 1000.0 * readingRatio();
}

uint16_t InstrumentModel::readingCm(double now) {
    return static_cast<uint16_t>(std::clamp(std::round(readingMm(now) / 10.0), 0.0, 65535.0));
}

double InstrumentModel::testHeightM() const {
    return winch_.topM();
}

uint16_t InstrumentModel::speedReading(double now) {
    // Lift speed in cm/s, whichever way the probes move.
    return static_cast<uint16_t>(std::min(std::abs(winch_.speedMps(now)) * 100.0 + 0.5, 65535.0));
}

uint8_t InstrumentModel::batteryLevel(double now) const {
    const double level = scenario_.battery - scenario_.batteryDrainPerHour * now / 3600.0;
    // An instrument that still answers has some charge left: it never reports 0.
    return static_cast<uint8_t>(std::clamp(std::ceil(level), 1.0, 255.0));
}

void InstrumentModel::advance(double now) {
    // Levels are counted in the counter's own centimetres, so a level is stored exactly when
    // the reading the instrument reports reaches it.
    const int reading = readingCm(now);
    if (reading < lastReadingCm_) {
        // Lowered: the levels above the probes will be measured again on the way up.
        std::erase_if(cache_, [&](const auto& kv) { return kv.first > reading; });
        lastReadingCm_ = reading;
        return;
    }
    if (armed_ && storing_ && stepMm_ > 0) {
        const int stepCm = stepMm_ / 10;
        const int first = lastReadingCm_ < 0 ? 0 : (lastReadingCm_ / stepCm + 1) * stepCm;
        for (int key = first; key <= reading; key += stepCm)
            storeLevel(key, now);
    }
    lastReadingCm_ = reading;
}

void InstrumentModel::storeLevel(int key, double now) {
    if (key > 0xFFFF) return;
    Shot shot = fire(now, true);
    // The instrument fires as its counter passes the level: the shot belongs to the level itself.
    shot.readingCm = static_cast<uint16_t>(key);
    shot.travelM = key / 100.0 / readingRatio();
    cache_[static_cast<uint16_t>(key)] = shot;
    emitTruth(shot);
}

InstrumentModel::Shot InstrumentModel::fire(double now, bool cached) {
    Shot s;
    s.travelM = winch_.travelM(now);
    s.readingCm = readingCm(now);
    s.speed = speedReading(now);
    s.seed = mixSeed(seed_, 0x53484F54ULL, ++shots_);
    s.cached = cached;
    s.config = config_;
    s.pipeOf = pipeOf_;
    return s;
}

std::vector<uint8_t> InstrumentModel::frameBytes(const Shot& shot) const {
    const ChannelConfig& c = *shot.config;
    const size_t n = static_cast<size_t>(c.sampleLength);
    std::vector<uint16_t> words(kFrameSlots * n, 2048);
    const double depth = testHeightM() - shot.travelM;
    const auto sources = frameSlotSources(c);
    uint16_t status = shot.cached ? kStatusCached : kStatusLive;
    for (int k = 0; k < kFrameSlots; ++k) {
        const int src = sources[k];
        if (src < 0) continue;
        const OrderedPair pair = orderedPair(src);
        const int pt = shot.pipeOf[pair.transmitter - 1], pr = shot.pipeOf[pair.receiver - 1];
        WaveformParams p;
        p.sampleLength = c.sampleLength;
        p.sampleIntervalUs = c.sampleIntervalUs;
        p.delayUs = c.delaySamples[src] * c.sampleIntervalUs;
        p.frequencyHz = scenario_.frequencyHz;
        p.gain = gainFactor(c.gainCode[src]);
        p.noiseMv = scenario_.noiseMv;
        p.seed = mixSeed(shot.seed, static_cast<uint64_t>(k));
        if (pt > 0 && pr > 0 && pt != pr) {
            const RayTruth ray = pile_.ray(pt, pr, depth);
            p.arrivalUs = ray.arrivalUs;
            p.amplitudeMv = ray.amplitudeMv;
        } else {
            p.amplitudeMv = 0.0;  // no probe at one end: the receiver hears only noise
        }
        const WaveformTruth t = synthWaveform(p, std::span<uint16_t>(words).subspan(k * n, n));
        if (t.clipped) status |= kStatusClipped;
    }
    words[0] = static_cast<uint16_t>((words[0] & 0x0FFF) | 0xF000);
    for (int i = 1; i <= 4; ++i) {
        const unsigned nibble = (status >> (4 * (4 - i))) & 0xF;
        words[i] = static_cast<uint16_t>((words[i] & 0x0FFF) | (nibble << 12));
    }
    std::vector<uint8_t> bytes(words.size() * 2);
    for (size_t i = 0; i < words.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
    }
    return bytes;
}

void InstrumentModel::emitTruth(const Shot& shot) {
    if (!truthSink_) return;
    const double depth = testHeightM() - shot.travelM;
    const auto sources = frameSlotSources(*shot.config);
    const double firstPeak = waveShape().firstPeakFraction;
    for (int k = 0; k < kFrameSlots; ++k) {
        if (sources[k] < 0) continue;
        const OrderedPair pair = orderedPair(sources[k]);
        const int pt = shot.pipeOf[pair.transmitter - 1], pr = shot.pipeOf[pair.receiver - 1];
        if (pt <= 0 || pr <= 0 || pt == pr) continue;
        const RayTruth ray = pile_.ray(pt, pr, depth);
        TruthRow row;
        row.travelCm = shot.readingCm;
        row.depthM = depth;
        row.section = std::to_string(std::min(pt, pr)) + "-" + std::to_string(std::max(pt, pr));
        row.spacingMm = ray.spacingMm;
        row.arrivalUs = ray.arrivalUs;
        row.velocityKms = ray.velocityMps / 1000.0;
        row.amplitudeMv = ray.amplitudeMv * firstPeak;
        row.defect = ray.defect;
        truthSink_(row);
    }
}

std::vector<uint8_t> InstrumentModel::heightReply(uint16_t reading, uint16_t speed, char letter) const {
    return {static_cast<uint8_t>(reading & 0xFF),
            static_cast<uint8_t>(reading >> 8),
            static_cast<uint8_t>(speed & 0xFF),
            static_cast<uint8_t>(speed >> 8),
            'R',
            0,
            0,
            static_cast<uint8_t>(letter)};
}

std::optional<std::vector<uint8_t>> InstrumentModel::declineFor(std::span<const uint8_t> request) const {
    const Parsed p = classify(request);
    if (p.cmd == Cmd::Unknown) return std::nullopt;
    if (p.cmd == Cmd::Config && !decodeChannelConfig(request)) return std::nullopt;
    return decline();
}

std::optional<std::vector<uint8_t>> InstrumentModel::handle(std::span<const uint8_t> r, double now) {
    const Parsed p = classify(r);
    if (p.cmd == Cmd::Unknown) return std::nullopt;
    if (p.outOfRange) return decline();
    if (needsCache(p.cmd) && scenario_.firmware < kCacheFirmware) return decline();
    advance(now);

    switch (p.cmd) {
        case Cmd::Handshake:
            return std::vector<uint8_t>{'R', 0, 0, static_cast<uint8_t>(holdsTest() ? 'A' : 'a')};
        case Cmd::Firmware:
            return ack({static_cast<uint8_t>(scenario_.firmware)}, 'f');
        case Cmd::Battery:
            return ack({batteryLevel(now)}, 'b');
        case Cmd::Leak:
            ++leakSignals_;
            return ack({1}, 'l');
        case Cmd::Led:
            led_ = r[1];
            return ack({1}, 'm');
        case Cmd::RecordHeight:
            // A held test keeps its counter; otherwise counting starts afresh at the start level.
            if (!holdsTest()) {
                winch_.restart(now);
                lastReadingCm_ = -1;
                advance(now);
            }
            return ack({1}, 'c');
        case Cmd::Sample:
            lastShot_ = fire(now, false);
            lastShotRead_ = false;
            return ack({1}, 's');
        case Cmd::Height:
            return heightReply(readingCm(now), speedReading(now), 'h');
        case Cmd::Data: {
            if (!lastShot_) {
                lastShot_ = fire(now, false);
                lastShotRead_ = false;
            }
            if (!lastShotRead_) emitTruth(*lastShot_);
            lastShotRead_ = true;
            return frameBytes(*lastShot_);
        }
        case Cmd::StoredHeight: {
            const uint16_t key = u16(r, 2);
            const auto it = cache_.find(key);
            if (it != cache_.end()) return heightReply(it->second.readingCm, it->second.speed, 'H');
            return heightReply(readingCm(now), speedReading(now), 'H');
        }
        case Cmd::StoredData: {
            const uint16_t key = u16(r, 2);
            const auto it = cache_.find(key);
            if (it != cache_.end()) return frameBytes(it->second);
            // No stored level under that key: a live shot, so free sampling works in this mode too.
            const Shot live = fire(now, false);
            emitTruth(live);
            return frameBytes(live);
        }
        case Cmd::SampleSwitch:
            storing_ = p.arg == 1;
            if (storing_) lastReadingCm_ = readingCm(now);
            return ack({1}, 'P');
        case Cmd::BeginSwitch:
            if (p.arg == 1) {
                cache_.clear();
                armed_ = storing_ = true;
                winch_.restart(now);
                lastReadingCm_ = -1;
                advance(now);
            } else {
                storing_ = false;
            }
            return ack({1}, 'N');
        case Cmd::EndSwitch:
            storing_ = false;
            if (p.arg == 0) {
                cache_.clear();
                armed_ = false;
            }
            return ack({1}, 'E');
        case Cmd::Query: {
            const auto& record = p.arg == 1 ? set1_ : p.arg == 2 ? set2_ : set3_;
            if (!record) return ack({0}, 'Q');  // 5 bytes: nothing held
            return *record;
        }
        case Cmd::Set1:
        case Cmd::Set2:
        case Cmd::Set3:
        case Cmd::SetHeight:
            return handleSet(r, now);
        case Cmd::Config: {
            auto config = decodeChannelConfig(r);
            if (!config) return std::nullopt;
            config_ = std::make_shared<const ChannelConfig>(*config);
            return ack({1}, 'd');
        }
        case Cmd::Unknown:
            break;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> InstrumentModel::handleSet(std::span<const uint8_t> r, double now) {
    switch (r[1]) {
        case '1':
            set1_.emplace(r.begin(), r.end());
            break;
        case '2':
            set2_.emplace(r.begin(), r.end());
            // The channels' pipes: a disabled channel or one without a pipe hears nothing.
            for (int c = 0; c < kChannels; ++c) {
                const uint8_t enabled = r[4 + 3 * c], pipe = r[4 + 3 * c + 2];
                pipeOf_[c] = enabled && pipe >= 1 && pipe <= pile_.pipeCount() ? pipe : 0;
            }
            break;
        case '3':
            set3_.emplace(r.begin(), r.end());
            break;
        default: {
            int32_t height = 0;
            std::memcpy(&height, r.data() + 4, 4);
            const uint16_t step = u16(r, 8);
            if (!validStartHeight(height) || !validStep(step)) return decline();
            // The same height and step again (a resent record, a recovery) continue the held test;
            // anything else starts a new one with level 0 at the start level.
            const bool same = armed_ && height == startHeightCm_ && step == stepMm_;
            startHeightCm_ = height;
            stepMm_ = step;
            armed_ = true;
            winch_.setTopM(height / 100.0, now);
            if (!same) {
                cache_.clear();
                storing_ = true;
                winch_.restart(now);
                lastReadingCm_ = -1;
            }
            advance(now);
            break;
        }
    }
    return ack({1}, 'S');
}

std::vector<uint8_t> InstrumentModel::corrupt(std::span<const uint8_t> request, std::vector<uint8_t> reply) {
    const Parsed p = classify(request);
    if (reply.empty()) return reply;
    switch (p.cmd) {
        case Cmd::Data:
        case Cmd::StoredData:
            if (reply.size() >= 2) reply[1] &= 0x0F;
            return reply;
        case Cmd::Query:
            if (reply.size() > 10 || reply.size() == 5) reply.resize(7, 0);
            return reply;
        default:
            break;
    }
    // The marker sits after the payload: none for the handshake, two values for the heights.
    const size_t marker = p.cmd == Cmd::Handshake                              ? 0
                          : p.cmd == Cmd::Height || p.cmd == Cmd::StoredHeight ? 4
                                                                               : 1;
    if (marker < reply.size()) reply[marker] = 'r';
    return reply;
}

std::string InstrumentModel::describe(std::span<const uint8_t> r) {
    const Parsed p = classify(r);
    switch (p.cmd) {
        case Cmd::Unknown:
            return "? " + std::to_string(r.size()) + " bytes";
        case Cmd::StoredHeight:
        case Cmd::StoredData:
            return std::string(1, static_cast<char>(r[0])) + "0 key " + std::to_string(u16(r, 2));
        case Cmd::Led:
            return "m " + std::to_string(r[1]);
        case Cmd::SampleSwitch:
        case Cmd::EndSwitch:
        case Cmd::BeginSwitch:
        case Cmd::Query:
        case Cmd::Set1:
        case Cmd::Set2:
        case Cmd::Set3:
        case Cmd::SetHeight:
            return std::string{static_cast<char>(r[0]),
                               static_cast<char>(r[1] >= 0x20 && r[1] < 0x7F ? r[1] : '?')};
        default:
            return std::string(1, static_cast<char>(r[0]));
    }
}

}  // namespace lx9::sim
