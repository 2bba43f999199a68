#include "data/wave_allocator.h"

#include <sys/mman.h>

#include <array>
#include <mutex>
#include <new>

namespace lx9 {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;  // let the sanitizer see every block on its own
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif
#else
constexpr bool kPooled = true;
#endif

constexpr size_t kGranule = 64;  // block sizes are multiples of this
constexpr size_t kClasses = kWavePoolMaxBlock / kGranule;
constexpr size_t kHugePage = 2 * 1024 * 1024;
constexpr size_t kRegionBytes = 32 * kHugePage;  // 64 MB of address space at a time

// Maps `bytes` rounded up to whole huge pages at a huge-page boundary (the kernel backs only
// aligned 2 MB spans with huge pages).
void* mapHugeAligned(size_t bytes) noexcept {
    const size_t span = bytes + kHugePage;
    void* raw =
        ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    const uintptr_t tail = aligned + bytes;
    if (start + span > tail) ::munmap(reinterpret_cast<void*>(tail), start + span - tail);
    // Only a hint: without huge pages the memory still works, with 4 KB faults.
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

constexpr size_t kLargeMapped = 1024 * 1024;  // from this size on a buffer gets its own mapping

size_t mappedSize(size_t bytes) {
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

struct FreeBlock {
    FreeBlock* next;
};

class WavePool {
  public:
    void* allocate(size_t bytes) {
        const size_t cls = classOf(bytes);
        std::lock_guard<std::mutex> g(lock_);
        if (FreeBlock* b = free_[cls]) {
            free_[cls] = b->next;
            ++inUse_;
            return b;
        }
        const size_t size = (cls + 1) * kGranule;
        if (static_cast<size_t>(end_ - next_) < size) newRegion();  // may throw std::bad_alloc
        void* block = next_;
        next_ += size;
        ++inUse_;
        return block;
    }

    void release(void* block, size_t bytes) noexcept {
        const size_t cls = classOf(bytes);
        std::lock_guard<std::mutex> g(lock_);
        --inUse_;
        auto* b = static_cast<FreeBlock*>(block);
        b->next = free_[cls];
        free_[cls] = b;
    }

    WavePoolStats stats() {
        std::lock_guard<std::mutex> g(lock_);
        return {regions_, regions_ * kRegionBytes, inUse_, true};
    }

  private:
    static size_t classOf(size_t bytes) { return bytes == 0 ? 0 : (bytes - 1) / kGranule; }

    // A region aligned to a huge page, so that the kernel can back all of it with huge pages.
    // The rest of the old region is given up: at most one block's worth.
    void newRegion() {
        void* region = mapHugeAligned(kRegionBytes);
        if (!region) throw std::bad_alloc();
        next_ = static_cast<char*>(region);
        end_ = next_ + kRegionBytes;
        ++regions_;
    }

    std::mutex lock_;  // guards everything below
    std::array<FreeBlock*, kClasses> free_{};
    char* next_ = nullptr;
    char* end_ = nullptr;
    size_t regions_ = 0;
    size_t inUse_ = 0;
};

// Never destroyed: point lists held in globals may free their waveforms after main returns.
WavePool& pool() {
    static WavePool* p = new WavePool;
    return *p;
}

}  // namespace

void* allocateWave(size_t bytes) {
    if (!kPooled || bytes > kWavePoolMaxBlock) return ::operator new(bytes);
    return pool().allocate(bytes);
}

void freeWave(void* block, size_t bytes) noexcept {
    if (!block) return;
    if (!kPooled || bytes > kWavePoolMaxBlock) {
        ::operator delete(block);
        return;
    }
    pool().release(block, bytes);
}

void* allocateLarge(size_t bytes) noexcept {
    if (!kPooled || bytes < kLargeMapped) return ::operator new(bytes == 0 ? 1 : bytes, std::nothrow);
    return mapHugeAligned(mappedSize(bytes));
}

void freeLarge(void* block, size_t bytes) noexcept {
    if (!block) return;
    if (!kPooled || bytes < kLargeMapped) {
        ::operator delete(block);
        return;
    }
    ::munmap(block, mappedSize(bytes));
}

WavePoolStats wavePoolStats() {
    if (!kPooled) return {};
    return pool().stats();
}

}  // namespace lx9
