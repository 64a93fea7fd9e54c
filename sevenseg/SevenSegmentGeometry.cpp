#include "sevenseg/SevenSegmentGeometry.h"

#include <cmath>
#include <initializer_list>

namespace kelta::sevenseg {

Coord RoundHalfEven(double v) {
  const double f = std::floor(v);
  const double frac = v - f;
  Coord r = static_cast<Coord>(f);
  if (frac > 0.5 || (frac == 0.5 && (r & 1) != 0)) ++r;
  return r;
}

namespace {

SegPolygon Poly(std::initializer_list<Point> pts, const CellGeometry& g) {
  SegPolygon p;
  for (const Point& v : pts) p.pts[p.count++] = Point{v.x + g.x0, v.y + g.y0};
  return p;
}

// The four rectangle corners in the order the painter expects.
SegPolygon Box(Coord x1, Coord y1, Coord x2, Coord y2, const CellGeometry& g) {
  return Poly({{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}}, g);
}

// k(n) = Round(n * H / 18): the shapes are laid out on an 18-row grid of the cell height.
Coord K(int n, const CellGeometry& g) { return RoundHalfEven(n * static_cast<double>(g.h) / 18.0); }

}  // namespace

SegPolygon SegmentPolygon(Segment s, const CellGeometry& g) {
  const Coord M = g.margin, Sp = g.separation, S = g.size, S2 = 2 * g.size;
  const Coord R = g.w - 1 - M;
  const Coord Bt = g.h - 1 - M;
  const Coord m = (g.h - 1) / 2;
  switch (s) {
    case kA:
      return Poly({{M + Sp, M}, {R - Sp, M}, {R - Sp - S2, M + S2}, {M + Sp + S2, M + S2}}, g);
    case kB:
      return Poly({{R, M + Sp}, {R, m - Sp}, {R - S2, m - Sp - S2}, {R - S2, M + Sp + S2}}, g);
    case kC:
      return Poly({{R, m + Sp}, {R, Bt - Sp}, {R - S2, Bt - Sp - S2}, {R - S2, m + Sp + S2}}, g);
    case kD:
      return Poly({{M + Sp, Bt}, {R - Sp, Bt}, {R - Sp - S2, Bt - S2}, {M + Sp + S2, Bt - S2}}, g);
    case kE:
      return Poly({{M, m + Sp}, {M, Bt - Sp}, {M + S2, Bt - Sp - S2}, {M + S2, m + Sp + S2}}, g);
    case kF:
      return Poly({{M, M + Sp}, {M, m - Sp}, {M + S2, m - Sp - S2}, {M + S2, M + Sp + S2}}, g);
    case kG:
      return Poly({{M + Sp, m},
                   {M + Sp + S, m - S},
                   {R - Sp - S, m - S},
                   {R - Sp, m},
                   {R - Sp - S, m + S},
                   {M + Sp + S, m + S}},
                  g);
  }
  return {};
}

ShapePolygons ShapeGeometry(Shape shape, const CellGeometry& g) {
  const Coord M = g.margin, S = g.size, W = g.w, H = g.h;
  const Coord cx = W / 2;
  const double Wd = static_cast<double>(W), Hd = static_cast<double>(H),
               Sd = static_cast<double>(S);
  ShapePolygons out;
  auto add = [&out](const SegPolygon& p) { out.polys[out.count++] = p; };
  auto colonDots = [&] {
    add(Box(cx - S, K(5, g), cx + S, K(7, g), g));
    add(Box(cx - S, K(11, g), cx + S, K(13, g), g));
  };
  auto tail = [&] { add(Box(cx, K(13, g), cx + S, K(16, g), g)); };
  // Plus and minus share their horizontal extent; the plus sits at a quarter of the
  // height and the minus at three quarters, so one cell can carry both as a split sign.
  const Coord x1 = RoundHalfEven(2.5 * Wd / 10.0);
  const Coord x2 = RoundHalfEven(7.5 * Wd / 10.0);
  switch (shape) {
    case Shape::kPeriod:
      // Lower edge on row H, one below the cell: the dot sits on the baseline of the digits.
      add(Box(cx - S, H - 2 * S, cx + S, H, g));
      break;
    case Shape::kColon:
      colonDots();
      break;
    case Shape::kSemiColon:
      colonDots();
      tail();
      break;
    case Shape::kComma:
      add(Box(cx - S, K(11, g), cx + S, K(13, g), g));
      tail();
      break;
    case Shape::kPlus: {
      const double mid = 4.5 * Hd / 18.0;
      add(Box(x1, RoundHalfEven(mid - Sd / 2.0), x2, RoundHalfEven(mid + Sd / 2.0), g));
      const Coord u1 = RoundHalfEven(Wd / 2.0 - Sd / 2.0);
      const Coord u2 = RoundHalfEven(Wd / 2.0 + Sd / 2.0);
      add(Box(u1, K(2, g), u2, K(7, g), g));
      break;
    }
    case Shape::kMinus: {
      const double mid = 13.5 * Hd / 18.0;
      add(Box(x1, RoundHalfEven(mid - Sd / 2.0), x2, RoundHalfEven(mid + Sd / 2.0), g));
      break;
    }
    case Shape::kLine: {
      const Coord m = (H - 1) / 2;
      const Coord R = W - 1 - M;
      add(Box(M, m - S / 2, R, m + S / 2, g));
      break;
    }
    case Shape::kUpArrow:
    case Shape::kDownArrow: {
      const Coord h = (W - 1 - 2 * M) / 2;
      const Coord a = (W - 1) / 2;
      const Coord b = H / 2;
      Point apex;
      if (shape == Shape::kUpArrow) {
        apex = (b - h > M) ? Point{a, b - h} : Point{a, M};
      } else {
        apex = (H - 1 - M > b + h) ? Point{a, b + h} : Point{a, H - 1 - M};
      }
      add(Poly({{a + h, b}, {a - h, b}, apex}, g));
      break;
    }
  }
  return out;
}

}  // namespace kelta::sevenseg
