// Affine transformation of the dial rendering: 32-bit float matrices applied to row vectors
// (x, y, 1), prepared lazily into an inverse and 16.16 fixed forms for the per-pixel work.
#pragma once

#include "graphics/core/Geometry.h"
#include "graphics/core/Resamplers.h"

#include <stdexcept>

namespace kelta::gfx {

using TFloatMatrix = float[3][3];
using TFixedMatrix = TFixed[3][3];

class ETransformationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TTransformation {
 public:
  virtual ~TTransformation() = default;
  virtual const char* ClassName() const { return "TTransformation"; }

  // Every change clears the valid flag; the next sampling run prepares again.
  virtual void Changed() { transformValid_ = false; }
  // Prepare only if the valid flag is clear.
  void Prepare() {
    if (!transformValid_) PrepareTransform();
  }

  // The base forms: integers through the fixed forms (shifted by 16 in, fixed rounding
  // out), fixed through the float forms (divided by 65536 in, rounded to 16.16 out).
  virtual TPoint ReverseMapInt(int X, int Y);
  virtual void ReverseMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V);
  virtual void ReverseMapFloat(float X, float Y, float& U, float& V);
  virtual TPoint ForwardMapInt(int X, int Y);
  virtual void ForwardMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V);
  virtual void ForwardMapFloat(float X, float Y, float& U, float& V);
  virtual bool HasTransformedBounds() const { return true; }
  // Smallest rectangle holding the four forward-mapped corners of R.
  virtual TFloatRect TransformedBounds(const TFloatRect& R);

  const TFloatRect& SrcRect() const { return srcRect_; }
  void SetSrcRect(const TFloatRect& R) {
    srcRect_ = R;
    Changed();
  }
  bool TransformValid() const { return transformValid_; }

 protected:
  virtual void PrepareTransform() { transformValid_ = true; }

  TFloatRect srcRect_;
  bool transformValid_ = false;
};

class TAffineTransformation : public TTransformation {
 public:
  TAffineTransformation() { ResetToIdentity(); }
  const char* ClassName() const override { return "TAffineTransformation"; }

  // The public matrix; callers that write it directly call Changed().
  TFloatMatrix Matrix;

  void ResetToIdentity();
  // Building operations act after what the matrix already does: M := M x Op.
  void Translate(float Dx, float Dy);
  void Scale(float Sx, float Sy);
  // Degrees; positive turns counter-clockwise on a y-down screen.
  void RotateAbout(float Cx, float Cy, float Angle);

  TPoint ReverseMapInt(int X, int Y) override;
  void ReverseMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) override;
  void ReverseMapFloat(float X, float Y, float& U, float& V) override;
  TPoint ForwardMapInt(int X, int Y) override;
  void ForwardMapFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) override;
  void ForwardMapFloat(float X, float Y, float& U, float& V) override;
  TFloatRect TransformedBounds(const TFloatRect& R) override;

  // Valid after Prepare().
  const TFloatMatrix& InverseMatrix() const { return inverse_; }
  const TFixedMatrix& FixedMatrix() const { return fixed_; }
  const TFixedMatrix& InverseFixedMatrix() const { return inverseFixed_; }

 protected:
  void PrepareTransform() override;

 private:
  void Multiply(const TFloatMatrix& Op);

  TFloatMatrix inverse_{};
  TFixedMatrix fixed_{};
  TFixedMatrix inverseFixed_{};
};

}  // namespace kelta::gfx
