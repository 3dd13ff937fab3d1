#pragma once
// 2-D affine transformation in the library's row-vector convention:
//   x' = x * m11 + y * m21 + dx,   y' = x * m12 + y * m22 + dy.
// "Prepend" applies the new operation before the existing transformation, "Append" after it.

#include "Platform/Graphics/GraphicsTypes.h"

#include <array>
#include <memory>
#include <span>

namespace quillgate::graphics {

class Matrix {
 public:
  Matrix() = default;  // identity
  Matrix(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy);
  // The transformation that maps rect onto the parallelogram with upper-left dstplg[0],
  // upper-right dstplg[1] and lower-left dstplg[2].
  Matrix(const RectF& rect, const PointF* dstplg);

  [[nodiscard]] std::unique_ptr<Matrix> Clone() const;

  Status SetElements(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy);
  // m11, m12, m21, m22, dx, dy.
  Status GetElements(REAL* m) const;
  [[nodiscard]] std::array<REAL, 6> Elements() const;
  [[nodiscard]] REAL OffsetX() const { return dx_; }
  [[nodiscard]] REAL OffsetY() const { return dy_; }

  Status Reset();
  Status Multiply(const Matrix* matrix, MatrixOrder order = MatrixOrderPrepend);
  Status Translate(REAL offsetX, REAL offsetY, MatrixOrder order = MatrixOrderPrepend);
  Status Scale(REAL scaleX, REAL scaleY, MatrixOrder order = MatrixOrderPrepend);
  // Degrees; positive turns clockwise on screen (y grows downwards).
  Status Rotate(REAL angle, MatrixOrder order = MatrixOrderPrepend);
  Status RotateAt(REAL angle, const PointF& center, MatrixOrder order = MatrixOrderPrepend);
  Status Shear(REAL shearX, REAL shearY, MatrixOrder order = MatrixOrderPrepend);
  // Fails with InvalidParameter (matrix unchanged) when the matrix is singular.
  Status Invert();

  Status TransformPoints(PointF* points, INT count = 1) const;
  Status TransformPoints(Point* points, INT count = 1) const;
  Status TransformPoints(std::span<PointF> points) const;
  Status TransformVectors(PointF* points, INT count = 1) const;
  [[nodiscard]] PointF Apply(const PointF& p) const {
    return {p.X * m11_ + p.Y * m21_ + dx_, p.X * m12_ + p.Y * m22_ + dy_};
  }

  [[nodiscard]] bool IsIdentity() const;
  [[nodiscard]] bool IsInvertible() const;
  [[nodiscard]] bool Equals(const Matrix* matrix) const;
  [[nodiscard]] Status GetLastStatus() const { return lastStatus_; }

 private:
  REAL m11_ = 1, m12_ = 0, m21_ = 0, m22_ = 1, dx_ = 0, dy_ = 0;
  Status lastStatus_ = Ok;
};

}  // namespace quillgate::graphics
