#include "result_packet.h"

#include <gtest/gtest.h>

#include "../upload/upload_fixtures.h"
#include "result_store.h"
#include "upload/upload_packets.h"

namespace lx9::server {
namespace {

using namespace lx9::testing;

TEST(ResultPacketTest, ParsesEveryPacketKind) {
    const CInfo info = smallTest();
    OwnedLists lists;
    fillSmallTest(info, lists);
    const auto id = smallIdentity();

    auto h1 = parsePacket(fileHeaderPacket1(id, info, info.uploadFile, 45356.0));
    ASSERT_TRUE(h1);
    EXPECT_EQ(h1->header.instrument, "LX9-0001");
    EXPECT_EQ(h1->header.pileId, "P-7#");
    EXPECT_EQ(h1->header.sectionList, "1-2,1-3,2*3,1*4,2*4,3*4,");
    const auto& f1 = std::get<FileHeader1>(h1->body);
    EXPECT_EQ(f1.dates[2], 45356.0);
    EXPECT_EQ(f1.fileName, "P7");
    EXPECT_EQ(f1.presentCount, 2);

    auto h2 = parsePacket(fileHeaderPacket2(id, info));
    ASSERT_TRUE(h2);
    EXPECT_EQ(std::get<FileHeader2>(h2->body).sections[1].spacing, 560.0f);

    auto d = parsePacket(dataPacket(id, info, dataLevel(info, lists, 1)));
    ASSERT_TRUE(d);
    EXPECT_EQ(std::get<DataRecord>(d->body).levelNumber, 2);
    EXPECT_EQ(std::get<DataRecord>(d->body).entries[0].time, 70.5f);

    std::array<SectionCriticals, kMaxSections> crit{};
    crit[0] = {3800000.0f, 98.5f};
    auto c = parsePacket(criteriaPacket(id, info, crit, 1));
    ASSERT_TRUE(c);
    const auto& cr = std::get<CriteriaRecord>(c->body);
    EXPECT_FALSE(cr.entries[0].zero);
    EXPECT_EQ(cr.entries[0].velocity, 3.8f);
    EXPECT_EQ(cr.entries[0].amplitudeDb, 98.5f);
    EXPECT_TRUE(cr.entries[2].zero);

    const std::vector<uint8_t> bytes(388, 0xAB);
    auto img = parsePacket(imageChunkPacket(id, "1-3", 4, bytes));
    ASSERT_TRUE(img);
    EXPECT_EQ(std::get<ImageChunk>(img->body).section, "1-3");
    EXPECT_EQ(std::get<ImageChunk>(img->body).chunkNumber, 4);
    EXPECT_EQ(std::get<ImageChunk>(img->body).bytes, bytes);

    auto end = parsePacket(endPacket(id, info, 20.0f));
    ASSERT_TRUE(end);
    EXPECT_EQ(std::get<EndRecord>(end->body).firstDepth, 20.0f);
}

TEST(ResultPacketTest, RefusesDamagedPackets) {
    const CInfo info = smallTest();
    const auto good = endPacket(smallIdentity(), info, 1.0f);
    PacketError e;

    auto bad = good;
    bad.back() ^= 1;
    EXPECT_FALSE(parsePacket(bad, &e));
    EXPECT_EQ(e, PacketError::BadChecksum);

    bad = good;
    bad[bad.size() - 2] = 'G';
    bad.back() = static_cast<uint8_t>(bad.back() + 1);  // checksum still right
    EXPECT_FALSE(parsePacket(bad, &e));
    EXPECT_EQ(e, PacketError::BadTrailer);

    EXPECT_FALSE(parsePacket(std::span(good).first(good.size() - 1), &e));
    EXPECT_EQ(e, PacketError::BadLength);

    bad = good;
    bad[14] = 99;
    bad.back() = static_cast<uint8_t>(bad.back() + 99 - 14);
    EXPECT_FALSE(parsePacket(bad, &e));
    EXPECT_EQ(e, PacketError::BadType);

    // An image packet whose second length disagrees with its size.
    auto img = imageChunkPacket(smallIdentity(), "1-2", 1, std::vector<uint8_t>(10, 1));
    img[7] = 11;
    img.back() = static_cast<uint8_t>(img.back() + 1);
    EXPECT_FALSE(parsePacket(img, &e));
    EXPECT_EQ(e, PacketError::BadSize);
}

TEST(ResultPacketTest, FramerCutsTheStreamAndSkipsGarbage) {
    const CInfo info = smallTest();
    const auto a = endPacket(smallIdentity(), info, 1.0f);
    const auto b = fileHeaderPacket2(smallIdentity(), info);
    PacketFramer f;
    std::vector<uint8_t> stream{'x', 'y', 'K'};  // garbage, then a lone K
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), b.begin(), b.begin() + 100);
    f.feed(stream);
    auto i1 = f.next();
    ASSERT_TRUE(i1);
    EXPECT_FALSE(i1->valid);  // "xyK" dropped as one run
    auto i3 = f.next();
    ASSERT_TRUE(i3 && i3->valid);
    EXPECT_EQ(i3->bytes, a);
    EXPECT_FALSE(f.next());  // b is incomplete
    EXPECT_TRUE(f.hasPartial());
    f.feed(std::span(b).subspan(100));
    auto i4 = f.next();
    ASSERT_TRUE(i4 && i4->valid);
    EXPECT_EQ(i4->bytes, b);

