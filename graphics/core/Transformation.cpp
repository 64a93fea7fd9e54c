#include "graphics/core/Transformation.h"

#include <cmath>
#include <cstring>
#include <string>

namespace kelta::gfx {

namespace {

inline TFixed ShiftFixed(int V) { return static_cast<TFixed>(static_cast<std::uint32_t>(V) << 16); }

inline TFixed AddWrap(TFixed A, TFixed B) {
  return static_cast<TFixed>(static_cast<std::uint32_t>(A) + static_cast<std::uint32_t>(B));
}

void MakeIdentity(TFloatMatrix& M) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) M[i][j] = i == j ? 1.0f : 0.0f;
}

void ToFixed(const TFloatMatrix& F, TFixedMatrix& X) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) X[i][j] = FloatToFixed(F[i][j]);
}

}  // namespace

// ---- TTransformation ---------------------------------------------------------------------

TPoint TTransformation::ReverseMapInt(int X, int Y) {
  TFixed u, v;
  ReverseMapFixed(ShiftFixed(X), ShiftFixed(Y), u, v);
  return {FixedRound(u), FixedRound(v)};
}

void TTransformation::ReverseMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
  float fu, fv;
  ReverseMapFloat(static_cast<float>(X / 65536.0), static_cast<float>(Y / 65536.0), fu, fv);
  U = FloatToFixed(fu);
  V = FloatToFixed(fv);
}

void TTransformation::ReverseMapFloat(float, float, float&, float&) {
  throw ETransformationError(std::string("Reverse transformation is not implemented in ") +
                             ClassName() + ".");
}

TPoint TTransformation::ForwardMapInt(int X, int Y) {
  TFixed u, v;
  ForwardMapFixed(ShiftFixed(X), ShiftFixed(Y), u, v);
  return {FixedRound(u), FixedRound(v)};
}

void TTransformation::ForwardMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
  float fu, fv;
  ForwardMapFloat(static_cast<float>(X / 65536.0), static_cast<float>(Y / 65536.0), fu, fv);
  U = FloatToFixed(fu);
  V = FloatToFixed(fv);
}

void TTransformation::ForwardMapFloat(float, float, float&, float&) {
  throw ETransformationError(std::string("Forward transformation is not implemented in ") +
                             ClassName() + ".");
}

TFloatRect TTransformation::TransformedBounds(const TFloatRect& R) {
  float x[4], y[4];
  ForwardMapFloat(R.Left, R.Top, x[0], y[0]);
  ForwardMapFloat(R.Right, R.Top, x[1], y[1]);
  ForwardMapFloat(R.Left, R.Bottom, x[2], y[2]);
  ForwardMapFloat(R.Right, R.Bottom, x[3], y[3]);
  TFloatRect b{x[0], y[0], x[0], y[0]};
  for (int i = 1; i < 4; ++i) {
    b.Left = std::fmin(b.Left, x[i]);
    b.Right = std::fmax(b.Right, x[i]);
    b.Top = std::fmin(b.Top, y[i]);
    b.Bottom = std::fmax(b.Bottom, y[i]);
  }
  return b;
}

// ---- TAffineTransformation ---------------------------------------------------------------

void TAffineTransformation::ResetToIdentity() {
  MakeIdentity(Matrix);
  Changed();
}

void TAffineTransformation::Multiply(const TFloatMatrix& Op) {
  // Each element's sum is formed in higher precision and stored once as a float.
  TFloatMatrix r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r[i][j] = static_cast<float>(static_cast<double>(Matrix[i][0]) * Op[0][j] +
                                   static_cast<double>(Matrix[i][1]) * Op[1][j] +
                                   static_cast<double>(Matrix[i][2]) * Op[2][j]);
  std::memcpy(Matrix, r, sizeof Matrix);
  Changed();
}

void TAffineTransformation::Translate(float Dx, float Dy) {
  TFloatMatrix op;
  MakeIdentity(op);
  op[2][0] = Dx;
  op[2][1] = Dy;
  Multiply(op);
}

void TAffineTransformation::Scale(float Sx, float Sy) {
  TFloatMatrix op;
  MakeIdentity(op);
  op[0][0] = Sx;
  op[1][1] = Sy;
  Multiply(op);
}

void TAffineTransformation::RotateAbout(float Cx, float Cy, float Angle) {
  const bool shifted = Cx != 0 || Cy != 0;
  if (shifted) Translate(-Cx, -Cy);
  const float a = static_cast<float>(static_cast<long double>(Angle) *
                                     3.14159265358979323846264338327950288L / 180.0L);
  // sinf/cosf are off by one unit in the last place for a few per cent of angles; the
  // matrix wants the sine of A rounded to float once, so work in extended precision.
  const float s = static_cast<float>(std::sin(static_cast<long double>(a)));
  const float c = static_cast<float>(std::cos(static_cast<long double>(a)));
  TFloatMatrix op;
  MakeIdentity(op);
  op[0][0] = c;
  op[1][0] = s;
  op[0][1] = -s;
  op[1][1] = c;
  Multiply(op);
  if (shifted) Translate(Cx, Cy);
}

