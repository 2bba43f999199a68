#include "analysis/pile_analysis.h"

#include <algorithm>
#include <cmath>

#include "analysis/algorithm_standards.h"
#include "data/point_metrics.h"
#include "data/sample_data_list.h"

namespace lx9 {
namespace {

bool takesPart(const CInfo& info, const SectionLists& lists, int k) {
    return info.sections[k].present && lists[k];
}

bool isValue(float critical) {
    return criticalStatus(critical) == CriticalStatus::Value;
}

// What one point contributes, copied out under the list's lock.
struct PointRow {
    bool hasWave = false;
    float depth = 0.0f;
    float timeUs = 0.0f;  // pointMetrics
    int32_t tIndex = -1;
    int32_t ampIndex = -1;
    float velocityMmS = 0.0f;    // pointMetrics
    float amplitudeDb = 0.0f;    // from pointMetrics' amplitude
    float arrayVelocity = 0.0f;  // velocityArray (km/s)
    float arrayDb = 0.0f;        // dbArray
    int grade = 0;               // gradeArray
};

struct SectionCopy {
    std::vector<PointRow> rows;
    std::vector<float> velocityMmS, amplitudeDb, velocityArray, dbArray;
    std::vector<PsdValue> psd;
};

float at(const std::vector<float>& a, int i) {
    return i < static_cast<int>(a.size()) ? a[i] : 0.0f;
}

SectionCopy copySection(const CInfo& info, CSampleDataList& l, int slot) {
    SectionCopy c;
    auto guard = l.lock();
    const int n = l.count;
    c.rows.resize(n);
    for (int i = 0; i < n; ++i) {
        const SamplePoint* p = l.point(i);
        if (!p) continue;
        PointRow& r = c.rows[i];
        r.hasWave = !p->samples.empty();
        r.depth = p->depth;
        const bool ampInRange = p->ampIndex >= 0 && static_cast<size_t>(p->ampIndex) < p->samples.size();
        const int32_t ampCode = ampInRange ? p->samples[p->ampIndex] : 2048;
        const PointMetrics m = pointMetrics(info, slot + 1, p->tIndex, p->depth, p->gain, ampCode, p->delay);
        r.velocityMmS = m.velocity;
        r.timeUs = m.time;
        r.tIndex = p->tIndex;
        r.ampIndex = p->ampIndex;
        r.amplitudeDb = static_cast<float>(amplitudeToDb(m.amplitude));
        r.arrayVelocity = at(l.velocityArray, i);
        r.arrayDb = at(l.dbArray, i);
        r.grade = static_cast<int>(at(l.gradeArray, i));
    }
    c.velocityMmS.resize(n);
    c.amplitudeDb.resize(n);
    for (int i = 0; i < n; ++i) {
        c.velocityMmS[i] = c.rows[i].velocityMmS;
        c.amplitudeDb[i] = c.rows[i].amplitudeDb;
    }
    c.velocityArray = l.velocityArray;
    c.dbArray = l.dbArray;
    c.psd = PsdSeries(info, l, slot);
    return c;
}

ValueStatistics scaled(ValueStatistics s, double factor) {
    s.mean *= factor;
    s.deviation *= factor;
    return s;
}

void fillPsd(SectionAnalysis& s, std::vector<PsdValue> psd) {
    s.psd = std::move(psd);
    for (const PsdValue& k : s.psd) {
        if (k.value > s.psdMax) {
            s.psdMax = k.value;
            s.psdMaxDepth = k.depth;
        }
    }
}

void analyseByPoints(CAlgorithm& algorithm, const SectionCopy& c, SectionAnalysis& s) {
    const int n = static_cast<int>(c.rows.size());
    const float vc = algorithm.CriticalVelocity(c.velocityMmS.data(), n, s.slot);
    const float ac = algorithm.CriticalAmplitude(c.amplitudeDb.data(), n, s.slot);
    s.criticalVelocityMmS = vc;
    s.criticalVelocity = isValue(vc) ? static_cast<float>(vc / 1e6) : vc;
    s.criticalAmplitudeDb = ac;
    s.velocity = scaled(describeValues(algorithm.SelectValues(c.velocityMmS.data(), n, s.slot)), 1e-6);
    s.amplitude = describeValues(algorithm.SelectValues(c.amplitudeDb.data(), n, s.slot));
    for (int i = 0; i < n; ++i) {
        const PointRow& r = c.rows[i];
        if (!r.hasWave) continue;
        const bool belowV = isValue(vc) && r.velocityMmS < vc;
        const bool belowA = isValue(ac) && r.amplitudeDb < ac;
        if (belowV || belowA) {
            s.findings.push_back(
                {i, r.depth, static_cast<float>(r.velocityMmS / 1e6), r.amplitudeDb, belowV, belowA, 0});
        }
    }
}

void analyseDbj(CAlgorithm_DBJ15_60_2008& algorithm, CSampleDataList& l, const SectionCopy& c,
                SectionAnalysis& s) {
    float vc = 0.0f;
    {
        auto guard = l.lock();
        vc = l.criticalVelocity;
        s.criticalAmplitudeDb = l.criticalAmplitudeDb;
    }
    const float ac = s.criticalAmplitudeDb;
    s.criticalVelocity = vc;
    s.criticalVelocityMmS = static_cast<float>(static_cast<double>(vc) * 1000000.0);
    s.dbjSection = algorithm.SectionCriticalVelocityDbj(s.slot);
    s.velocity = describeValues(
        algorithm.SelectInterval(c.velocityArray.data(), static_cast<int>(c.velocityArray.size()), s.slot));
    s.amplitude = describeValues(
        algorithm.SelectInterval(c.dbArray.data(), static_cast<int>(c.dbArray.size()), s.slot));
    for (int i = 0; i < static_cast<int>(c.rows.size()); ++i) {
        const PointRow& r = c.rows[i];
        if (r.grade >= 1 && r.grade <= 4) ++s.gradeCounts[r.grade - 1];
        if (!r.hasWave) continue;
        const bool belowV = vc > 0.0f && r.arrayVelocity < vc;
        const bool belowA = isValue(ac) && r.arrayDb < ac;
        if (belowV || belowA || r.grade >= 2) {
            s.findings.push_back({i, r.depth, r.arrayVelocity, r.arrayDb, belowV, belowA, r.grade});
        }
    }
}

}  // namespace

void setWholeIntervals(const CInfo& info, const SectionLists& lists) {
    for (int k = 0; k < kMaxSections; ++k) {
        if (!takesPart(info, lists, k)) continue;
        auto guard = lists[k]->lock();
        lists[k]->intervalFirst = 0;
        lists[k]->intervalLast = static_cast<int32_t>(lists[k]->count) - 1;
    }
}

float EvaluatePileDbj(const CInfo& info, const SectionLists& lists) {
    for (int k = 0; k < kMaxSections; ++k) {
        if (!takesPart(info, lists, k)) continue;
        CSampleDataList& l = *lists[k];
        auto guard = l.lock();
        // The velocities use the spacing of section sectionIndex: make it this slot's before the
        // first computation, not only when the pile velocity is computed afterwards.
        l.sectionIndex = k;
        l.computeTimes(info);
        l.computeVelocities(info);
        l.copyDb();
    }
    CAlgorithm_DBJ15_60_2008 rules(info, lists);
    const float vc = rules.CriticalVelocity(nullptr, 0, 0);
    for (int k = 0; k < kMaxSections; ++k) {
        if (!takesPart(info, lists, k)) continue;
        CSampleDataList& l = *lists[k];
        std::vector<float> db;
        {
            auto guard = l.lock();
            db = l.dbArray;
        }
        const float ac = rules.CriticalAmplitude(db.data(), static_cast<int>(db.size()), k);
        auto guard = l.lock();
        l.computeGrades(info, vc, ac);
    }
    return vc;
}

PileAnalysis analysePile(const CInfo& info, const SectionLists& lists, std::string_view standard) {
    PileAnalysis pile;
    pile.standard = std::string(standard);
    pile.rules = standardRules(standard);
    pile.graded = standard == kStandardGuangdong;
    if (pile.graded) pile.pileCriticalVelocity = EvaluatePileDbj(info, lists);

    std::unique_ptr<CAlgorithm> algorithm = makeAlgorithm(standard, info, lists);
    for (int k = 0; k < kMaxSections; ++k) {
        if (!takesPart(info, lists, k)) continue;
        SectionAnalysis s;
        s.slot = k;
        s.name = info.sections[k].name;
        const SectionCopy c = copySection(info, *lists[k], k);
        s.pointCount = static_cast<int>(c.rows.size());
        fillPsd(s, c.psd);
        if (pile.graded) {
            analyseDbj(static_cast<CAlgorithm_DBJ15_60_2008&>(*algorithm), *lists[k], c, s);
        } else {
            analyseByPoints(*algorithm, c, s);
        }
        pile.sections.push_back(std::move(s));
    }
    return pile;
}

std::vector<PointValues> sectionPointValues(const CInfo& info, CSampleDataList& list, int slot, bool graded) {
    const SectionCopy c = copySection(info, list, slot);
    std::vector<PointValues> out(c.rows.size());
    for (size_t i = 0; i < c.rows.size(); ++i) {
        const PointRow& r = c.rows[i];
        PointValues& v = out[i];
        v.hasWave = r.hasWave;
        v.depth = r.depth;
        v.timeUs = r.timeUs;
        v.tIndex = r.tIndex;
        v.ampIndex = r.ampIndex;
        if (graded) {
            v.velocity = r.arrayVelocity;
            v.amplitudeDb = r.arrayDb;
            v.grade = r.grade;
        } else {
            // As analyseByPoints turns them into findings.
            v.velocity = static_cast<float>(r.velocityMmS / 1e6);
            v.amplitudeDb = r.amplitudeDb;
        }
    }
    return out;
}

PileAnalysis storeUploadCriticals(const CInfo& info, const SectionLists& lists) {
    PileAnalysis pile = analysePile(info, lists, info.standard);
    CAlgorithm_DBJ15_60_2008 guangdong(info, lists);
    for (const SectionAnalysis& s : pile.sections) {
        CSampleDataList& l = *lists[s.slot];
        float amplitude = s.criticalAmplitudeDb;
        if (pile.graded) {
            // The upload's amplitude criterion is the rule's on every point's dB amplitude from
            // pointMetrics (over the interval), not on the stored dbArray.
            const SectionCopy c = copySection(info, l, s.slot);
            amplitude = guangdong.CriticalAmplitude(c.amplitudeDb.data(),
                                                    static_cast<int>(c.amplitudeDb.size()), s.slot);
        }
        auto guard = l.lock();
        l.uploadVelocityCritical = s.criticalVelocityMmS;
        l.uploadAmplitudeCritical = amplitude;
    }
    return pile;
}

}  // namespace lx9
