#include "data/piece_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "data_file_test_support.h"

namespace lx9 {
namespace {

using testing_support::readText;
using testing_support::TempDir;

struct Pair {
    int chd = -1, cht = -1;
    std::string chdPath, chtPath;
    Pair(const TempDir& dir, int chdFlags) {
        chdPath = dir.base("p") + ".CHD";
        chtPath = dir.base("p") + ".CHT";
        ::close(::open(chdPath.c_str(), O_WRONLY | O_CREAT, 0644));
        chd = ::open(chdPath.c_str(), chdFlags);
        cht = ::open(chtPath.c_str(), O_WRONLY | O_CREAT, 0644);
    }
    ~Pair() {
        ::close(chd);
        ::close(cht);
    }
};

// Pieces land at their own offsets whatever the order they come in, the caller gets emptied
// buffers back to fill, and destroying the writer still writes what it was handed.
TEST(PieceWriter, WritesEachPieceAtItsOffsets) {
    TempDir dir;
    Pair pair(dir, O_WRONLY);
    {
        PieceWriter writer(pair.chd, pair.cht);
        SavePiece second{{0x0102, -1}, 4, "cd", 2};
        ASSERT_TRUE(writer.hand(second));
        EXPECT_TRUE(second.chd.empty());
        EXPECT_TRUE(second.cht.empty());
        ASSERT_TRUE(writer.drain());
        SavePiece first{{-2047, 2048}, 0, "ab", 0};
        ASSERT_TRUE(writer.hand(first));
        SavePiece third{{7}, 8, "e\r\n", 4};
        ASSERT_TRUE(writer.hand(third));
    }
    // Little-endian 16-bit values: -2047 = 0xF801, 2048 = 0x0800, 0x0102, -1 = 0xFFFF, 7.
    EXPECT_EQ(readText(pair.chdPath), std::string("\x01\xF8\x00\x08\x02\x01\xFF\xFF\x07\x00", 10));
    EXPECT_EQ(readText(pair.chtPath), "abcde\r\n");
}

// A write that fails is reported by drain() and refuses every later piece, which stays with
// the caller; the failure names the file.
TEST(PieceWriter, AFailedWriteStopsTheSave) {
    TempDir dir;
    Pair pair(dir, O_RDONLY);  // the .CHD cannot be written
    PieceWriter writer(pair.chd, pair.cht);
    SavePiece piece{{1, 2}, 0, "row", 0};
    ASSERT_TRUE(writer.hand(piece));  // the failure is not known yet
    EXPECT_FALSE(writer.drain());
    EXPECT_TRUE(writer.failure().chd);
    EXPECT_EQ(writer.failure().err, EBADF);
    SavePiece later{{3}, 4, "next", 3};
    EXPECT_FALSE(writer.hand(later));
    EXPECT_EQ(later.cht, "next");
    EXPECT_EQ(readText(pair.chtPath), "");  // the rows of a piece whose values failed stay out
}

}  // namespace
}  // namespace lx9