    // A length beyond the maximum is refused without waiting for the bytes.
    const std::vector<uint8_t> huge{'K', 'P', 'X', 0xFF, 0xFF, 0xFF, 0x7F, 'F'};
    f.feed(huge);
    auto i5 = f.next();
    ASSERT_TRUE(i5);
    EXPECT_FALSE(i5->valid);
    EXPECT_FALSE(f.hasPartial());
}

TEST(ResultStoreTest, FolderNamesFromPacketsAreMadeSafe) {
    EXPECT_EQ(safeFolderName("LX9-0001"), "LX9-0001");
    EXPECT_EQ(safeFolderName(".."), "_");
    EXPECT_EQ(safeFolderName(""), "_");
    EXPECT_EQ(safeFolderName("../../etc"), ".._.._etc");
    EXPECT_EQ(safeFolderName("a\\b\nc"), "a_b_c");
    EXPECT_EQ(safeFolderName("仪器"), "仪器");
    EXPECT_LE(safeFolderName(std::string(300, 'x')).size(), 100u);
    std::string wide;
    for (int i = 0; i < 40; ++i)
        wide += "桩";  // 120 bytes: cut to 99, a whole character
    EXPECT_EQ(safeFolderName(wide).size(), 99u);
}

TEST(ResultStoreTest, AnUploadNeedsItsHeaderAndOrderedChunks) {
    const CInfo info = smallTest();
    const auto id = smallIdentity();
    UploadAssembly a;
    auto accept = [&](const std::vector<uint8_t>& bytes) { return a.accept(*parsePacket(bytes)); };
    EXPECT_EQ(accept(fileHeaderPacket2(id, info)), Acceptance::Rejected);  // nothing begun
    EXPECT_EQ(accept(fileHeaderPacket1(id, info, "x.CHT", 1.0)), Acceptance::Accepted);
    PacketIdentity other = id;
    other.serialNumber = "S-other";
    EXPECT_EQ(accept(fileHeaderPacket2(other, info)), Acceptance::Rejected);
    const std::vector<uint8_t> part(388, 1);
    EXPECT_EQ(accept(imageChunkPacket(id, "1-2", 2, part)), Acceptance::Rejected);  // no chunk 1
    EXPECT_EQ(accept(imageChunkPacket(id, "1-2", 1, part)), Acceptance::Accepted);
    EXPECT_EQ(accept(imageChunkPacket(id, "1-2", 2, part)), Acceptance::Accepted);
    const std::vector<uint8_t> resent(100, 2);
    EXPECT_EQ(accept(imageChunkPacket(id, "1-2", 2, resent)), Acceptance::Accepted);  // replaces chunk 2
    EXPECT_EQ(accept(imageChunkPacket(id, "1-2", 4, part)), Acceptance::Rejected);
    EXPECT_EQ(accept(endPacket(id, info, 2.0f)), Acceptance::Completed);
    const StoredUpload u = a.takeCompleted();
    ASSERT_EQ(u.images.size(), 1u);
    EXPECT_EQ(u.images[0].bytes.size(), 488u);
    EXPECT_EQ(u.images[0].bytes.back(), 2);
    EXPECT_FALSE(a.inProgress());
}

}  // namespace
}  // namespace lx9::server
