// Saved hand picks: the .CHT takes the new picks (and only them), the .CHD stays as it was, the
// audit file records every change, and a restore gives the original bytes back.
#include <gtest/gtest.h>

#include "../data/data_file_test_support.h"
#include "data/data_file_reader.h"
#include "data/data_file_writer.h"
#include "workbench/pick_audit.h"

namespace lx9 {
namespace {

using namespace lx9::testing_support;

constexpr const char* kTime = "2026-12-07T20:15:03";

class SavedPicks : public ::testing::Test {
  protected:
    void SetUp() override {
        base = dir.base("pile 7");
        CInfo written = makeInfo(3, 512, kHorizontal, base);
        Lists source = makeLists(512);
        fillLists(written, source, 0, 20);
        CSaveFile writer([] { return std::string("2026-12-7"); });
        ASSERT_TRUE(writer.saveAtEnd(written, listPointers(source)));
        cht = base + ".CHT";
        originalCht = readText(cht);
        originalChd = readText(base + ".CHD");
    }

    // Opens the pair as the console does for viewing.
    Lists open(CInfo& info) {
        Lists lists = makeLists(512);
        info.resetToDefaults();
        info.personName = "张三";
        const OpenReport r = openDataFile(base, info, [&](const CInfo&) { return listPointers(lists); });
        EXPECT_TRUE(r.ok) << r.error;
        info.chtPath = cht;
        info.personName = "张三";
        return lists;
    }

    TempDir dir;
    ViewingState viewing;
    std::string base, cht, originalCht, originalChd;
};

TEST_F(SavedPicks, SaveReopenAuditAndRestore) {
    CInfo info;
    Lists lists = open(info);
    const SectionLists pointers = listPointers(lists);
    PickStore store(info, pointers);
    EXPECT_EQ(store.save(kTime), "没有修改过的判读。");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "pile 7.picks.json"));
    EXPECT_EQ(handPickedPoints(info, cht), 0);

    const PointPicks a = picksOf(*lists[0], 3), b = picksOf(*lists[1], 7);
    ASSERT_TRUE(writeHandPick(info, *lists[0], 0, 3, PickKind::Arrival, 99));
    ASSERT_TRUE(writeHandPick(info, *lists[0], 0, 3, PickKind::Amplitude, 120));
    ASSERT_TRUE(writeHandPick(info, *lists[1], 1, 7, PickKind::Arrival, 150));
    EXPECT_EQ(store.pending().size(), 2u);
    EXPECT_EQ(store.save(kTime), "判读已保存。");
    EXPECT_TRUE(store.pending().empty());

    // The .CHD is untouched; the .CHT keeps its size and differs only inside the two rows' pick
    // columns (24 characters each).
    EXPECT_EQ(readText(base + ".CHD"), originalChd);
    const std::string saved = readText(cht);
    ASSERT_EQ(saved.size(), originalCht.size());
    // Differing bytes fall into at most two runs of 24 characters, one per changed row.
    std::vector<size_t> runs;
    for (size_t i = 0; i < saved.size(); ++i) {
        if (saved[i] == originalCht[i]) continue;
        if (runs.empty() || i - runs.back() >= 24) runs.push_back(i);
    }
    EXPECT_GE(runs.size(), 1u);
    EXPECT_LE(runs.size(), 2u);

    const std::string audit = readText(dir.path() / "pile 7.picks.json");
    const std::string expected =
        "{\"time\":\"2026-12-07T20:15:03\",\"tester\":\"张三\",\"section\":\"" + info.sections[0].name +
        "\",\"level\":3,\"depth\":11.85,\"oldTIndex\":" + std::to_string(a.tIndex) +
        ",\"newTIndex\":99,\"oldAmpIndex\":" + std::to_string(a.ampIndex) + ",\"newAmpIndex\":120}\n" +
        "{\"time\":\"2026-12-07T20:15:03\",\"tester\":\"张三\",\"section\":\"" + info.sections[1].name +
        "\",\"level\":7,\"depth\":11.65,\"oldTIndex\":" + std::to_string(b.tIndex) +
        ",\"newTIndex\":150,\"oldAmpIndex\":" + std::to_string(b.ampIndex) +
        ",\"newAmpIndex\":" + std::to_string(b.ampIndex) + "}\n";
    EXPECT_EQ(audit, expected);
    EXPECT_EQ(handPickedPoints(info, cht), 2);

    // Reopened, the pair carries the new picks and every other pick as before.
    CInfo again;
    Lists reopened = open(again);
    EXPECT_EQ(picksOf(*reopened[0], 3), (PointPicks{99, 120}));
    EXPECT_EQ(picksOf(*reopened[1], 7).tIndex, 150);
    EXPECT_EQ(picksOf(*reopened[0], 4), picksOf(*lists[0], 4));
    EXPECT_EQ(picksOf(*reopened[2], 7), picksOf(*lists[2], 7));

    // A second change of the same point, then a restore from a fresh workbench: the original
    // bytes come back and the restore is audited.
    PickStore later(again, listPointers(reopened));
    writeHandPick(again, *reopened[0], 0, 3, PickKind::Arrival, 101);
    EXPECT_EQ(later.save(kTime), "判读已保存。");
    EXPECT_EQ(later.restore(kTime), "已恢复原始判读。");
    EXPECT_EQ(readText(cht), originalCht);
    EXPECT_EQ(picksOf(*reopened[0], 3), a);
    EXPECT_EQ(handPickedPoints(again, cht), 0);
    const std::vector<AuditEntry> entries = readAudit(dir.path() / "pile 7.picks.json");
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_FALSE(entries[2].restore);
    EXPECT_TRUE(entries[3].restore && entries[4].restore);
    EXPECT_EQ(entries[3].after, a);
    EXPECT_EQ(later.restore(kTime), "没有需要恢复的判读。");
}

TEST_F(SavedPicks, FailedSaveLeavesPairAndAuditAlone) {
    CInfo info;
    Lists lists = open(info);
    PickStore store(info, listPointers(lists));
    writeHandPick(info, *lists[0], 0, 2, PickKind::Arrival, 77);
    // A .CHT without a ray table cannot take the picks.
    writeText(cht, "TOKAN_VivUdDat_FileHead:\r\n");
    const std::string message = store.save(kTime);
    EXPECT_EQ(message, "数据文件中没有测点表");
    EXPECT_FALSE(store.lastOk());
    EXPECT_EQ(store.pending().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "pile 7.picks.json"));
    EXPECT_EQ(readText(cht), "TOKAN_VivUdDat_FileHead:\r\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".tmp."), std::string::npos) << entry.path();

    // Lists that are not the file's points one for one (a point more than the pair holds).
    writeText(cht, originalCht);
    const std::vector<uint16_t> wave(512, 2048);
    lists[0]->append(wave.data(), 1.0f);
    EXPECT_EQ(store.save(kTime), "数据文件的测点与内存中的测点不一致，不能保存判读");
    EXPECT_EQ(readText(cht), originalCht);

    info.chtPath.clear();
    EXPECT_EQ(store.save(kTime), "当前测试没有数据文件，不能保存判读。");
}

}  // namespace
}  // namespace lx9
