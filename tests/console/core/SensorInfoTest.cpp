#include "protocol/SensorInfo.h"

#include <gtest/gtest.h>

#include <vector>

namespace kelta {
namespace {

TEST(HexToInt, DigitsAndWrapAround) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"B1", 177},
      {"FD", 253},
      {"", 0},
      {"0", 0},
      {"b1", 177},
      {"fd", 253},
      {"aBcDeF", 0xABCDEF},
      {":", 10},
      {" ", -16},
      {"G", 16},
      {"FFFFFFFF", -1},
      {"7FFFFFFF", INT32_MAX},
      {"80000000", INT32_MIN},
      {"100000000", 0},
      {"123456789", 0x23456789},
      {"1 ", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(HexToInt(c.text), c.value) << '"' << c.text << '"';
}

std::vector<std::string> Items(const SensorInfo& info) {
  return std::vector<std::string>(info.items.begin(), info.items.end());
}

TEST(SensorInfo, FullReplyIsCutByPosition) {
  const SensorInfo info = ParseSensorInfo(
      "V:1234,I:B1,DM:2,C:1,Z:5,N:100,P:0,G:123,O:45,0:a,1:b,2:c,3:d,4:e,5:f,6:g,7:h,8:i,9:j,"
      "CA:11,CB:12X");
  EXPECT_EQ(Items(info),
            (std::vector<std::string>{"1234", "1", "2", "1", "5", "100", "0", "123", "45", "a", "b",
                                      "c",    "d", "e", "f", "g", "h",   "i", "j",   "11", "12"}));
  EXPECT_EQ(info.id, 1);
  EXPECT_EQ(ParseSensorInfo("V:1,I:FD,").id, 77);
  EXPECT_EQ(ParseSensorInfo("V:1,I:fd,").id, 77);
}

// Only the hex text of an address byte 0xB0..0xFD names a sensor: noise or a reply that lost
// a comma gives some number, but no valid ID.
TEST(SensorInfo, OnlyAnAddressFromB0ToFDIsAValidId) {
  for (const char* id : {"B0", "B1", "FD", "fd", "Cf"})
    EXPECT_TRUE(ParseSensorInfo(std::string("V:1,I:") + id + ",DM:0,").idValid) << id;
  for (const char* id : {"AF", "FE", "FF", "", "B", "0B1", "B1DM:0", "B1 ", "G1", "\xB1"})
    EXPECT_FALSE(ParseSensorInfo(std::string("V:1,I:") + id + ",DM:0,").idValid) << id;
  EXPECT_FALSE(ParseSensorInfo("\x8f\x12V:\xff,I").idValid);
}

TEST(SensorInfo, ShortAndOddLinesNeverReadOutside) {
  const std::string e;
  const struct {
    const char* line;
    std::vector<std::string> items;
  } cases[] = {
      // Ends after item 7: items 7 to 20 are empty, item 21 takes characters 4 to
      // second-last of item 7, tag included in the count.
      {"V:1234,I:B1,DM:0,C:1,Z:5,N:100,P:3600",
       {"1234", "1", "0", "1", "5", "100", e, e, e, e, e, e, e, e, e, e, e, e, e, e, "60"}},
      {"", {e, "-176", e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e}},
      {"V:12", {"12", "-176", e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e}},
      {"X", {e, "-176", e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e}},
      // Tags are not checked: the same positions cut any line.
      {"abcdefgh", {"cdef", "-176", e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, "defg"}},
      // Values shorter than their tags give empty texts.
      {"V:1,I,D,", {"1,I,", "-176", e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e}},
      {",,,,,,,,,,,,,,,,,,,,,,,,",
       {",,,,", "-176", e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e, e}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Items(ParseSensorInfo(c.line)), c.items) << '"' << c.line << '"';
}

}  // namespace
}  // namespace kelta
