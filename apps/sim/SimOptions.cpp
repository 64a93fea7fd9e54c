#include "apps/sim/SimOptions.h"

#include "base/OptionValues.h"

#include <stdexcept>

namespace kelta::sim {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string UnescapeBytes(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      bytes += text[i];
      continue;
    }
    if (++i == text.size()) throw std::invalid_argument("a lone '\\' ends \"" + text + "\"");
    switch (text[i]) {
      case 'r':
        bytes += '\r';
        break;
      case 'n':
        bytes += '\n';
        break;
      case 't':
        bytes += '\t';
        break;
      case '\\':
        bytes += '\\';
        break;
      case 'x': {
        const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) throw std::invalid_argument("\\x needs two hexadecimal digits");
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        throw std::invalid_argument(std::string("unknown escape \\") + text[i]);
    }
  }
  return bytes;
}

SimOptions ParseSimOptions(const std::vector<std::string>& args) {
  SimOptions options;
  SensorConfig& c = options.config;
  SensorSettings& s = c.settings;
  OptionReader reader(args);
  while (reader.Next()) {
    const std::string& option = reader.Name();
    if (option == "--help" || option == "-h") {
      options.help = true;
      reader.NoValue();
    } else if (option == "--silent") {
      c.silent = true;
      reader.NoValue();
    } else if (option == "--no-decimal") {
      c.noDecimal = true;
      reader.NoValue();
    } else if (option == "--line-rate") {
      c.lineBaud = 9600;
      reader.NoValue();
    } else if (option == "--force") {
      options.force = true;
      reader.NoValue();
    } else if (option == "--free-com") {
      options.freeCom = true;
      reader.NoValue();
    } else if (option == "--verbose" || option == "-v") {
      options.verbose = true;
      reader.NoValue();
    } else if (option == "--com") {
      options.com = static_cast<int>(OptionInteger(option, reader.Value(), 1, 9999));
    } else if (option == "--exe-dir") {
      options.exeDir = OptionFolder(option, reader.Value());
    } else if (option == "--id") {
      s.id = static_cast<int>(OptionInteger(option, reader.Value(), 0, kMaxSensorId));
    } else if (option == "--ids") {
      c.busIds = OptionIdList(option, reader.Value(), kMaxSensorId);
      s.id = c.busIds.front();
    } else if (option == "--mode") {
      s.mode = std::to_string(OptionInteger(option, reader.Value(), 0, 3));
    } else if (option == "--version") {
      s.version = reader.Value();
    } else if (option == "--nrange") {
      s.negativeRange = static_cast<int>(OptionInteger(option, reader.Value(), 0, kFullTurnTenths));
    } else if (option == "--prange") {
      // As on the wire: 0 stands for a full turn.
      const auto tenths = OptionInteger(option, reader.Value(), 0, kFullTurnTenths);
      s.positiveRange = tenths == 0 ? kFullTurnTenths : static_cast<int>(tenths);
    } else if (option == "--cal") {
      s.calibrationState = reader.Value();
    } else if (option == "--zero") {
      s.zeroOffset = reader.Value();
    } else if (option == "--gain") {
      s.mvGain = reader.Value();
    } else if (option == "--mv-offset") {
      s.mvOffset = reader.Value();
    } else if (option == "--coef") {
      const std::string text = reader.Value();
      const size_t eq = text.find('=');
      static const std::string kNames = "0123456789AB";
      if (eq != 1 || kNames.find(text[0]) == std::string::npos) {
        OptionError(option, "expects K=VALUE with K one of 0-9, A, B");
      }
      s.coefficients[kNames.find(text[0])] = text.substr(2);
    } else if (option == "--angle") {
      c.fixedAngle = OptionNumber(option, reader.Value(), -1e6, 1e6);
    } else if (option == "--count") {
      c.countFrom = OptionNumber(option, reader.Value(), -1e6, 1e6);
    } else if (option == "--count-step") {
      c.countStep = OptionNumber(option, reader.Value(), -1e6, 1e6);
    } else if (option == "--count-wrap") {
      c.countWrap = OptionNumber(option, reader.Value(), 0, 1e6);
    } else if (option == "--frame-log") {
      options.frameLog = reader.Value();
      if (options.frameLog.empty()) OptionError(option, "needs a file name");
    } else if (option == "--period") {
      c.sweepPeriodSeconds = OptionNumber(option, reader.Value(), 0.1, 1e6);
    } else if (option == "--rate") {
      c.framesPerSecond = OptionNumber(option, reader.Value(), 0.01, 1000);
    } else if (option == "--delay") {
      c.replyDelay = std::chrono::milliseconds(OptionInteger(option, reader.Value(), 0, 3'600'000));
    } else if (option == "--late") {
      // ID=MS: that ID answers its poll after MS milliseconds.
      const std::string text = reader.Value();
      const size_t eq = text.find('=');
      if (eq == std::string::npos) OptionError(option, "expects ID=MS");
      const int id = static_cast<int>(OptionInteger(option, text.substr(0, eq), 0, kMaxSensorId));
      c.lateIds[id] =
          std::chrono::milliseconds(OptionInteger(option, text.substr(eq + 1), 0, 3'600'000));
    } else if (option == "--unasked") {
      c.unasked = true;
      reader.NoValue();
    } else if (option == "--garbage") {
      try {
        c.garbage = UnescapeBytes(reader.Value());
      } catch (const std::invalid_argument& e) {
        OptionError(option, e.what());
      }
    } else if (option == "--split") {
      c.splitBytes = static_cast<size_t>(OptionInteger(option, reader.Value(), 0, 4096));
    } else if (option == "--split-gap") {
      c.splitGap = std::chrono::milliseconds(OptionInteger(option, reader.Value(), 0, 10'000));
    } else if (option == "--baud") {
      c.lineBaud = static_cast<int>(OptionInteger(option, reader.Value(), 0, 4'000'000));
    } else {
      OptionError(option, "unknown option (see --help)");
    }
  }
  const std::string problem = ConfigProblem(c);
  if (!problem.empty()) throw std::invalid_argument(problem);
  return options;
}

std::string SimUsage() {
  return R"(Usage: kelta-sim [options]
Plays a KELTA angle sensor on a pseudo-terminal and prints its device path. Stop it with
Ctrl+C (SIGINT) or SIGTERM; a --com link is removed on the way out. SIGUSR1 switches the
sensor's power off (no frames, no answers, the line stays open) and on again (it answers, and
streams once asked with "#READ").

Where the console finds it:
  --com N          link ports/comN beside the console's executable to the sensor, so the
                   console connects to it as COM<N>; in the user's data folder
                   ($XDG_DATA_HOME/kelta, ~/.local/share/kelta) when the console is installed
                   where it cannot write, as the console itself decides
  --exe-dir DIR    folder of the console's executable (default: kelta-sim's own folder,
                   which is where the build and the package put KELTA_Dispaly too)
  --force          take over a ports/comN link that still leads to another device
  --free-com       print the first COM number free for a new link (no ports/comN entry, no
                   device of its own) and end; tools/run.sh asks this

What the sensor reports ("#INFO") and starts with:
  --id N           sensor ID 0-77 (bus address 0xB0+N)             default 1
  --ids A,B,...    a bus: each of these IDs answers its own ID poll (0xB0+ID, ENQ) on this
                   one line with its own angle (the k-th from 0: the fixed angle + k degrees,
                   or the sweep k/count of a period ahead); "#INFO" reports the first
  --mode M         direction mode 0-3                               default 2
  --version TEXT   firmware version, exactly 4 characters           default 1.00
  --nrange T       negative range, tenths of a degree 0-3600        default 1800
  --prange T       positive range, tenths of a degree 1-3600 (0 = 3600) default 1800
  --cal TEXT       calibration state                                default 1
  --zero TEXT      zero offset                                      default 0
  --gain TEXT      mV gain                                          default 1000
  --mv-offset TEXT mV offset                                        default 0
  --coef K=TEXT    compensation coefficient K (0-9, A, B)           default 100-111

The angle:
  --angle DEG      report this fixed angle
  --count DEG      count instead: the n-th frame sent reports DEG + n (checks that every
                   frame arrives once and in order)
  --count-step S   ... counting S per frame instead of 1
  --count-wrap D   ... starting again from DEG after D degrees (0: never)
  --period S       otherwise sweep from -nrange to +prange and back in S seconds (default 20)
  --rate HZ        frames per second after "#READ" (0.01-1000)      default 10

Faults to test the console with:
  --silent         read everything, answer nothing
  --delay MS       wait MS milliseconds before every reply
  --late ID=MS     that ID answers its poll only after MS milliseconds (repeatable)
  --unasked        one more sensor talks unasked: frames at --rate from the start, without
                   "#READ" (until "#STOP"), its angle that of one more --ids entry
  --no-decimal     whole degrees without a decimal point
  --garbage BYTES  send BYTES before every data frame (escapes \r \n \t \\ \xHH)
  --split N        send everything in pieces of N bytes ...
  --split-gap MS   ... MS milliseconds apart (default 5)
  --baud B         no faster than a B-baud line (10 bits per byte)
  --line-rate      the same as --baud 9600

  --frame-log FILE write a line per data frame to FILE as it leaves: its number from 0, the
                   wall-clock time in microseconds since 1970 and its angle text
                   ("12,1765158131250123,-179.9"), for measuring how long frames take to
                   reach a reader
  --verbose, -v    print every command line received
  --help, -h       this text
)";
}

}  // namespace kelta::sim
