// The instrument itself, without sockets: one request datagram in, at most one reply out. It keeps
// the channel configuration, the depth counter driven by the winch, the parameter records and, in
// the cache mode, one stored shot per level. Time is the caller's (seconds, never decreasing), so
// tests can drive it with a clock of their own. Not thread-safe: one caller at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "channel_config.h"
#include "pile_model.h"
#include "scenario.h"
#include "winch.h"

namespace lx9::sim {

// One row of the ground truth: one section of one stored level (or of one live frame read).
struct TruthRow {
    uint16_t travelCm = 0;  // the depth-counter reading of the shot
    double depthM = 0.0;    // the probes' depth below the pile head
    std::string section;    // pipe pair, "1-2"
    double spacingMm = 0.0;
    double arrivalUs = 0.0;  // after the transmit pulse, pipes, water and zero time included
    double velocityKms = 0.0;
    double amplitudeMv = 0.0;  // first peak of the wave at the receiver input (0: no signal)
    bool defect = false;
};

// Frame status word (words 1-4 of a frame carry it in their top nibbles).
inline constexpr uint16_t kStatusCached = 0x0001;   // a stored level
inline constexpr uint16_t kStatusLive = 0x0002;     // fired at the probes' present position
inline constexpr uint16_t kStatusClipped = 0x0004;  // some section's wave hit 0 or 4095

class InstrumentModel {
  public:
    InstrumentModel(const Scenario& scenario, uint64_t seed);

    // Executes one request received at time now; the reply, or nullopt when the instrument
    // ignores the request (unknown, malformed, or a configuration it cannot use).
    std::optional<std::vector<uint8_t>> handle(std::span<const uint8_t> request, double now);

    // Moves the counter on to time now (levels passed are stored in the cache mode). handle()
    // does this itself; the transport also calls it while idle so no level is missed.
    void advance(double now);

    // The 4-byte decline for a request the instrument would otherwise answer (nullopt for one it
    // ignores). The request is not executed.
    std::optional<std::vector<uint8_t>> declineFor(std::span<const uint8_t> request) const;

    // The reply with its acknowledgement spoiled: a frame loses its 0xF marker, a command reply
    // its 'R', a parameter record is cut to 7 bytes (a length the link never accepts).
    static std::vector<uint8_t> corrupt(std::span<const uint8_t> request, std::vector<uint8_t> reply);

    // A short name of the request for logs ("g", "S1", "G0 key 15", "? 7 bytes").
    static std::string describe(std::span<const uint8_t> request);

    // Receives a truth row for every section of every level stored and of every live frame read.
    void setTruthSink(std::function<void(const TruthRow&)> sink) { truthSink_ = std::move(sink); }

    // Inspection, for tests and logs.
    bool holdsTest() const { return !cache_.empty(); }
    size_t storedLevels() const { return cache_.size(); }
    bool storing() const { return armed_ && storing_; }
    int leakSignals() const { return leakSignals_; }
    uint8_t led() const { return led_; }
    const ChannelConfig& channelConfig() const { return *config_; }
    uint16_t readingCm(double now);
    double travelM(double now) { return winch_.travelM(now); }

  private:
    struct Shot {
        double travelM = 0.0;
        uint16_t readingCm = 0;
        uint16_t speed = 0;
        uint64_t seed = 0;
        bool cached = false;
        std::shared_ptr<const ChannelConfig> config;
        std::array<int, kChannels> pipeOf{};
    };

    Shot fire(double now, bool cached);
    std::vector<uint8_t> frameBytes(const Shot& shot) const;
    void emitTruth(const Shot& shot);
    void storeLevel(int key, double now);
    double readingRatio() const;
    double readingMm(double now);
    double testHeightM() const;
    uint8_t batteryLevel(double now) const;
    uint16_t speedReading(double now);

    std::optional<std::vector<uint8_t>> handleSet(std::span<const uint8_t> r, double now);
    std::vector<uint8_t> heightReply(uint16_t reading, uint16_t speed, char letter) const;

    Scenario scenario_;
    uint64_t seed_;
    PileModel pile_;
    Winch winch_;
    std::shared_ptr<const ChannelConfig> config_;
    std::array<int, kChannels> pipeOf_{};  // pipe of each channel (0 = no probe), from SET2 or 1..4
    uint64_t shots_ = 0;
    std::function<void(const TruthRow&)> truthSink_;

    // Live firing (`s`, `g`).
    std::optional<Shot> lastShot_;
    bool lastShotRead_ = false;

    // Cache mode: armed by `S4`, one stored shot per level, keyed by the level in centimetres.
    bool armed_ = false;
    bool storing_ = false;
    int32_t startHeightCm_ = 0;
    uint16_t stepMm_ = 0;
    int lastReadingCm_ = -1;  // the reading at the last advance; -1 before level 0
    std::map<uint16_t, Shot> cache_;

    std::optional<std::vector<uint8_t>> set1_, set2_, set3_;
    int leakSignals_ = 0;
    uint8_t led_ = 0;
};

}  // namespace lx9::sim
