#include "scenario.h"

#include <cmath>
#include <fstream>
#include <numbers>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

namespace lx9::sim {
namespace {

using nlohmann::json;

// Reads one JSON object field by field and remembers which keys it took, so that whatever is
// left over can be reported as unknown.
class ObjectReader {
  public:
    ObjectReader(const json& object, std::string path) : object_(object), path_(std::move(path)) {
        if (!object_.is_object()) fail(path_.empty() ? "the scenario" : path_, "must be an object");
    }

    void number(const char* key, double& out, double min, double max) {
        const json* v = take(key);
        if (!v) return;
        if (!v->is_number()) fail(name(key), "must be a number");
        const double d = v->get<double>();
        if (!std::isfinite(d) || d < min || d > max) {
            std::ostringstream range;
            range << "must lie between " << min << " and " << max;
            fail(name(key), range.str());
        }
        out = d;
    }

    void integer(const char* key, int& out, int min, int max) {
        const json* v = take(key);
        if (!v) return;
        if (!v->is_number_integer()) fail(name(key), "must be a whole number");
        const auto i = v->get<int64_t>();
        if (i < min || i > max) {
            fail(name(key), "must lie between " + std::to_string(min) + " and " + std::to_string(max));
        }
        out = static_cast<int>(i);
    }

    void boolean(const char* key, bool& out) {
        const json* v = take(key);
        if (!v) return;
        if (!v->is_boolean()) fail(name(key), "must be true or false");
        out = v->get<bool>();
    }

    // Calls `each(element, path)` for every element of an array field.
    template <typename F>
    void array(const char* key, F each) {
        const json* v = take(key);
        if (!v) return;
        if (!v->is_array()) fail(name(key), "must be an array");
        for (size_t i = 0; i < v->size(); ++i)
            each((*v)[i], name(key) + "[" + std::to_string(i) + "]");
    }

    template <typename F>
    void object(const char* key, F read) {
        const json* v = take(key);
        if (!v) return;
        ObjectReader inner(*v, name(key));
        read(inner);
        inner.finish();
    }

    void finish() const {
        for (const auto& [key, value] : object_.items()) {
            if (!taken_.contains(key)) fail(name(key.c_str()), "is not a scenario field");
        }
    }

    std::string name(const char* key) const { return path_.empty() ? key : path_ + "." + key; }
    [[noreturn]] static void fail(const std::string& where, const std::string& what) {
        throw ScenarioError("scenario: " + where + " " + what);
    }

  private:
    const json* take(const char* key) {
        taken_.insert(key);
        const auto it = object_.find(key);
        return it == object_.end() ? nullptr : &*it;
    }