void TAffineTransformation::PrepareTransform() {
  const TFloatMatrix& m = Matrix;
  const double d =
      static_cast<double>(m[0][0]) *
          (static_cast<double>(m[1][1]) * m[2][2] - static_cast<double>(m[2][1]) * m[1][2]) -
      static_cast<double>(m[1][0]) *
          (static_cast<double>(m[0][1]) * m[2][2] - static_cast<double>(m[2][1]) * m[0][2]) +
      static_cast<double>(m[2][0]) *
          (static_cast<double>(m[0][1]) * m[1][2] - static_cast<double>(m[1][1]) * m[0][2]);
  std::memcpy(inverse_, m, sizeof inverse_);
  if (std::fabs(d) < 1e-5) {
    // A singular matrix is not an error: every pixel then samples its own position.
    MakeIdentity(inverse_);
  } else {
    const double r = 1.0 / d;
    auto cof = [&](int A, int B, int C, int E) {
      return static_cast<double>(m[A][B]) * m[C][E] - static_cast<double>(m[A][E]) * m[C][B];
    };
    inverse_[0][0] = static_cast<float>(cof(1, 1, 2, 2) * r);
    inverse_[0][1] = static_cast<float>(-cof(0, 1, 2, 2) * r);
    inverse_[0][2] = static_cast<float>(cof(0, 1, 1, 2) * r);
    inverse_[1][0] = static_cast<float>(-cof(1, 0, 2, 2) * r);
    inverse_[1][1] = static_cast<float>(cof(0, 0, 2, 2) * r);
    inverse_[1][2] = static_cast<float>(-cof(0, 0, 1, 2) * r);
    inverse_[2][0] = static_cast<float>(cof(1, 0, 2, 1) * r);
    inverse_[2][1] = static_cast<float>(-cof(0, 0, 2, 1) * r);
    inverse_[2][2] = static_cast<float>(cof(0, 0, 1, 1) * r);
  }
  ToFixed(inverse_, inverseFixed_);
  ToFixed(Matrix, fixed_);
  transformValid_ = true;
}

TPoint TAffineTransformation::ReverseMapInt(int X, int Y) {
  TFixed u, v;
  ReverseMapFixed(ShiftFixed(X), ShiftFixed(Y), u, v);
  return {FixedRound(u), FixedRound(v)};
}

void TAffineTransformation::ReverseMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
  Prepare();
  const TFixedMatrix& i = inverseFixed_;
  U = AddWrap(AddWrap(FixedMul(X, i[0][0]), FixedMul(Y, i[1][0])), i[2][0]);
  V = AddWrap(AddWrap(FixedMul(X, i[0][1]), FixedMul(Y, i[1][1])), i[2][1]);
}

void TAffineTransformation::ReverseMapFloat(float X, float Y, float& U, float& V) {
  Prepare();
  const TFloatMatrix& i = inverse_;
  U = static_cast<float>(static_cast<double>(X) * i[0][0] + static_cast<double>(Y) * i[1][0] +
                         i[2][0]);
  V = static_cast<float>(static_cast<double>(X) * i[0][1] + static_cast<double>(Y) * i[1][1] +
                         i[2][1]);
}

TPoint TAffineTransformation::ForwardMapInt(int X, int Y) {
  TFixed u, v;
  ForwardMapFixed(ShiftFixed(X), ShiftFixed(Y), u, v);
  return {FixedRound(u), FixedRound(v)};
}

void TAffineTransformation::ForwardMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
  Prepare();
  const TFixedMatrix& f = fixed_;
  U = AddWrap(AddWrap(FixedMul(X, f[0][0]), FixedMul(Y, f[1][0])), f[2][0]);
  V = AddWrap(AddWrap(FixedMul(X, f[0][1]), FixedMul(Y, f[1][1])), f[2][1]);
}

void TAffineTransformation::ForwardMapFloat(float X, float Y, float& U, float& V) {
  const TFloatMatrix& m = Matrix;
  U = static_cast<float>(static_cast<double>(X) * m[0][0] + static_cast<double>(Y) * m[1][0] +
                         m[2][0]);
  V = static_cast<float>(static_cast<double>(X) * m[0][1] + static_cast<double>(Y) * m[1][1] +
                         m[2][1]);
}

TFloatRect TAffineTransformation::TransformedBounds(const TFloatRect& R) {
  return TTransformation::TransformedBounds(R);
}

}  // namespace kelta::gfx
