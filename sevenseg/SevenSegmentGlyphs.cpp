#include "sevenseg/SevenSegmentGlyphs.h"

#include <array>

namespace kelta::sevenseg {

namespace {

constexpr std::array<std::uint8_t, 16> kDigitMasks = {
    0x3F,  // 0: A B C D E F
    0x06,  // 1: B C
    0x5B,  // 2: A B D E G
    0x4F,  // 3: A B C D G
    0x66,  // 4: B C F G
    0x6D,  // 5: A C D F G
    0x7D,  // 6: A C D E F G
    0x07,  // 7: A B C
    0x7F,  // 8: all seven
    0x67,  // 9: A B C F G, no bottom bar
    0x77,  // A: A B C E F G
    0x7C,  // b: C D E F G, lower-case so it differs from 8
    0x39,  // C: A D E F
    0x5E,  // d: B C D E G, lower-case so it differs from 0
    0x79,  // E: A D E F G
    0x71,  // F: A E F G
};

// Characters of the glyphs after the hex digits, in enum order.
constexpr std::array<char, 10> kShapeChars = {
    '.',  // sscPeriod
    ':',  // sscColon
    '+',  // sscPlus
    '-',  // sscMinus
    ' ',  // sscBlank
    '_',  // sscLine
    '<',  // sscUpArrow
    '>',  // sscDownArrow
    ';',  // sscSemiColon
    ',',  // sscComma
};

}  // namespace

bool IsSegmentGlyph(TSevenSegmentCharacter g) { return g <= sscF || g == sscBlank; }

std::uint8_t SegmentMask(TSevenSegmentCharacter g) { return g <= sscF ? kDigitMasks[g] : 0; }

bool IsNarrowGlyph(TSevenSegmentCharacter g) {
  return g == sscPeriod || g == sscColon || g == sscSemiColon || g == sscComma;
}

TSevenSegmentCharacter CharToGlyph(char c) {
  if (c >= '0' && c <= '9') return static_cast<TSevenSegmentCharacter>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<TSevenSegmentCharacter>(sscA + (c - 'A'));
  if (c >= 'a' && c <= 'f') return static_cast<TSevenSegmentCharacter>(sscA + (c - 'a'));
  for (std::size_t i = 0; i < kShapeChars.size(); ++i) {
    if (kShapeChars[i] == c) return static_cast<TSevenSegmentCharacter>(sscPeriod + i);
  }
  return sscBlank;
}

char GlyphToChar(TSevenSegmentCharacter g) {
  if (g <= ssc9) return static_cast<char>('0' + g);
  if (g <= sscF) return static_cast<char>('a' + (g - sscA));
  if (g < kGlyphCount) return kShapeChars[g - sscPeriod];
  return ' ';
}

std::int64_t NaturalGlyphWidth(TSevenSegmentCharacter g, int margin, int segmentSize) {
  const std::int64_t strokes = IsNarrowGlyph(g) ? 2 : 10;
  return 2 * std::int64_t{margin} + strokes * segmentSize;
}

std::int64_t NaturalGlyphHeight(int margin, int segmentSize) {
  return 2 * std::int64_t{margin} + 18 * std::int64_t{segmentSize};
}

}  // namespace kelta::sevenseg
