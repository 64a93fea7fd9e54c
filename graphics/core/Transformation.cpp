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
  for (int I = 0; I < 3; ++I)
    for (int J = 0; J < 3; ++J) M[I][J] = I == J ? 1.0f : 0.0f;
}

void ToFixed(const TFloatMatrix& F, TFixedMatrix& X) {
  for (int I = 0; I < 3; ++I)
    for (int J = 0; J < 3; ++J) X[I][J] = FloatToFixed(F[I][J]);
}

}  // namespace

// ---- TTransformation ---------------------------------------------------------------------

TPoint TTransformation::ReverseMapInt(int X, int Y) {
  TFixed U, V;
  ReverseMapFixed(ShiftFixed(X), ShiftFixed(Y), U, V);
  return {FixedRound(U), FixedRound(V)};
}

void TTransformation::ReverseMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
  float FU, FV;
  ReverseMapFloat(static_cast<float>(X / 65536.0), static_cast<float>(Y / 65536.0), FU, FV);
  U = FloatToFixed(FU);
  V = FloatToFixed(FV);
}

void TTransformation::ReverseMapFloat(float, float, float&, float&) {
  throw ETransformationError(std::string("Reverse transformation is not implemented in ") +
                             ClassName() + ".");
}

TPoint TTransformation::ForwardMapInt(int X, int Y) {
  TFixed U, V;
  ForwardMapFixed(ShiftFixed(X), ShiftFixed(Y), U, V);
  return {FixedRound(U), FixedRound(V)};
}

void TTransformation::ForwardMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
  float FU, FV;
  ForwardMapFloat(static_cast<float>(X / 65536.0), static_cast<float>(Y / 65536.0), FU, FV);
  U = FloatToFixed(FU);
  V = FloatToFixed(FV);
}

void TTransformation::ForwardMapFloat(float, float, float&, float&) {
  throw ETransformationError(std::string("Forward transformation is not implemented in ") +
                             ClassName() + ".");
}

TFloatRect TTransformation::TransformedBounds(const TFloatRect& R) {
  float X[4], Y[4];
  ForwardMapFloat(R.Left, R.Top, X[0], Y[0]);
  ForwardMapFloat(R.Right, R.Top, X[1], Y[1]);
  ForwardMapFloat(R.Left, R.Bottom, X[2], Y[2]);
  ForwardMapFloat(R.Right, R.Bottom, X[3], Y[3]);
  TFloatRect B{X[0], Y[0], X[0], Y[0]};
  for (int I = 1; I < 4; ++I) {
    B.Left = std::fmin(B.Left, X[I]);
    B.Right = std::fmax(B.Right, X[I]);
    B.Top = std::fmin(B.Top, Y[I]);
    B.Bottom = std::fmax(B.Bottom, Y[I]);
  }
  return B;
}

// ---- TAffineTransformation ---------------------------------------------------------------

void TAffineTransformation::ResetToIdentity() {
  MakeIdentity(Matrix);
  Changed();
}

void TAffineTransformation::Multiply(const TFloatMatrix& Op) {
  // Each element's sum is formed in higher precision and stored once as a float.
  TFloatMatrix R;
  for (int I = 0; I < 3; ++I)
    for (int J = 0; J < 3; ++J)
      R[I][J] = static_cast<float>(static_cast<double>(Matrix[I][0]) * Op[0][J] +
                                   static_cast<double>(Matrix[I][1]) * Op[1][J] +
                                   static_cast<double>(Matrix[I][2]) * Op[2][J]);
  std::memcpy(Matrix, R, sizeof Matrix);
  Changed();
}

void TAffineTransformation::Translate(float Dx, float Dy) {
  TFloatMatrix Op;
  MakeIdentity(Op);
  Op[2][0] = Dx;
  Op[2][1] = Dy;
  Multiply(Op);
}

void TAffineTransformation::Scale(float Sx, float Sy) {
  TFloatMatrix Op;
  MakeIdentity(Op);
  Op[0][0] = Sx;
  Op[1][1] = Sy;
  Multiply(Op);
}

void TAffineTransformation::RotateAbout(float Cx, float Cy, float Angle) {
  const bool Shifted = Cx != 0 || Cy != 0;
  if (Shifted) Translate(-Cx, -Cy);
  const float A = static_cast<float>(static_cast<long double>(Angle) *
                                     3.14159265358979323846264338327950288L / 180.0L);
  // sinf/cosf are off by one unit in the last place for a few per cent of angles; the
  // matrix wants the sine of A rounded to float once, so work in extended precision.
  const float S = static_cast<float>(std::sin(static_cast<long double>(A)));
  const float C = static_cast<float>(std::cos(static_cast<long double>(A)));
  TFloatMatrix Op;
  MakeIdentity(Op);
  Op[0][0] = C;
  Op[1][0] = S;
  Op[0][1] = -S;
  Op[1][1] = C;
  Multiply(Op);
  if (Shifted) Translate(Cx, Cy);
}

