#include "upload/upload_form.h"

#include <gtest/gtest.h>

namespace lx9 {
namespace {

TEST(UploadFormTest, TheFirstFailingCheckWins) {
    UploadFormInput in{"/data/P7.CHT", "S1", "N1", 5005};
    EXPECT_FALSE(validateUploadStart(in));
    EXPECT_EQ(validateUploadStart({"", "", "", 0}), "请选择一个文件!");
    EXPECT_EQ(validateUploadStart({"f", "", "", 0}), "请输入流水号!");
    EXPECT_EQ(validateUploadStart({"f", "s", "", 0}), "请输入仪器编号!");
    EXPECT_EQ(validateUploadStart({"f", "s", "n", 0}), "请输入端口号!");
    EXPECT_EQ(validateUploadStart({"f", "s", "n", -1}), "请输入端口号!");
    EXPECT_EQ(validateUploadStart({"f", "s", "n", 65536}), "请输入端口号!");
    EXPECT_FALSE(validateUploadStart({"f", "s", "n", 65535}));
}

TEST(UploadFormTest, ServerAddressesAreDottedQuads) {
    EXPECT_EQ(parseIpv4("127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(parseIpv4("127.0.0.9"), 0x7F000009u);
    EXPECT_FALSE(parseIpv4("127.1"));
    EXPECT_FALSE(parseIpv4("localhost"));
    EXPECT_FALSE(parseIpv4("127.0.0.256"));
    EXPECT_FALSE(parseIpv4(""));
}

}  // namespace
}  // namespace lx9