    const json& object_;
    std::string path_;
    std::set<std::string> taken_;
};

bool isPairName(const std::string& s) {
    return s.size() == 3 && s[1] == '-' && s[0] >= '1' && s[0] <= '5' && s[2] >= '1' && s[2] <= '5' &&
           s[0] < s[2];
}

void readDefect(const json& v, const std::string& path, Scenario& scenario) {
    Defect d;
    ObjectReader r(v, path);
    r.number("topM", d.topM, 0.0, 1000.0);
    r.number("bottomM", d.bottomM, 0.0, 1000.0);
    r.array("sections", [&](const json& s, const std::string& where) {
        if (!s.is_string() || !isPairName(s.get<std::string>())) {
            ObjectReader::fail(where, "must be a pipe pair such as \"1-2\"");
        }
        d.sections.push_back(s.get<std::string>());
    });
    r.number("velocityLossPercent", d.velocityLossPercent, 0.0, 90.0);
    r.number("attenuationDb", d.attenuationDb, 0.0, 200.0);
    r.boolean("noSignal", d.noSignal);
    r.finish();
    if (d.bottomM < d.topM) ObjectReader::fail(path, "has bottomM above topM");
    scenario.defects.push_back(std::move(d));
}

void readMove(const json& v, const std::string& path, WinchPlan& plan) {
    WinchMove m;
    ObjectReader r(v, path);
    int kinds = 0;
    if (v.is_object() && v.contains("riseM")) {
        m.kind = WinchMove::Kind::Rise;
        r.number("riseM", m.amount, 0.0, 1000.0);
        ++kinds;
    }
    if (v.is_object() && v.contains("lowerM")) {
        m.kind = WinchMove::Kind::Lower;
        r.number("lowerM", m.amount, 0.0, 1000.0);
        ++kinds;
    }
    if (v.is_object() && v.contains("stopS")) {
        m.kind = WinchMove::Kind::Stop;
        r.number("stopS", m.amount, 0.0, 86400.0);
        ++kinds;
    }
    if (kinds != 1) ObjectReader::fail(path, "must hold exactly one of riseM, lowerM, stopS");
    r.number("speedMps", m.speedMps, 0.0, 10.0);  // 0: the winch speed
    r.finish();
    if (m.speedMps > 0.0 && m.speedMps < 0.01)
        ObjectReader::fail(path + ".speedMps", "must be 0 or at least 0.01");
    plan.moves.push_back(m);
}

}  // namespace

std::vector<PipePosition> Scenario::pipeCentres() const {
    if (!pipePositions.empty()) return pipePositions;
    std::vector<PipePosition> centres;
    const double radius = std::max(pileDiameterMm / 2.0 - pipeCoverMm, 0.0);
    for (int i = 0; i < pipeCount; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / pipeCount;
        centres.push_back({radius * std::cos(angle), radius * std::sin(angle)});
    }
    return centres;
}

Scenario parseScenario(const std::string& text) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        throw ScenarioError(std::string("scenario: not valid JSON: ") + e.what());
    }
    Scenario s;
    ObjectReader r(root, "");
    r.object("pile", [&](ObjectReader& p) {
        p.number("lengthM", s.pileLengthM, 0.5, 200.0);
        p.number("diameterMm", s.pileDiameterMm, 100.0, 9999.0);
        p.number("testHeightM", s.testHeightM, 0.0, 200.0);
    });
    r.object("pipes", [&](ObjectReader& p) {
        p.integer("count", s.pipeCount, 2, 5);
        p.array("positionsMm", [&](const json& v, const std::string& where) {
            if (!v.is_array() || v.size() != 2 || !v[0].is_number() || !v[1].is_number()) {
                ObjectReader::fail(where, "must be a pair [x, y] of numbers");
            }
            s.pipePositions.push_back({v[0].get<double>(), v[1].get<double>()});
        });
        p.number("coverMm", s.pipeCoverMm, 0.0, 5000.0);
        p.number("outerDiameterMm", s.pipeOuterDiameterMm, 1.0, 500.0);
        p.number("innerDiameterMm", s.pipeInnerDiameterMm, 1.0, 500.0);
        p.number("velocityMps", s.pipeVelocityMps, 100.0, 20000.0);
        p.number("probeDiameterMm", s.probeDiameterMm, 1.0, 500.0);
        p.number("waterVelocityMps", s.waterVelocityMps, 100.0, 20000.0);
    });
    r.object("concrete", [&](ObjectReader& c) {
        c.number("velocityMps", s.concreteVelocityMps, 500.0, 10000.0);
        c.number("spreadPercent", s.velocitySpreadPercent, 0.0, 20.0);
        c.number("attenuationDbPerM", s.attenuationDbPerM, 0.0, 200.0);
    });
    r.object("signal", [&](ObjectReader& c) {
        c.number("frequencyHz", s.frequencyHz, 1000.0, 500000.0);
        c.number("amplitudeMvAt1m", s.amplitudeMvAt1m, 0.0, 10000.0);
        c.number("noiseMv", s.noiseMv, 0.0, 10000.0);
    });
    r.array("defects", [&](const json& v, const std::string& where) { readDefect(v, where, s); });
    r.object("instrument", [&](ObjectReader& i) {
        i.integer("firmware", s.firmware, 0, 255);
        i.number("battery", s.battery, 0.0, 255.0);
        i.number("batteryDrainPerHour", s.batteryDrainPerHour, 0.0, 1000.0);
        i.number("zeroTimeUs", s.zeroTimeUs, 0.0, 1000.0);
        i.number("windingDiameterMm", s.windingDiameterMm, 1.0, 1000.0);
        i.integer("sampleLength", s.sampleLength, 512, 1024);
        i.number("sampleIntervalUs", s.sampleIntervalUs, 0.1, 200.0);
        i.integer("gain", s.gain, 1, 40000);
        i.number("delayUs", s.delayUs, 0.0, 10000.0);
        i.integer("stepMm", s.stepMm, 10, 1000);
    });
    r.object("winch", [&](ObjectReader& w) {
        w.number("speedMps", s.winch.speedMps, 0.01, 10.0);
        w.number("jitterPercent", s.winch.jitterPercent, 0.0, 50.0);
        w.number("startDelayS", s.winch.startDelayS, 0.0, 86400.0);
        w.array("moves", [&](const json& v, const std::string& where) { readMove(v, where, s.winch); });
    });
    r.object("faults", [&](ObjectReader& f) {
        f.number("dropPercent", s.faults.dropPercent, 0.0, 100.0);
        f.number("latePercent", s.faults.latePercent, 0.0, 100.0);
        f.number("lateDelayMs", s.faults.lateDelayMs, 0.0, 60000.0);
        f.number("duplicatePercent", s.faults.duplicatePercent, 0.0, 100.0);
        f.number("corruptPercent", s.faults.corruptPercent, 0.0, 100.0);
        f.number("declinePercent", s.faults.declinePercent, 0.0, 100.0);
        f.array("bursts", [&](const json& v, const std::string& where) {
            Burst b;
            ObjectReader br(v, where);
            br.number("atS", b.atS, 0.0, 1e7);
            br.number("ms", b.ms, 0.0, 1e7);
            br.finish();
            s.faults.bursts.push_back(b);
        });
    });
    r.finish();

    if (s.sampleLength != 512 && s.sampleLength != 1024) {
        throw ScenarioError("scenario: instrument.sampleLength must be 512 or 1024");
    }
    if (s.stepMm % 10 != 0)
        throw ScenarioError("scenario: instrument.stepMm must be a whole number of centimetres");
    if (!s.pipePositions.empty() && static_cast<int>(s.pipePositions.size()) != s.pipeCount) {
        throw ScenarioError("scenario: pipes.positionsMm must hold pipes.count positions");
    }
    if (s.probeDiameterMm > s.pipeInnerDiameterMm || s.pipeInnerDiameterMm > s.pipeOuterDiameterMm) {
        throw ScenarioError("scenario: the probe must fit the pipe (probe <= inner <= outer diameter)");
    }
    const double faultSum = s.faults.dropPercent + s.faults.latePercent + s.faults.duplicatePercent +
                            s.faults.corruptPercent + s.faults.declinePercent;
    if (faultSum > 100.0) throw ScenarioError("scenario: the fault percentages add up to more than 100");
    for (const Defect& d : s.defects) {
        for (const std::string& pair : d.sections) {
            if (pair[2] - '0' > s.pipeCount) {
                throw ScenarioError("scenario: defect section " + pair +
                                    " names a pipe the pile does not have");
            }
        }
    }
    return s;
}

Scenario loadScenario(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScenarioError("scenario: cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return parseScenario(text.str());
}

}  // namespace lx9::sim
