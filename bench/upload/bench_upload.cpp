// Figures of the upload: building packets, drawing and encoding a section's wave-train PNG, and
// the result server's reading of a whole upload's byte stream.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "../../tests/upload/upload_fixtures.h"
#include "result_packet.h"
#include "result_store.h"
#include "ui/gui_application.h"
#include "upload/section_image.h"
#include "upload/upload_packets.h"

namespace {

using namespace lx9;

// A 20 m pile at 50 mm with four pipes: 401 levels of six 1024-sample waveforms.
struct Pile {
    CInfo info;
    testing::OwnedLists lists;
    Pile() {
        info = testing::smallTest();
        info.pipeCount = 4;
        info.sectionCount = 6;
        info.sampleLength = 1024;
        info.rebuildSectionNames();
        for (auto& s : info.sections)
            s.present = true;
        testing::fillSmallTest(info, lists, 401);
    }
};

Pile& pile() {
    static Pile p;
    return p;
}

void BM_DataPacket(benchmark::State& state) {
    const Pile& p = pile();
    const auto id = testing::smallIdentity();
    // Levels in order, as the upload sends them.
    LevelReader reader(p.info, p.lists);
    int level = 0;
    for (auto _ : state) {
        auto bytes = dataPacket(id, p.info, reader.read(level));
        benchmark::DoNotOptimize(bytes.data());
        level = (level + 1) % 401;
    }
}
BENCHMARK(BM_DataPacket);

void BM_RenderSectionImage(benchmark::State& state) {
    const Pile& p = pile();
    const auto path = std::filesystem::temp_directory_path() / "lx9-bench-section.png";
    for (auto _ : state)
        benchmark::DoNotOptimize(renderSectionImage(p.info, p.lists, 0, path));
    state.counters["png_bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(BM_RenderSectionImage)->Unit(benchmark::kMillisecond);

void BM_ServerReadsAWholeUpload(benchmark::State& state) {
    const Pile& p = pile();
    const auto id = testing::smallIdentity();
    std::vector<uint8_t> stream;
    auto add = [&](const std::vector<uint8_t>& b) { stream.insert(stream.end(), b.begin(), b.end()); };
    add(fileHeaderPacket1(id, p.info, "P7.CHT", 45356.0));
    add(fileHeaderPacket2(id, p.info));
    for (int level = 0; level < 401; ++level)
        add(dataPacket(id, p.info, dataLevel(p.info, p.lists, level)));
    add(criteriaPacket(id, p.info, {}, 1));
    add(criteriaPacket(id, p.info, {}, 2));
    const std::vector<uint8_t> chunk(kImageChunkBytes, 0x5A);
    for (int s = 0; s < 6; ++s)
        for (int c = 1; c <= 60; ++c)
            add(imageChunkPacket(id, p.info.sections[s].name, c, chunk));
    add(endPacket(id, p.info, 20.0f));
    for (auto _ : state) {
        server::PacketFramer framer;
        server::UploadAssembly assembly;
        framer.feed(stream);
        std::size_t packets = 0;
        while (auto item = framer.next()) {
            if (auto packet = server::parsePacket(item->bytes)) {
                assembly.accept(std::move(*packet));
                ++packets;
            }
        }
        benchmark::DoNotOptimize(packets);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["stream_bytes"] = static_cast<double>(stream.size());
}
BENCHMARK(BM_ServerReadsAWholeUpload)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    lx9::ui::OffscreenGui gui;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
