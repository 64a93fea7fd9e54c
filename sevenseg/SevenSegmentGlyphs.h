// The 26 seven-segment glyphs, their segment masks and the character mapping.
#pragma once

#include <cstdint>

namespace kelta::sevenseg {

// Ordinals are part of the contract (streamed as numbers); keep the order.
enum TSevenSegmentCharacter : std::uint8_t {
  ssc0,
  ssc1,
  ssc2,
  ssc3,
  ssc4,
  ssc5,
  ssc6,
  ssc7,
  ssc8,
  ssc9,
  sscA,
  sscB,
  sscC,
  sscD,
  sscE,
  sscF,
  sscPeriod,
  sscColon,
  sscPlus,
  sscMinus,
  sscBlank,
  sscLine,
  sscUpArrow,
  sscDownArrow,
  sscSemiColon,
  sscComma,
};
inline constexpr int kGlyphCount = 26;

// Segment bits of a mask; bit 7 is never used.
enum SegmentBit : std::uint8_t {
  kSegA = 0x01,  // top
  kSegB = 0x02,  // upper right
  kSegC = 0x04,  // lower right
  kSegD = 0x08,  // bottom
  kSegE = 0x10,  // lower left
  kSegF = 0x20,  // upper left
  kSegG = 0x40,  // middle
};
inline constexpr std::uint8_t kAllSegments = 0x7F;

// True for ssc0 .. sscF and sscBlank, the glyphs drawn from the seven segments.
bool IsSegmentGlyph(TSevenSegmentCharacter g);
// Lit segments of a segment glyph; 0 for the shape glyphs.
std::uint8_t SegmentMask(TSevenSegmentCharacter g);
// Period, colon, semicolon and comma have a narrow natural width.
bool IsNarrowGlyph(TSevenSegmentCharacter g);

TSevenSegmentCharacter CharToGlyph(char c);
// Inverse of CharToGlyph: lower-case "a" .. "f", " " for sscBlank.
char GlyphToChar(TSevenSegmentCharacter g);

// Natural glyph size for margin M and half stroke S (64-bit: the standalone character
// does not bound S from above).
std::int64_t NaturalGlyphWidth(TSevenSegmentCharacter g, int margin, int segmentSize);
std::int64_t NaturalGlyphHeight(int margin, int segmentSize);

}  // namespace kelta::sevenseg
