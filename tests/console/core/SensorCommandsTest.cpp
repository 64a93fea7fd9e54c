#include "protocol/SensorCommands.h"

#include <gtest/gtest.h>

#include "base/Errors.h"

namespace kelta {
namespace {

TEST(SensorCommands, FixedCommandsAreTheTextAndCrLf) {
  EXPECT_EQ(std::string(kCmdInfo), "#INFO\r\n");
  EXPECT_EQ(std::string(kCmdRead), "#READ\r\n");
  EXPECT_EQ(std::string(kCmdStop), "#STOP\r\n");
  EXPECT_EQ(std::string(kCmdData), "#DATA\r\n");
  EXPECT_EQ(std::string(kCmdSave), "#SAVE\r\n");
}

TEST(SensorCommands, FieldCommandsByteForByte) {
  const struct {
    std::string (*build)(const std::string&);
    const char* field;
    const char* bytes;
  } cases[] = {
      {IdChangeCommand, "007", "#ID7\r\n"},
      {IdChangeCommand, "-3", "#ID-3\r\n"},
      {IdChangeCommand, " 77", "#ID77\r\n"},
      {NegativeRangeCommand, "100", "#CALI14100\r\n"},
      {NegativeRangeCommand, "3600", "#CALI143600\r\n"},
      {NegativeRangeCommand, "", "#CALI14\r\n"},
      {PositiveRangeCommand, "3600", "#CALI150\r\n"},
      {PositiveRangeCommand, " 3600", "#CALI15 3600\r\n"},
      {PositiveRangeCommand, "3600 ", "#CALI153600 \r\n"},
      {PositiveRangeCommand, "03600", "#CALI1503600\r\n"},
      {PositiveRangeCommand, "1800", "#CALI151800\r\n"},
      {PositiveRangeCommand, "abc", "#CALI15abc\r\n"},
      {RawLineCommand, "", "\r\n"},
      {RawLineCommand, "#MODE1", "#MODE1\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.build(c.field), c.bytes) << '"' << c.field << '"';
}

TEST(SensorCommands, IdChangeRejectsNonIntegers) {
  EXPECT_THROW(IdChangeCommand("7a"), EConvertError);
  EXPECT_THROW(IdChangeCommand(""), EConvertError);
}

TEST(SensorCommands, PollFrameIsAddressThenEnqWithoutTerminator) {
  const struct {
    const char* field;
    uint8_t address;
  } cases[] = {
      {"1", 0xB1},  {"77", 0xFD},   {"0", 0xB0},   {"80", 0x00},         {"79", 0xFF},
      {"-1", 0xAF}, {"-176", 0x00}, {"007", 0xB7}, {"2147483647", 0xAF}, {"-2147483648", 0xB0},
  };
  for (const auto& c : cases) {
    const std::string frame = IdPollFrame(c.field);
    ASSERT_EQ(frame.size(), 2u) << c.field;
    EXPECT_EQ(static_cast<uint8_t>(frame[0]), c.address) << c.field;
    EXPECT_EQ(frame[1], '\x05') << c.field;
  }
  EXPECT_THROW(IdPollFrame("x"), EConvertError);
}

TEST(SensorCommands, PollStatusTextHasNoLeadingZero) {
  EXPECT_EQ(IdPollStatusText(0xB1), "B1 05 - HEX");
  EXPECT_EQ(IdPollStatusText(0xFD), "FD 05 - HEX");
  EXPECT_EQ(IdPollStatusText(0x00), "0 05 - HEX");
  EXPECT_EQ(IdPollStatusText(0x0F), "F 05 - HEX");
  EXPECT_EQ(IdPollStatusText(0x10), "10 05 - HEX");
}

}  // namespace
}  // namespace kelta
