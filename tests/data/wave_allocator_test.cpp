// The waveform pool: blocks never overlap, a freed block serves the next waveform of its size,
// large blocks bypass the pool, and threads allocating and freeing at once never share a block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include "data/sample_data_list.h"
#include "data/wave_allocator.h"

namespace lx9 {
namespace {

struct Block {
    uintptr_t at;
    size_t bytes;
};

bool overlapping(std::vector<Block> blocks) {
    std::sort(blocks.begin(), blocks.end(), [](const Block& a, const Block& b) { return a.at < b.at; });
    for (size_t i = 1; i < blocks.size(); ++i)
        if (blocks[i - 1].at + blocks[i - 1].bytes > blocks[i].at) return true;
    return false;
}

TEST(WavePool, BlocksAreDisjointAndFreedOnesAreReusedBySize) {
    if (!wavePoolStats().pooled) GTEST_SKIP() << "built for the address sanitizer: plain operator new";
    const size_t before = wavePoolStats().blocksInUse;
    std::vector<Block> blocks;
    for (size_t bytes : {1024u, 2048u, 1u, 64u, 65u, 2048u, 16384u, 1024u}) {
        void* p = allocateWave(bytes);
        std::memset(p, 0xA5, bytes);  // the whole block is usable
        blocks.push_back({reinterpret_cast<uintptr_t>(p), bytes});
    }
    EXPECT_FALSE(overlapping(blocks));
    EXPECT_EQ(wavePoolStats().blocksInUse, before + blocks.size());

    // The 2 KB block freed last is the next 2 KB (or 1985..2048-byte) block; a 1 KB one is not.
    freeWave(reinterpret_cast<void*>(blocks[5].at), 2048);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(allocateWave(1985)), blocks[5].at);
    freeWave(reinterpret_cast<void*>(blocks[1].at), 2048);
    EXPECT_NE(reinterpret_cast<uintptr_t>(allocateWave(1024)), blocks[1].at);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(allocateWave(2048)), blocks[1].at);
}

TEST(WavePool, LargeBlocksBypassThePool) {
    const WavePoolStats before = wavePoolStats();
    void* p = allocateWave(kWavePoolMaxBlock + 1);
    std::memset(p, 1, kWavePoolMaxBlock + 1);
    EXPECT_EQ(wavePoolStats().blocksInUse, before.blocksInUse);
    freeWave(p, kWavePoolMaxBlock + 1);
    freeWave(nullptr, 2048);  // nothing to do
}

TEST(WavePool, ANewRegionWhenOneIsFull) {
    if (!wavePoolStats().pooled) GTEST_SKIP() << "built for the address sanitizer: plain operator new";
    // 16 KB blocks: a 64 MB region holds 4096 of them. Untouched blocks cost no memory.
    const size_t regions = wavePoolStats().regions;
    std::vector<Block> blocks;
    for (int i = 0; i < 5000; ++i)
        blocks.push_back({reinterpret_cast<uintptr_t>(allocateWave(kWavePoolMaxBlock)), kWavePoolMaxBlock});
    EXPECT_GT(wavePoolStats().regions, regions);
    EXPECT_FALSE(overlapping(blocks));
    for (const Block& b : blocks)
        freeWave(reinterpret_cast<void*>(b.at), b.bytes);
}

TEST(WavePool, ThreadsNeverShareABlock) {
    // Each thread fills its waveforms with its own pattern, frees half and allocates again; a
    // block handed to two owners would show the other's pattern.
    std::vector<std::thread> threads;
    std::vector<int> faults(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &faults] {
            std::vector<WaveSamples> waves;
            for (int round = 0; round < 20; ++round) {
                for (int i = 0; i < 200; ++i)
                    waves.emplace_back(static_cast<size_t>(512 + 512 * (i % 2)),
                                       static_cast<uint16_t>(t * 1000 + i));
                for (size_t i = 0; i < waves.size(); ++i) {
                    const auto& w = waves[i];
                    if (!std::all_of(w.begin(), w.end(), [&](uint16_t v) { return v == w.front(); }))
                        ++faults[t];
                }
                waves.erase(waves.begin(), waves.begin() + static_cast<std::ptrdiff_t>(waves.size() / 2));
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(faults, std::vector<int>(4, 0));
}

TEST(WavePool, PointWaveformsCompareWithPlainVectors) {
    CSampleDataList list(4);
    const uint16_t samples[4] = {1, 2, 3, 4};
    ASSERT_TRUE(list.append(samples, 1.0f));
    auto guard = list.lock();
    EXPECT_EQ(list.first->samples, (std::vector<uint16_t>{1, 2, 3, 4}));
    EXPECT_NE(list.first->samples, (std::vector<uint16_t>{1, 2, 3}));
}

}  // namespace
}  // namespace lx9