void TAffineTransformation::PrepareTransform() {
  const TFloatMatrix& M = Matrix;
  const double D =
      static_cast<double>(M[0][0]) *
          (static_cast<double>(M[1][1]) * M[2][2] - static_cast<double>(M[2][1]) * M[1][2]) -
      static_cast<double>(M[1][0]) *
          (static_cast<double>(M[0][1]) * M[2][2] - static_cast<double>(M[2][1]) * M[0][2]) +
      static_cast<double>(M[2][0]) *
          (static_cast<double>(M[0][1]) * M[1][2] - static_cast<double>(M[1][1]) * M[0][2]);
  std::memcpy(Inverse_, M, sizeof Inverse_);
  if (std::fabs(D) < 1e-5) {
    // A singular matrix is not an error: every pixel then samples its own position.
    MakeIdentity(Inverse_);
  } else {
    const double R = 1.0 / D;
    auto Cof = [&](int A, int B, int C, int E) {
      return static_cast<double>(M[A][B]) * M[C][E] - static_cast<double>(M[A][E]) * M[C][B];
    };
    Inverse_[0][0] = static_cast<float>(Cof(1, 1, 2, 2) * R);
    Inverse_[0][1] = static_cast<float>(-Cof(0, 1, 2, 2) * R);
    Inverse_[0][2] = static_cast<float>(Cof(0, 1, 1, 2) * R);
    Inverse_[1][0] = static_cast<float>(-Cof(1, 0, 2, 2) * R);
    Inverse_[1][1] = static_cast<float>(Cof(0, 0, 2, 2) * R);
    Inverse_[1][2] = static_cast<float>(-Cof(0, 0, 1, 2) * R);
    Inverse_[2][0] = static_cast<float>(Cof(1, 0, 2, 1) * R);
    Inverse_[2][1] = static_cast<float>(-Cof(0, 0, 2, 1) * R);
    Inverse_[2][2] = static_cast<float>(Cof(0, 0, 1, 1) * R);
  }
  ToFixed(Inverse_, InverseFixed_);
  ToFixed(Matrix, Fixed_);
  TransformValid_ = true;
}

TPoint TAffineTransformation::ReverseMapInt(int X, int Y) {
  TFixed U, V;
  ReverseMapFixed(ShiftFixed(X), ShiftFixed(Y), U, V);
  return {FixedRound(U), FixedRound(V)};
}

void TAffineTransformation::ReverseMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
  Prepare();
  const TFixedMatrix& I = InverseFixed_;
  U = AddWrap(AddWrap(FixedMul(X, I[0][0]), FixedMul(Y, I[1][0])), I[2][0]);
  V = AddWrap(AddWrap(FixedMul(X, I[0][1]), FixedMul(Y, I[1][1])), I[2][1]);
}

void TAffineTransformation::ReverseMapFloat(float X, float Y, float& U, float& V) {
  Prepare();
  const TFloatMatrix& I = Inverse_;
  U = static_cast<float>(static_cast<double>(X) * I[0][0] + static_cast<double>(Y) * I[1][0] +
                         I[2][0]);
  V = static_cast<float>(static_cast<double>(X) * I[0][1] + static_cast<double>(Y) * I[1][1] +
                         I[2][1]);
}

TPoint TAffineTransformation::ForwardMapInt(int X, int Y) {
  TFixed U, V;
  ForwardMapFixed(ShiftFixed(X), ShiftFixed(Y), U, V);
  return {FixedRound(U), FixedRound(V)};
}

void TAffineTransformation::ForwardMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
  Prepare();
  const TFixedMatrix& F = Fixed_;
  U = AddWrap(AddWrap(FixedMul(X, F[0][0]), FixedMul(Y, F[1][0])), F[2][0]);
  V = AddWrap(AddWrap(FixedMul(X, F[0][1]), FixedMul(Y, F[1][1])), F[2][1]);
}

void TAffineTransformation::ForwardMapFloat(float X, float Y, float& U, float& V) {
  const TFloatMatrix& M = Matrix;
  U = static_cast<float>(static_cast<double>(X) * M[0][0] + static_cast<double>(Y) * M[1][0] +
                         M[2][0]);
  V = static_cast<float>(static_cast<double>(X) * M[0][1] + static_cast<double>(Y) * M[1][1] +
                         M[2][1]);
}

TFloatRect TAffineTransformation::TransformedBounds(const TFloatRect& R) {
  return TTransformation::TransformedBounds(R);
}

}  // namespace kelta::gfx
