// The readout's cell (12 x 26, margin 0, separation 1, half stroke 1) with its vertices
// worked out by hand, shared by the geometry and the rendering tests.
#pragma once

#include <vector>

#include "sevenseg/SevenSegmentCanvas.h"

namespace kelta::sevenseg::test {

using Poly = std::vector<Point>;

inline const std::vector<Poly> kWorkedSegments = {
    {{1, 0}, {10, 0}, {8, 2}, {3, 2}},                        // A
    {{11, 1}, {11, 11}, {9, 9}, {9, 3}},                      // B
    {{11, 13}, {11, 24}, {9, 22}, {9, 15}},                   // C
    {{1, 25}, {10, 25}, {8, 23}, {3, 23}},                    // D
    {{0, 13}, {0, 24}, {2, 22}, {2, 15}},                     // E
    {{0, 1}, {0, 11}, {2, 9}, {2, 3}},                        // F
    {{1, 12}, {2, 11}, {9, 11}, {10, 12}, {9, 13}, {2, 13}},  // G
};
inline const std::vector<Poly> kWorkedPlus = {
    {{3, 6}, {9, 6}, {9, 7}, {3, 7}},
    {{6, 3}, {6, 3}, {6, 10}, {6, 10}},  // u1 = Round(5.5) = 6 = u2 = Round(6.5): a line
};
inline const Poly kWorkedMinus = {{3, 19}, {9, 19}, {9, 20}, {3, 20}};
inline const Poly kWorkedUpArrow = {{10, 13}, {0, 13}, {5, 8}};
inline const Poly kWorkedDownArrow = {{10, 13}, {0, 13}, {5, 18}};
// Decimal mark cell, 2 x 26.
inline const Poly kWorkedPeriod = {{0, 24}, {2, 24}, {2, 26}, {0, 26}};

inline Poly Offset(const Poly& p, Coord dx, Coord dy) {
  Poly out;
  for (const Point& v : p) out.push_back({v.x + dx, v.y + dy});
  return out;
}

}  // namespace kelta::sevenseg::test
