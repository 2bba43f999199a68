#include "data/sample_data_list.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

#include "data/cinfo.h"
#include "data/globals.h"
#include "data/point_metrics.h"
#include "data/run_state.h"

namespace lx9 {

namespace {

// Single points come in blocks that double from the first size up to the largest: a live test
// grows its lists one point at a time.
constexpr size_t kFirstBlockPoints = 16;
constexpr size_t kLargestGrowingBlockPoints = 1024;

PointBlock newBlock(size_t capacity) {
    void* memory = allocateLarge(capacity * sizeof(SamplePoint));
    if (!memory) throw std::bad_alloc();
    return {static_cast<SamplePoint*>(memory), capacity};
}

void freeBlock(const PointBlock& block) noexcept {
    freeLarge(block.points, block.capacity * sizeof(SamplePoint));
}

}  // namespace

PointBatch::PointBatch(size_t n) {
    if (n == 0) return;
    block_ = newBlock(n);
    for (size_t i = 0; i < n; ++i)
        new (block_.points + i) SamplePoint();
    size_ = n;
}

PointBatch::~PointBatch() {
    for (size_t i = 0; i < size_; ++i)
        block_.points[i].~SamplePoint();
    if (block_.points) freeBlock(block_);
}

PointBatch::PointBatch(PointBatch&& other) noexcept
    : block_(std::exchange(other.block_, {})), size_(std::exchange(other.size_, 0)) {}

PointBatch& PointBatch::operator=(PointBatch&& other) noexcept {
    if (this != &other) {
        PointBatch gone(std::move(*this));
        block_ = std::exchange(other.block_, {});
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

SampleData::~SampleData() {
    // Destroy along the chain, as the chain holds the live points; the index only mirrors it and
    // spare slots hold none.
    for (SamplePoint* p = first; p;) {
        SamplePoint* next = p->next;
        p->~SamplePoint();
        p = next;
    }
    for (const PointBlock& block : blocks_)
        freeBlock(block);
}

CSampleDataList::CSampleDataList(int32_t length, int32_t section) {
    sampleLength = std::max<int32_t>(length, 0);
    sectionIndex = section;
}

// A point being built for this list: its slot is taken under the lock, the point is filled
// without it, and unless it is linked it goes back to the list's spare slots.
class CSampleDataList::FreshPoint {
  public:
    // Takes a slot; throws std::bad_alloc.
    explicit FreshPoint(CSampleDataList& list) : list_(list) {
        std::lock_guard<std::mutex> guard(list.lock_);
        point_ = new (list.takeSlot()) SamplePoint();
    }
    // For a caller that already holds the lock.
    FreshPoint(CSampleDataList& list, std::adopt_lock_t)
        : list_(list), point_(new (list.takeSlot()) SamplePoint()) {}
    ~FreshPoint() {
        if (!point_) return;
        point_->~SamplePoint();
        std::lock_guard<std::mutex> guard(list_.lock_);
        list_.giveBack(point_);
    }
    FreshPoint(const FreshPoint&) = delete;
    FreshPoint& operator=(const FreshPoint&) = delete;

    SamplePoint* operator->() const { return point_; }
    SamplePoint& operator*() const { return *point_; }
    SamplePoint* release() { return std::exchange(point_, nullptr); }

  private:
    CSampleDataList& list_;
    SamplePoint* point_ = nullptr;
};

SamplePoint* CSampleDataList::takeSlot() {
    if (!spare_.empty()) {
        SamplePoint* slot = spare_.back();
        spare_.pop_back();
        return slot;
    }
    if (growing_ == SIZE_MAX || growingUsed_ == blocks_[growing_].capacity) {
        const size_t capacity = growing_ == SIZE_MAX
                                    ? kFirstBlockPoints
                                    : std::min(blocks_[growing_].capacity * 2, kLargestGrowingBlockPoints);
        blocks_.reserve(blocks_.size() + 1);  // the block, once it exists, is always kept
        blocks_.push_back(newBlock(capacity));
        growing_ = blocks_.size() - 1;
        growingUsed_ = 0;
    }
    return blocks_[growing_].points + growingUsed_++;
}

void CSampleDataList::giveBack(SamplePoint* slot) noexcept {
    try {
        spare_.push_back(slot);
    } catch (const std::bad_alloc&) {
        // The slot stays unused until the list goes; its block is freed with the list.
    }
}

bool CSampleDataList::link(FreshPoint& point, bool makeCurrent) {
    std::lock_guard<std::mutex> guard(lock_);
    // The count is 16 bits wide: refuse rather than wrap.
    if (count >= kMaxPoints) return false;
    try {
        index_.push_back(&*point);
    } catch (const std::bad_alloc&) {
        return false;
    }
    SamplePoint* p = point.release();
    p->prev = tail;
    if (tail) tail->next = p;
    tail = p;
    lastAdded = p;
    if (!first) {
        first = p;
        current = p;
    } else if (makeCurrent) {
        current = p;
    }
    ++count;
    return true;
}

bool CSampleDataList::appendBatch(PointBatch& batch) {
    const size_t n = batch.size_;
    if (n == 0) return true;
    std::lock_guard<std::mutex> guard(lock_);
    if (count + n > kMaxPoints) return false;
    try {
        index_.reserve(count + n);
        blocks_.reserve(blocks_.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    blocks_.push_back(batch.block_);
    for (size_t i = 0; i < n; ++i) {
        SamplePoint* p = batch.block_.points + i;
        p->prev = tail;
        p->next = nullptr;
        if (tail) {
            tail->next = p;
        } else {
            first = p;
        }
        tail = p;
        index_.push_back(p);
    }
    current = tail;
    lastAdded = tail;
    count = static_cast<uint16_t>(count + n);
    batch.block_ = {};
    batch.size_ = 0;
    return true;
}

bool CSampleDataList::append(const uint16_t* samples, float depth) {
    if (!samples) return false;
    try {
        FreshPoint p(*this);
        p->samples.assign(samples, samples + sampleLength);
        p->depth = depth;
        return link(p, true);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CSampleDataList::appendPlaceholder() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++placeholderCount;
    }
    try {
        FreshPoint p(*this);
        p->samples.assign(static_cast<size_t>(sampleLength), uint16_t{2048});
        return link(p, false);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CSampleDataList::removeLast() {
    SamplePoint* victim = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!tail) return false;
        victim = tail;
        tail = victim->prev;
        if (tail) tail->next = nullptr;
        if (first == victim) first = nullptr;
        if (current == victim) current = tail;
        if (lastAdded == victim) lastAdded = tail;
        if (cursor == victim) cursor = first;
        index_.pop_back();
        --count;
    }
    victim->~SamplePoint();  // outside the lock: no reader can reach it any more
    std::lock_guard<std::mutex> guard(lock_);
    giveBack(victim);
    return true;
}

namespace {

void resetPick(SamplePoint& p) {
    p.threshold = 0.0f;
    p.delay = 0.0f;
    p.gain = 0.0f;
    p.tIndex = -1;
    p.ampIndex = 0;
    p.velocity = 0.0f;
    p.amplitude = 0.0f;
    p.amplitudeDb = 0.0f;
    p.tIndexValue = 0.0f;
}

void copyPick(const SamplePoint& from, SamplePoint& to) {
    to.threshold = from.threshold;
    to.delay = from.delay;
    to.gain = from.gain;
    to.tIndex = from.tIndex;
    to.ampIndex = from.ampIndex;
    to.velocity = from.velocity;
    to.amplitude = from.amplitude;
    to.amplitudeDb = from.amplitudeDb;
    to.tIndexValue = from.tIndexValue;
}

}  // namespace

void CSampleDataList::fillWave(SamplePoint& p, const uint16_t* samples, size_t n) const {
    const size_t length = static_cast<size_t>(sampleLength);
    p.samples.resize(length);  // no allocation when the point already has its waveform
    const size_t m = std::min(n, length);
    std::copy(samples, samples + m, p.samples.begin());
    std::fill(p.samples.begin() + static_cast<std::ptrdiff_t>(m), p.samples.end(), uint16_t{2048});
}

bool CSampleDataList::storeCurrent(const uint16_t* samples, size_t n, float depth) {
    if (!samples) return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (current) {
            fillWave(*current, samples, n);
            current->depth = depth;
            resetPick(*current);
            lastAdded = current;
            return true;
        }
    }
    return storeAt(0, samples, n, depth);
}

bool CSampleDataList::storeAt(int index, const uint16_t* samples, size_t n, float depth) {
    if (!samples || index < 0) return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (index > static_cast<int>(count)) return false;
        if (index < static_cast<int>(count)) {
            SamplePoint* p = index_[static_cast<size_t>(index)];
            fillWave(*p, samples, n);
            p->depth = depth;
            resetPick(*p);
            current = p;
            lastAdded = p;
            return true;
        }
    }
    try {
        FreshPoint p(*this);
        fillWave(*p, samples, n);
        p->depth = depth;
        resetPick(*p);
        return link(p, true);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CSampleDataList::copyPoint(int from, int index, float depth) {
    if (from < 0 || index < 0 || from == index) return false;
    std::optional<FreshPoint> fresh;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (from >= static_cast<int>(count) || index > static_cast<int>(count)) return false;
        const SamplePoint* source = index_[static_cast<size_t>(from)];
        if (index < static_cast<int>(count)) {
            SamplePoint* p = index_[static_cast<size_t>(index)];
            p->samples.assign(source->samples.begin(), source->samples.end());
            copyPick(*source, *p);
            p->depth = depth;
            current = p;
            lastAdded = p;
            return true;
        }
        try {
            fresh.emplace(*this, std::adopt_lock);
            (*fresh)->samples = source->samples;
            copyPick(*source, **fresh);
            (*fresh)->depth = depth;
        } catch (const std::bad_alloc&) {
            // The lock is held here: the slot goes straight back to the spare ones.
            if (fresh) {
                SamplePoint* slot = fresh->release();
                slot->~SamplePoint();
                giveBack(slot);
            }
            return false;
        }
    }
    return link(*fresh, true);
}

bool CSampleDataList::setCurrentAt(int index) {
    std::lock_guard<std::mutex> guard(lock_);
    if (index < 0 || index >= static_cast<int>(count)) return false;
    current = index_[static_cast<size_t>(index)];
    lastAdded = current;
    return true;
}

// Rules of the indexed access, in order:
// 1. i beyond count yields `current`; 2. an empty list yields none; 3. except while a file is
// viewed, i is taken modulo maxPointCount (truncating, sign kept); 4. i <= 0 yields `first`;
// 5. otherwise the point i links after `first`, so i == count yields none.
SamplePoint* CSampleDataList::point(int i) {
    if (i > static_cast<int>(count)) return current;
    if (count == 0) return nullptr;
    if (testState.load() != makeState(kStateViewing)) {
        int levels = maxPointCount.load();
        if (levels > 0) i %= levels;  // no levels expected: nothing to wrap around
    }
    if (i <= 0) return first;
    if (i >= static_cast<int>(count)) return nullptr;
    cursor = index_[static_cast<size_t>(i)];
    return cursor;
}

SamplePoint* CSampleDataList::pointAt(int i) const {
    if (i < 0 || i >= static_cast<int>(count)) return nullptr;
    return index_[static_cast<size_t>(i)];
}

namespace {

// Travel time of a point with its own delay, as the derived arrays use it.
double rawTime(const SamplePoint& p, double dt) {
    return (p.tIndex + 1) * dt + p.delay;
}

}  // namespace

void CSampleDataList::computeTimes(const CInfo& info) {
    current = point(0);
    timeArray.assign(count, 0.0f);
    for (int i = 0; i < count; ++i) {
        const SamplePoint* p = point(i);
        if (p && !p->samples.empty()) timeArray[i] = static_cast<float>(rawTime(*p, info.sampleInterval));
    }
}

void CSampleDataList::computeVelocities(const CInfo& info) {
    current = point(0);
    velocityArray.assign(count, 0.0f);
    const int32_t spacing = info.sections[std::clamp(sectionIndex, 0, kMaxSections - 1)].spacing;
    for (int i = 0; i < count; ++i) {
        const SamplePoint* p = point(i);
        if (!p || p->samples.empty()) continue;
        double t = rawTime(*p, info.sampleInterval);
        if (t != 0.0) velocityArray[i] = static_cast<float>(spacing / 1000.0 / t * 1000.0);
    }
}

void CSampleDataList::copyDb() {
    current = point(0);
    dbArray.assign(count, 0.0f);
    for (int i = 0; i < count; ++i) {
        const SamplePoint* p = point(i);
        if (p) dbArray[i] = p->amplitudeDb;
    }
}

void CSampleDataList::computeGrades(const CInfo& info, float vc, float ac) {
    criticalVelocity = vc;
    criticalAmplitudeDb = ac;
    current = point(0);
    gradeArray.assign(count, 0.0f);
    const int32_t spacing = info.sections[std::clamp(sectionIndex, 0, kMaxSections - 1)].spacing;
    for (int i = 0; i < count; ++i) {
        const SamplePoint* p = point(i);
        if (!p) continue;
        double v = 0.0;
        if (!p->samples.empty()) {
            double t = rawTime(*p, info.sampleInterval);
            if (t != 0.0) v = spacing / 1000.0 / t * 1000.0;
        }
        gradeArray[i] = static_cast<float>(pointGrade(v, waveformAmplitudeDb(*p), vc, ac));
    }
}

int pointGrade(double v, double a, double vc, double ac) {
    int velocityClass = v <= 0.75 * vc ? 4 : v > 0.925 * vc ? 1 : v > 0.85 * vc ? 2 : 3;
    int amplitudeClass = a > ac - 4 ? 1 : a > ac - 8 ? 2 : a > ac - 12 ? 3 : 4;
    return std::max(velocityClass, amplitudeClass);
}

}  // namespace lx9
