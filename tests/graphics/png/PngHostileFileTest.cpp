// Picture files that try to hurt: something other than a regular file in a picture's place
// (a FIFO would block the program for good), chunks that claim or hold far more than any
// picture needs, and broken files, whose errors name the file.
#include "tests/graphics/png/PngTestWriter.h"
#include "tests/support/Fifo.h"
#include "tests/support/Files.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/TempDir.h"

#include "graphics/png/PngDecoder.h"
#include "graphics/png/PngErrors.h"
#include "graphics/png/PngLoader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <sstream>
#include <string>

namespace kelta::gfx {
namespace {

std::string BigEndian32(std::uint32_t V) {
  return {static_cast<char>(V >> 24), static_cast<char>(V >> 16), static_cast<char>(V >> 8),
          static_cast<char>(V)};
}

// A chunk whose length field says Claimed, holding Data, with its CRC made right.
std::string Chunk(const std::string& Type, const std::string& Data, std::uint32_t Claimed) {
  const std::string body = Type + Data;
  const auto crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return BigEndian32(Claimed) + body + BigEndian32(static_cast<std::uint32_t>(crc));
}

// A valid 2 x 2 picture with Extra put right after its header chunk.
std::string PictureWith(const std::string& Extra) {
  test::TestPng p;
  p.Width = 2;
  p.Height = 2;
  p.Rows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}};
  const std::string png = test::EncodeTestPng(p);
  constexpr std::size_t kAfterHeader = 8 + 25;  // signature, IHDR
  return png.substr(0, kAfterHeader) + Extra + png.substr(kAfterHeader);
}

// The rise of the resident memory's peak over what it was before Call, in MiB.
template <class Call>
long PeakRiseMiB(Call call) {
  const bool reset = kelta::test::ResetPeakResident();
  const long before = reset ? kelta::test::ResidentKiB() : kelta::test::PeakResidentKiB();
  call();
  return (kelta::test::PeakResidentKiB() - before) / 1024;
}

TEST(PngHostileFile, AnythingButARegularFileIsRefusedWithoutBlocking) {
  const kelta::test::TempDir dir;
  const std::string fifo = dir.File("Mode3.png");
  kelta::test::MakeFifo(fifo);
  struct TCase {
    std::string Path;
    std::string Reason;
  };
  const TCase cases[] = {
      {fifo, "Not a regular file: FIFO"},
      {"/dev/null", "Not a regular file: character device"},
      {"/dev/zero", "Not a regular file: character device"},
      {dir.Path(), "Is a directory"},
  };
  for (const TCase& c : cases) {
    bool blocked = false;
    const std::string message = kelta::test::CallBesideFifo(
        fifo,
        [&]() -> std::string {
          try {
            ReadPngFile(c.Path);
          } catch (const EFileOpenError& e) {
            return e.what();
          } catch (const std::exception& e) {
            return std::string("other error: ") + e.what();
          }
          return "loaded";
        },
        blocked);
    EXPECT_FALSE(blocked) << c.Path;
    EXPECT_EQ(message, "Cannot open file \"" + c.Path + "\". " + c.Reason);
  }
}

// A 44-byte file whose text, palette-suggestion or unknown chunk declares 2 GB used to make
// the decoder allocate (and touch) 2 GB. Now no chunk may claim more than the file holds, and
// a file that does hold a chunk far larger than any picture's (48 MB of text) is read past
// without keeping it.
TEST(PngHostileFile, ChunksClaimingOrHoldingGigabytesCostNoMemory) {
  const kelta::test::TempDir dir;
  for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "iCCP", "abCd"}) {
    SCOPED_TRACE(type);
    const std::string file = dir.File(std::string(type) + ".png");
    // Signature and header (33 bytes), then a chunk header claiming 0x7FFFFFFF and 3 bytes.
    const std::string bytes =
        PictureWith("").substr(0, 33) + BigEndian32(0x7FFFFFFFu) + type + "abc";
    ASSERT_EQ(bytes.size(), 44u);
    kelta::test::WriteFile(file, bytes);
    std::string message;
    const long rise = PeakRiseMiB([&] {
      try {
        ReadPngFile(file);
      } catch (const EPngError& e) {
        message = e.what();
      }
    });
    EXPECT_EQ(message, "Cannot load picture \"" + file + "\". Read Error");
    EXPECT_LT(rise, 32) << "MiB more at the peak";

    // The same bytes from a stream (the fuzzer's way in).
    std::istringstream in(bytes);
    const long streamRise = PeakRiseMiB([&] { EXPECT_THROW(ReadPngStream(in), EPngError); });
    EXPECT_LT(streamRise, 32) << "MiB more at the peak, from a stream";
  }

  const std::string big = dir.File("big-text.png");
  kelta::test::WriteFile(big, PictureWith(Chunk("tEXt", std::string(48 << 20, 'x'), 48 << 20)));
  TBitmap32 bitmap;
  bool alphaUsed = true;
  const long rise = PeakRiseMiB([&] { LoadPngFile(bitmap, big, alphaUsed); });
  EXPECT_LT(rise, 16) << "MiB more at the peak";
  EXPECT_EQ(bitmap.Pixel(1, 1), 0xFF0A0B0Cu) << "the picture itself loads";
}

// A broken picture names its file before the decoder's own text; a stream has no name.
TEST(PngHostileFile, DecoderErrorsNameTheFile) {
  const kelta::test::TempDir dir;
  std::string bad = PictureWith("");
  bad[29] ^= 1;  // inside the IHDR CRC
  struct TCase {
    std::string Bytes;
    const char* Message;
  };
  const TCase cases[] = {
      {bad, "IHDR: CRC error"},
      {PictureWith("").substr(0, 40), "Read Error"},
      {std::string("GIF89a") + std::string(10, '\0'), "Not a PNG file"},
  };
  for (const TCase& c : cases) {
    const std::string file = dir.File("Mode3.png");
    kelta::test::WriteFile(file, c.Bytes);
    TBitmap32 bitmap;
    bool alphaUsed = false;
    try {
      LoadPngFile(bitmap, file, alphaUsed);
      ADD_FAILURE() << "loaded";
    } catch (const EPngError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot load picture \"" + file + "\". " + c.Message);
    }
    std::istringstream in(c.Bytes);
    try {
      LoadPngStream(bitmap, in, alphaUsed);
      ADD_FAILURE() << "loaded";
    } catch (const EPngError& e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
  }
}

}  // namespace
}  // namespace kelta::gfx
