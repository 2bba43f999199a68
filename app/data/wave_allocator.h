// Storage of the waveforms of the point lists. A whole test holds up to 65 535 levels x 6
// sections of 1 or 2 KB waveforms; taken from the general heap, opening a large test costs one
// page fault per 4 KB of fresh memory, which dominates the open. The waveform pool carves the
// blocks from large regions that ask the kernel for transparent huge pages, so first-touching
// them costs one fault per 2 MB. Freed blocks are kept per size for the next test; the regions
// stay mapped for the life of the program (it holds one test at a time).
//
// Thread-safe: the worker, the service thread and the views allocate and free concurrently.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace lx9 {

// Blocks of at most this many bytes come from the pool; larger ones from operator new.
inline constexpr size_t kWavePoolMaxBlock = 16 * 1024;

void* allocateWave(size_t bytes);
void freeWave(void* block, size_t bytes) noexcept;

// Large buffers with a life of their own (the text of a file, a block of points): memory from
// the kernel, not zeroed twice, a buffer of 1 MB or more aligned to and advised for huge pages so
// that first-touching it costs one fault per 2 MB. nullptr when there is no memory. Builds for
// the address sanitizer use operator new. freeLarge takes the size allocateLarge was given.
void* allocateLarge(size_t bytes) noexcept;
void freeLarge(void* block, size_t bytes) noexcept;

// A container's memory from allocateLarge, for large vectors built once and dropped whole.
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() noexcept = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(size_t n) {
        void* p = allocateLarge(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n) noexcept { freeLarge(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }
};

struct WavePoolStats {
    size_t regions = 0;      // regions mapped
    size_t mappedBytes = 0;  // address space of the regions
    size_t blocksInUse = 0;  // pooled blocks handed out and not yet freed
    bool pooled = false;     // false when built for the address sanitizer (plain operator new)
};
WavePoolStats wavePoolStats();

template <class T>
struct WaveAllocator {
    using value_type = T;
    WaveAllocator() noexcept = default;
    template <class U>
    WaveAllocator(const WaveAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return static_cast<T*>(allocateWave(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { freeWave(p, n * sizeof(T)); }
    // resize() leaves new samples unset: every waveform is filled right after it is sized (from
    // the instrument or straight from a file), and zeroing a quarter gigabyte first would cost
    // as much again. Anything that wants a value says so (assign, the fill constructor).
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    bool operator==(const WaveAllocator<U>&) const noexcept {
        return true;
    }
};

using WaveSamples = std::vector<uint16_t, WaveAllocator<uint16_t>>;

// A waveform equals a plain sample vector holding the same samples (and, rewritten by the
// compiler, the other way round and !=).
inline bool operator==(const WaveSamples& a, const std::vector<uint16_t>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace lx9
