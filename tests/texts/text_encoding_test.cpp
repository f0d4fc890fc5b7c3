#include "texts/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace velmar::texts {
namespace {

TEST(TextEncodingTest, Utf8IsShownAsItIs) {
  for (std::string_view text : {"TEST", "", "Принтер", "€ ✓ 𝄞"}) {
    EXPECT_TRUE(IsValidUtf8(text)) << text;
    EXPECT_EQ(DisplayName(text), text);
  }
}

TEST(TextEncodingTest, OtherBytesAreCodePage1251) {
  EXPECT_EQ(DisplayName("\xCF\xF0\xE8\xED\xF2\xE5\xF0"), "Принтер");
  EXPECT_EQ(DisplayName("\xA8\xB8\x88 \xB9"), "Ёё€ №");
  EXPECT_EQ(DisplayName("A\xFF"), "Aя");
}

TEST(TextEncodingTest, MalformedUtf8IsRefused) {
  for (std::string_view text : {"\xC3", "\xC3\x28", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80",
                                "\xF8\x88\x80\x80\x80", "ok\xF0\x9F\x98"}) {
    EXPECT_FALSE(IsValidUtf8(text)) << testing::PrintToString(std::string(text));
  }
}

}  // namespace
}  // namespace velmar::texts
