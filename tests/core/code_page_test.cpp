// Characters: UTF-8 both ways and its broken sequences.
#include "runtime/core/code_page.h"
#include <gtest/gtest.h>
#include <string>

namespace {

// Code points and their UTF-8 at each length, and the first one past Unicode.
TEST(CodePage, Utf8RoundTripsEveryLengthAndWritesNothingPastUnicode) {
    const struct {
        uint32_t point;
        std::string bytes;
    } cases[] = {{0x41, "A"},
                 {0xE9, "\xC3\xA9"},
                 {0x2588, "\xE2\x96\x88"},
                 {0xFFFF, "\xEF\xBF\xBF"},
                 {0x1F600, "\xF0\x9F\x98\x80"},
                 {0x10FFFF, "\xF4\x8F\xBF\xBF"}};
    for (const auto& c : cases) {
        std::string out = "x";
        utf8_append(out, c.point);
        EXPECT_EQ(out, "x" + c.bytes) << std::hex << c.point;
        uint32_t back = 0;
        EXPECT_EQ(utf8_decode(c.bytes + "tail", &back), c.bytes.size()) << std::hex << c.point;
        EXPECT_EQ(back, c.point);
    }
    std::string out;
    utf8_append(out, 0x110000);
    EXPECT_EQ(out, "");
}

TEST(CodePage, BrokenUtf8ReadsAsNothing) {
    const std::string broken[] = {"",
                                  "\x80",
                                  "\xC3",
                                  "\xC3\x41",
                                  "\xE2\x96",
                                  "\xC0\x80",
                                  "\xE0\x80\x80",
                                  "\xF0\x80\x80\x80",
                                  "\xF8\x88\x80\x80\x80",
                                  "\xFF"};
    for (const std::string& bytes : broken) {
        uint32_t u = 0x55;
        EXPECT_EQ(utf8_decode(bytes, &u), 0u) << testing::PrintToString(bytes);
        EXPECT_EQ(u, 0x55u);
    }
}

}  // namespace
