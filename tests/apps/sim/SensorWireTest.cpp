// The simulated sensor's bytes and its reading of the console's bytes, without a line.

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "apps/sim/CommandAssembler.h"
#include "apps/sim/SensorCommand.h"
#include "apps/sim/SensorWire.h"
#include "apps/sim/SimOptions.h"

namespace kelta::sim {
namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;

TEST(InfoLine, CarriesTheTwentyOneItemsWithTheirTags) {
  SensorSettings s;
  EXPECT_EQ(InfoLine(s),
            "V:1.00,I:B1,DM:2,C:1,Z:0,N:1800,P:1800,G:1000,O:0,0:100,1:101,2:102,3:103,"
            "4:104,5:105,6:106,7:107,8:108,9:109,CA:110,CB:111;\r");

  s.version = "R4.0";
  s.id = 77;
  s.mode = "0";
  s.negativeRange = 0;
  s.positiveRange = 3600;  // a full turn travels as "0"
  s.coefficients[11] = "-7";
  EXPECT_EQ(InfoLine(s),
            "V:R4.0,I:FD,DM:0,C:1,Z:0,N:0,P:0,G:1000,O:0,0:100,1:101,2:102,3:103,"
            "4:104,5:105,6:106,7:107,8:108,9:109,CA:110,CB:-7;\r");

  s.id = 0;
  EXPECT_NE(InfoLine(s).find(",I:B0,"), std::string::npos);
}

TEST(SettingsProblem, RefusesWhatTheReplyCannotCarry) {
  struct Case {
    const char* name;
    void (*change)(SensorSettings&);
  };
  const Case cases[] = {
      {"short version", [](SensorSettings& s) { s.version = "1.0"; }},
      {"comma in version", [](SensorSettings& s) { s.version = "1,00"; }},
      {"ID 78", [](SensorSettings& s) { s.id = 78; }},
      {"ID -1", [](SensorSettings& s) { s.id = -1; }},
      {"negative range 3601", [](SensorSettings& s) { s.negativeRange = 3601; }},
      {"positive range 0", [](SensorSettings& s) { s.positiveRange = 0; }},
      {"comma in an item", [](SensorSettings& s) { s.mvGain = "1,5"; }},
      {"CR in an item", [](SensorSettings& s) { s.mode = "2\r"; }},
      {"dollar in a coefficient", [](SensorSettings& s) { s.coefficients[3] = "$"; }},
      {"ETB in a coefficient", [](SensorSettings& s) { s.coefficients[11] = "\x17"; }},
  };
  EXPECT_EQ(SettingsProblem(SensorSettings{}), "");
  for (const Case& c : cases) {
    SensorSettings s;
    c.change(s);
    EXPECT_NE(SettingsProblem(s), "") << c.name;
  }
}

TEST(AngleText, RoundsToTenthsTiesToEvenWithoutNegativeZero) {
  struct Case {
    double degrees;
    bool decimal;
    const char* text;
  };
  const Case cases[] = {
      {123.4, true, "123.4"},  {-12.34, true, "-12.3"},
      {0.0, true, "0.0"},      {-0.0, true, "0.0"},
      {-0.04, true, "0.0"},    {0.25, true, "0.2"},
      {0.75, true, "0.8"},     {-0.25, true, "-0.2"},
      {359.96, true, "360.0"}, {-180.0, true, "-180.0"},
      {2.5, false, "2"},       {3.5, false, "4"},
      {-0.4, false, "0"},      {-12.6, false, "-13"},
      {123.4, false, "123"},   {std::numeric_limits<double>::quiet_NaN(), true, "0.0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AngleText(c.degrees, c.decimal), c.text) << c.degrees << " " << c.decimal;
  }
}

TEST(DataFrame, IsStxTextEtbCheckDollar) {
  // '1'^'2'^'3'^'.'^'4' = 0x2A
  EXPECT_EQ(DataFrame("123.4"),
            "\x02"
            "123.4\x17"
            "2A$");
  EXPECT_EQ(DataFrame("-0.5"),
            "\x02-0.5\x17"
            "06$");  // 0x2D^0x30^0x2E^0x35
  EXPECT_EQ(DataFrame(""),
            "\x02\x17"
            "00$");
}

TEST(DataFrame, CheckCharactersNeverFramingBytes) {
  for (int tenths = -36000; tenths <= 36000; ++tenths) {
    const std::string frame = DataFrame(AngleText(tenths / 10.0, true));
    const std::string check = frame.substr(frame.size() - 3, 2);
    for (const char c : check) {
      ASSERT_TRUE(std::isxdigit(static_cast<unsigned char>(c))) << frame;
    }
  }
}

TEST(ParseCommand, KnowsTheConsoleCommands) {
  struct Case {
    const char* line;
    CommandKind kind;
    bool valid;
    int value;
  };
  const Case cases[] = {
      {"#INFO", CommandKind::kInfo, true, 0},
      {"#READ", CommandKind::kRead, true, 0},
      {"#STOP", CommandKind::kStop, true, 0},
      {"#DATA", CommandKind::kData, true, 0},
      {"#SAVE", CommandKind::kSave, true, 0},
      {"#ID7", CommandKind::kId, true, 7},
      {"#ID0", CommandKind::kId, true, 0},
      {"#ID77", CommandKind::kId, true, 77},
      {"#ID78", CommandKind::kId, false, 0},
      {"#ID-3", CommandKind::kId, false, 0},
      {"#ID", CommandKind::kId, false, 0},
      {"#ID 5", CommandKind::kId, false, 0},
      {"#CALI141800", CommandKind::kNegativeRange, true, 1800},
      {"#CALI140", CommandKind::kNegativeRange, true, 0},
      {"#CALI143601", CommandKind::kNegativeRange, false, 0},
      {"#CALI14abc", CommandKind::kNegativeRange, false, 0},
      {"#CALI150", CommandKind::kPositiveRange, true, 3600},
      {"#CALI153600", CommandKind::kPositiveRange, true, 3600},
      {"#CALI15900", CommandKind::kPositiveRange, true, 900},
      {"#CALI15 3600", CommandKind::kPositiveRange, false, 0},
      {"#CALI159999999999", CommandKind::kPositiveRange, false, 0},
      {"#MODE3", CommandKind::kMode, true, 3},
      {"#MODE4", CommandKind::kMode, false, 0},
      {"#info", CommandKind::kUnknown, false, 0},
      {"#INFO ", CommandKind::kUnknown, false, 0},
      {"#", CommandKind::kUnknown, false, 0},
      {"INFO", CommandKind::kNotACommand, false, 0},
      {"", CommandKind::kNotACommand, false, 0},
  };
  for (const Case& c : cases) {
    const SensorCommand command = ParseCommand(c.line);
    EXPECT_EQ(command.kind, c.kind) << c.line;
    EXPECT_EQ(command.valid, c.valid) << c.line;
    EXPECT_EQ(command.value, c.value) << c.line;
  }
}

std::vector<SensorInput> Assemble(const std::string& bytes, bool byteByByte) {
  CommandAssembler assembler;
  std::vector<SensorInput> out;
  if (byteByByte) {
    for (const char c : bytes) assembler.Feed(std::string(1, c), out);
  } else {
    assembler.Feed(bytes, out);
  }
  return out;
}

// "L:text" for a line, "P:xx" for a poll, joined by '|'.
std::string Describe(const std::vector<SensorInput>& inputs) {
  std::string text;
  for (const SensorInput& input : inputs) {
    if (!text.empty()) text += '|';
    if (input.kind == SensorInput::Kind::kLine) {
      text += "L:" + input.line;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "P:%02X", input.address);
      text += hex;
    }
  }
  return text;
}

TEST(CommandAssembler, CutsLinesAndPollsWhateverTheChunks) {
  struct Case {
    std::string bytes;
    const char* expected;
  };
  const Case cases[] = {
      {"#INFO\r\n", "L:#INFO"},
      {"#INFO\r\n#DATA\r\n", "L:#INFO|L:#DATA"},
      {"#INFO\n#DATA\r", "L:#INFO|L:#DATA"},
      {"\r\n\r\n#STOP\n\n", "L:#STOP"},
      {"#INFO", ""},  // no terminator yet
      {"\xB1\x05", "P:B1"},
      {"\xB1\x05\x05", "P:B1"},
      {"#RE\xB2\x05"
       "AD\r\n",
       "P:B2|L:#READ"},
      {"#REP\x05"
       "AD\r\n",
       "P:50|L:#READ"},                    // ID -96 wraps to 'P': not part of the line
      {"\x00\x05"s, "P:00"},               // ID 80 wraps to 0
      {"\x05#DATA\r", "L:#DATA"},          // ENQ with nothing before it
      {"#DA\x02\x17\xFFTA\r", "L:#DATA"},  // noise bytes dropped
      {std::string(200, 'x') + "\r#INFO\r", "L:#INFO"},  // overlong line dropped whole
      {std::string(128, 'y') + "\r", nullptr},           // longest line kept
  };
  for (const Case& c : cases) {
    const std::string expected = c.expected ? c.expected : "L:" + std::string(128, 'y');
    EXPECT_EQ(Describe(Assemble(c.bytes, false)), expected) << c.bytes;
    EXPECT_EQ(Describe(Assemble(c.bytes, true)), expected) << c.bytes;
  }
}

TEST(SimOptions, CountStartsTheFramesAtTheGivenAngle) {
  EXPECT_EQ(ParseSimOptions({"--count", "-2.5"}).config.countFrom, -2.5);
  EXPECT_FALSE(ParseSimOptions({"--angle", "1"}).config.countFrom.has_value());
  const SimOptions wrapped = ParseSimOptions(
      {"--count", "-180", "--count-step", "1.1", "--count-wrap", "360", "--frame-log", "f"});
  EXPECT_EQ(wrapped.config.countStep, 1.1);
  EXPECT_EQ(wrapped.config.countWrap, 360);
  EXPECT_EQ(wrapped.frameLog, "f");
  EXPECT_THROW(ParseSimOptions({"--count-wrap", "-1"}), std::invalid_argument);
  EXPECT_THROW(ParseSimOptions({"--frame-log", ""}), std::invalid_argument);
}

TEST(SimOptions, MapsEveryOptionOntoTheConfiguration) {
  const SimOptions o = ParseSimOptions(
      {"--com",       "5",          "--exe-dir",   "/tmp/x",  "--force",     "--id=12",
       "--mode",      "1",          "--version",   "R4.0",    "--nrange",    "900",
       "--prange",    "0",          "--cal",       "0",       "--zero",      "-3",
       "--gain",      "999",        "--mv-offset", "12",      "--coef",      "A=42",
       "--coef",      "3=-1",       "--angle",     "-45.5",   "--period",    "7.5",
       "--rate",      "25",         "--silent",    "--delay", "300",         "--no-decimal",
       "--garbage",   "ab\\r\\x17", "--split",     "3",       "--split-gap", "40",
       "--line-rate", "-v"});
  EXPECT_EQ(o.com, 5);
  EXPECT_EQ(o.exeDir, "/tmp/x/");
  EXPECT_TRUE(o.force);
  EXPECT_TRUE(o.verbose);
  EXPECT_FALSE(o.help);
  const SensorConfig& c = o.config;
  EXPECT_EQ(c.settings.id, 12);
  EXPECT_EQ(c.settings.mode, "1");
  EXPECT_EQ(c.settings.version, "R4.0");
  EXPECT_EQ(c.settings.negativeRange, 900);
  EXPECT_EQ(c.settings.positiveRange, 3600);
  EXPECT_EQ(c.settings.calibrationState, "0");
  EXPECT_EQ(c.settings.zeroOffset, "-3");
  EXPECT_EQ(c.settings.mvGain, "999");
  EXPECT_EQ(c.settings.mvOffset, "12");
  EXPECT_EQ(c.settings.coefficients[10], "42");
  EXPECT_EQ(c.settings.coefficients[3], "-1");
  EXPECT_EQ(c.fixedAngle, -45.5);
  EXPECT_EQ(c.sweepPeriodSeconds, 7.5);
  EXPECT_EQ(c.framesPerSecond, 25.0);
  EXPECT_TRUE(c.silent);
  EXPECT_EQ(c.replyDelay.count(), 300);
  EXPECT_TRUE(c.noDecimal);
  EXPECT_EQ(c.garbage, "ab\r\x17");
  EXPECT_EQ(c.splitBytes, 3u);
  EXPECT_EQ(c.splitGap.count(), 40);
  EXPECT_EQ(c.lineBaud, 9600);

  const SimOptions defaults = ParseSimOptions({});
  EXPECT_FALSE(defaults.com.has_value());
  EXPECT_EQ(defaults.config.settings.id, 1);
  EXPECT_FALSE(defaults.config.fixedAngle.has_value());
  EXPECT_TRUE(ParseSimOptions({"--help"}).help);
  EXPECT_FALSE(defaults.freeCom);
  EXPECT_TRUE(ParseSimOptions({"--free-com", "--exe-dir", "/tmp/x"}).freeCom);

  // A bus: every ID in order, the first one the sensor's own.
  const SimOptions bus = ParseSimOptions({"--ids", "7,2,77", "--late", "2=150", "--unasked"});
  EXPECT_EQ(bus.config.busIds, (std::vector<int>{7, 2, 77}));
  EXPECT_EQ(bus.config.settings.id, 7);
  EXPECT_EQ(bus.config.lateIds, (std::map<int, std::chrono::milliseconds>{{2, 150ms}}));
  EXPECT_TRUE(bus.config.unasked);
  EXPECT_TRUE(defaults.config.busIds.empty());
  EXPECT_FALSE(defaults.config.unasked);
  // Only an ID that answers polls on this line can answer late.
  EXPECT_THROW(ParseSimOptions({"--ids", "7,2", "--late", "3=10"}), std::invalid_argument);
}

TEST(SimOptions, RefusesBadInputWithTheOptionNamed) {
  const std::vector<std::vector<std::string>> bad = {
      {"--id", "78"},       {"--id", "x"},        {"--id"},
      {"--com", "0"},       {"--mode", "4"},      {"--version", "12345"},
      {"--prange", "3601"}, {"--nrange", "-1"},   {"--rate", "0"},
      {"--rate", "1e9"},    {"--angle", "nan"},   {"--coef", "C=1"},
      {"--coef", "10=1"},   {"--garbage", "\\q"}, {"--garbage", "\\x4"},
      {"--silent=1"},       {"--bogus"},          {"--gain", "1,5"},
      {"--exe-dir", ""},    {"--delay", "-5"},    {"--ids", "1,78"},
      {"--ids", "1,,2"},    {"--ids", "3,3"},     {"--ids", ""},
      {"--late", "1"},      {"--late", "1=-1"},   {"--late", "x=5"},
  };
  for (const auto& args : bad) {
    try {
      ParseSimOptions(args);
      ADD_FAILURE() << "accepted " << args[0];
    } catch (const std::invalid_argument& e) {
      const std::string message = e.what();
      const std::string option = args[0].substr(0, args[0].find('='));
      // Problems found in the finished configuration name the item instead.
      if (option != "--gain" && option != "--version") {
        EXPECT_NE(message.find(option), std::string::npos) << message;
      }
    }
  }
}

TEST(UnescapeBytes, ReadsEscapes) {
  EXPECT_EQ(UnescapeBytes("a\\r\\n\\t\\\\\\x00\\xfF"), "a\r\n\t\\\x00\xff"s);
  EXPECT_EQ(UnescapeBytes(""), "");
  EXPECT_THROW(UnescapeBytes("\\"), std::invalid_argument);
  EXPECT_THROW(UnescapeBytes("\\xg0"), std::invalid_argument);
}

}  // namespace
}  // namespace kelta::sim
