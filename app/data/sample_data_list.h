// Point lists: one chain of measuring points per section slot, in acquisition order.
//
// Threading contract: the acquisition worker builds a point completely (in a slot of the list's
// blocks, taken under the lock), then links it under the list's lock; views and analysis hold
// the same lock (lock()) while they walk the chain, read a point's waveform or fields, or copy
// them out. Every field below is guarded by lock_. The mutating members take the lock
// themselves; the reading members expect the caller to hold it. A file's points are built in a
// PointBatch, which no other thread can reach, and linked in one go (appendBatch).
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "data/cinfo.h"
#include "data/wave_allocator.h"

namespace lx9 {

struct SamplePoint {
    WaveSamples samples;  // empty: the point has no waveform
    float depth = 0.0f;   // m
    float threshold = 0.0f;
    float delay = 0.0f;  // µs; -1 = use the section's delay
    float gain = 0.0f;
    int32_t tIndex = 0;  // first-arrival sample; -1 until picked
    int32_t ampIndex = 0;
    float velocity = 0.0f;  // mm/s
    float amplitude = 0.0f;
    float amplitudeDb = 0.0f;
    float tIndexValue = 0.0f;
    SamplePoint* next = nullptr;
    SamplePoint* prev = nullptr;
};

// Memory for points, many to a block: opening a large test builds 120 000 points, and one heap
// allocation each costs more than reading their waveforms.
struct PointBlock {
    SamplePoint* points = nullptr;  // "slots" would meet Qt's macro of that name
    size_t capacity = 0;            // slots in the block
};

// Points built together, not yet in any list: the reader fills them without a lock and hands
// them to a list in one go (CSampleDataList::appendBatch). Dropping a batch frees its points.
class PointBatch {
  public:
    PointBatch() = default;
    explicit PointBatch(size_t n);  // n default points in one block; throws std::bad_alloc
    ~PointBatch();
    PointBatch(PointBatch&& other) noexcept;
    PointBatch& operator=(PointBatch&& other) noexcept;

    size_t size() const { return size_; }
    SamplePoint& operator[](size_t i) { return block_.points[i]; }

  private:
    friend class CSampleDataList;
    PointBlock block_;
    size_t size_ = 0;
};

// Owns the chain and the blocks its points live in; destroying it frees every point.
class SampleData {
  public:
    SampleData() = default;
    virtual ~SampleData();
    SampleData(const SampleData&) = delete;
    SampleData& operator=(const SampleData&) = delete;

    uint16_t count = 0;
    SamplePoint* lastAdded = nullptr;
    SamplePoint* tail = nullptr;
    int32_t sampleLength = 512;
    SamplePoint* current = nullptr;
    SamplePoint* first = nullptr;
    SamplePoint* cursor = nullptr;

  protected:
    // Index of the chain for constant-time point(i); always equals walking `next` from first.
    std::vector<SamplePoint*> index_;
    // Every block a point of the chain may live in. Points appended one by one take the spare
    // slots of removed points first, then the next slot of the block at growing_.
    std::vector<PointBlock> blocks_;
    size_t growing_ = SIZE_MAX;        // index in blocks_ of the block single points are taken from
    size_t growingUsed_ = 0;           // slots of that block handed out so far
    std::vector<SamplePoint*> spare_;  // slots of removed points, holding no point
};

class CSampleDataList : public SampleData {
  public:
    static constexpr uint16_t kMaxPoints = 65535;

    explicit CSampleDataList(int32_t sampleLength = 512, int32_t sectionIndex = 0);
    ~CSampleDataList() override = default;

    // The list's lock: hold it while walking the chain or reading points.
    std::unique_lock<std::mutex> lock() const { return std::unique_lock<std::mutex>(lock_); }

    // Appends a point with a private copy of sampleLength samples (missing samples read as the
    // zero line). False, list unchanged, for null samples or a full list (65 535 points).
    bool append(const uint16_t* samples, float depth);
    // Appends an all-2048 point for a skipped level; false when the list is full.
    bool appendPlaceholder();
    // Unlinks and frees the last point (probes lowered). `current` and `lastAdded` move to the
    // new last point when they pointed at the removed one. False on an empty list.
    bool removeLast();

    // The acquisition worker's stores. Each copies n samples into the point (a shorter frame is
    // padded with the zero line), builds a new point before it links it (only its slot is taken
    // under the lock), and allocates nothing once the point exists. The stored point becomes `current` and
    // `lastAdded`, and its pick is reset (tIndex -1, the picked values 0) until the worker has it picked.
    // Overwrites the current point; appends the first point of an empty list.
    bool storeCurrent(const uint16_t* samples, size_t n, float depth);
    // Stores into chain position `index` (0-based, never wrapped): overwrites the point there, or
    // appends when index == count. False for any other index or a full list.
    bool storeAt(int index, const uint16_t* samples, size_t n, float depth);
    // Copies the waveform and the picks of chain position `from` into position `index`
    // (overwrite, or append when index == count) with the given depth.
    bool copyPoint(int from, int index, float depth);
    // Links every point of the batch after the last point, under one lock, as that many
    // append() calls would: the last becomes `current` and `lastAdded`. The batch is left empty.
    // False, list and batch unchanged, when the list would hold more than 65 535 points.
    bool appendBatch(PointBatch& batch);

    // Makes chain position `index` current. False when there is no such point.
    bool setCurrentAt(int index);

    // Point by 0-based index; see the rules in sample_data_list.cpp. Caller holds lock().
    SamplePoint* point(int i);
    // The point at 0-based chain position i, or none when i is outside 0..count-1: no wrap and
    // no fallback to `current`, for callers that walk the whole chain (the data-file writer).
    // Caller holds lock().
    SamplePoint* pointAt(int i) const;

    // Derived arrays, one entry per point (caller holds lock()).
    void computeTimes(const CInfo& info);
    void computeVelocities(const CInfo& info);
    void copyDb();
    void computeGrades(const CInfo& info, float criticalVelocity, float criticalAmplitudeDb);

    int32_t sectionIndex = 0;
    int32_t placeholderCount = 0;
    // Statistics interval of the Guangdong rules, point indices; analysis sets both before it
    // reads them. The start values cover the whole list (the last bound is clamped to it).
    int32_t intervalFirst = 0;
    int32_t intervalLast = INT32_MAX;
    float criticalAmplitudeDb = 0.0f;
    float criticalVelocity = 0.0f;
    std::vector<float> dbArray;
    std::vector<float> timeArray;
    std::vector<float> velocityArray;
    std::vector<float> gradeArray;
    float uploadAmplitudeCritical = 0.0f;
    float uploadVelocityCritical = 0.0f;

  private:
    class FreshPoint;
    SamplePoint* takeSlot();
    void giveBack(SamplePoint* slot) noexcept;
    bool link(FreshPoint& point, bool makeCurrent);
    void fillWave(SamplePoint& p, const uint16_t* samples, size_t n) const;

    mutable std::mutex lock_;  // guards the point chain and every field of the list
};

// The six section lists of a test, slot k = section k, as the analysis, the files and the upload
// take them (null where a slot has no list).
using SectionLists = std::array<CSampleDataList*, kMaxSections>;

// Integrity class of a point (1 best .. 4 worst) from its velocity (km/s) and amplitude (dB)
// against the critical velocity vc and critical amplitude ac.
int pointGrade(double velocityKmS, double amplitudeDb, double vc, double ac);

}  // namespace lx9
