#include "protocol/StrToInt.h"

#include <gtest/gtest.h>

#include "base/Errors.h"

namespace kelta {
namespace {

TEST(StrToInt, AcceptsDecimalWithLeadingBlanksAndSign) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"007", 7},
      {"-3", -3},
      {"+5", 5},
      {"  12", 12},
      {"0", 0},
      {"-0", 0},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"00000000000000000000001", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(StrToInt, RejectsEverythingElseNamingTheText) {
  const char* const cases[] = {
      "",    " ",   "abc", "12 ", "1.5", "2147483648", "-2147483649", "99999999999999999999999",
      "$1F", "--1", "+",   "-",   "1-",  "0x10",       "\t1"};
  for (const char* text : cases) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted \"" << text << '"';
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
}

}  // namespace
}  // namespace kelta
