#include "Platform/Graphics/Matrix.h"

#include <cmath>
#include <numbers>

namespace quillgate::graphics {

namespace {

struct Affine {
  double a, b, c, d, e, f;  // m11 m12 m21 m22 dx dy
};

// Row vectors: applying `first`, then `second`.
Affine Then(const Affine& first, const Affine& second) {
  return {first.a * second.a + first.b * second.c,
          first.a * second.b + first.b * second.d,
          first.c * second.a + first.d * second.c,
          first.c * second.b + first.d * second.d,
          first.e * second.a + first.f * second.c + second.e,
          first.e * second.b + first.f * second.d + second.f};
}

bool Finite(std::initializer_list<double> values) {
  for (double v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

}  // namespace

Matrix::Matrix(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy)
    : m11_(m11), m12_(m12), m21_(m21), m22_(m22), dx_(dx), dy_(dy) {}

Matrix::Matrix(const RectF& rect, const PointF* dstplg) {
  if (dstplg == nullptr || !(rect.Width != 0) || !(rect.Height != 0)) {
    lastStatus_ = InvalidParameter;
    return;
  }
  const double sx = 1.0 / rect.Width;
  const double sy = 1.0 / rect.Height;
  // Unit square -> parallelogram, after moving the rectangle onto the unit square.
  const Affine toUnit{sx, 0, 0, sy, -rect.X * sx, -rect.Y * sy};
  const Affine toPlg{dstplg[1].X - dstplg[0].X, dstplg[1].Y - dstplg[0].Y,
                     dstplg[2].X - dstplg[0].X, dstplg[2].Y - dstplg[0].Y,
                     dstplg[0].X, dstplg[0].Y};
  const Affine m = Then(toUnit, toPlg);
  m11_ = static_cast<REAL>(m.a);
  m12_ = static_cast<REAL>(m.b);
  m21_ = static_cast<REAL>(m.c);
  m22_ = static_cast<REAL>(m.d);
  dx_ = static_cast<REAL>(m.e);
  dy_ = static_cast<REAL>(m.f);
}

std::unique_ptr<Matrix> Matrix::Clone() const { return std::make_unique<Matrix>(*this); }

Status Matrix::SetElements(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy) {
  m11_ = m11;
  m12_ = m12;
  m21_ = m21;
  m22_ = m22;
  dx_ = dx;
  dy_ = dy;
  return lastStatus_ = Ok;
}

Status Matrix::GetElements(REAL* m) const {
  if (m == nullptr) return InvalidParameter;
  const auto e = Elements();
  for (int i = 0; i < 6; ++i) m[i] = e[static_cast<std::size_t>(i)];
  return Ok;
}

std::array<REAL, 6> Matrix::Elements() const { return {m11_, m12_, m21_, m22_, dx_, dy_}; }

Status Matrix::Reset() { return SetElements(1, 0, 0, 1, 0, 0); }

Status Matrix::Multiply(const Matrix* matrix, MatrixOrder order) {
  if (matrix == nullptr) return lastStatus_ = InvalidParameter;
  const Affine self{m11_, m12_, m21_, m22_, dx_, dy_};
  const Affine other{matrix->m11_, matrix->m12_, matrix->m21_, matrix->m22_, matrix->dx_, matrix->dy_};
  // Prepend: the other transformation acts first.
  const Affine r = order == MatrixOrderAppend ? Then(self, other) : Then(other, self);
  return SetElements(static_cast<REAL>(r.a), static_cast<REAL>(r.b), static_cast<REAL>(r.c),
                     static_cast<REAL>(r.d), static_cast<REAL>(r.e), static_cast<REAL>(r.f));
}

Status Matrix::Translate(REAL offsetX, REAL offsetY, MatrixOrder order) {
  const Matrix t(1, 0, 0, 1, offsetX, offsetY);
  return Multiply(&t, order);
}

Status Matrix::Scale(REAL scaleX, REAL scaleY, MatrixOrder order) {
  const Matrix s(scaleX, 0, 0, scaleY, 0, 0);
  return Multiply(&s, order);
}

Status Matrix::Rotate(REAL angle, MatrixOrder order) {
  const double radians = static_cast<double>(angle) * std::numbers::pi / 180.0;
  double s = std::sin(radians);
  double c = std::cos(radians);
  // Keep quarter turns exact so that rotated rectangles stay axis-aligned.
  if (std::fabs(s) < 1e-12) s = 0;
  if (std::fabs(c) < 1e-12) c = 0;
  const Matrix r(static_cast<REAL>(c), static_cast<REAL>(s), static_cast<REAL>(-s),
                 static_cast<REAL>(c), 0, 0);
  return Multiply(&r, order);
}

Status Matrix::RotateAt(REAL angle, const PointF& center, MatrixOrder order) {
  Matrix r;
  r.Translate(-center.X, -center.Y, MatrixOrderAppend);
  r.Rotate(angle, MatrixOrderAppend);
  r.Translate(center.X, center.Y, MatrixOrderAppend);
  return Multiply(&r, order);
}

Status Matrix::Shear(REAL shearX, REAL shearY, MatrixOrder order) {
  const Matrix s(1, shearY, shearX, 1, 0, 0);
  return Multiply(&s, order);
}

Status Matrix::Invert() {
  const double det = static_cast<double>(m11_) * m22_ - static_cast<double>(m12_) * m21_;
  if (det == 0 || !std::isfinite(det)) return lastStatus_ = InvalidParameter;
  const double a = m22_ / det;
  const double b = -m12_ / det;
  const double c = -m21_ / det;
  const double d = m11_ / det;
  const double e = -(dx_ * a + dy_ * c);
  const double f = -(dx_ * b + dy_ * d);
  if (!Finite({a, b, c, d, e, f})) return lastStatus_ = InvalidParameter;
  return SetElements(static_cast<REAL>(a), static_cast<REAL>(b), static_cast<REAL>(c),
                     static_cast<REAL>(d), static_cast<REAL>(e), static_cast<REAL>(f));
}

Status Matrix::TransformPoints(PointF* points, INT count) const {
  if (points == nullptr || count < 0) return InvalidParameter;
  for (INT i = 0; i < count; ++i) points[i] = Apply(points[i]);
  return Ok;
}

Status Matrix::TransformPoints(std::span<PointF> points) const {
  for (PointF& p : points) p = Apply(p);
  return Ok;
}

Status Matrix::TransformPoints(Point* points, INT count) const {
  if (points == nullptr || count < 0) return InvalidParameter;
  for (INT i = 0; i < count; ++i) {
    const PointF p = Apply(PointF(points[i]));
    points[i] = Point(static_cast<INT>(std::lround(p.X)), static_cast<INT>(std::lround(p.Y)));
  }
  return Ok;
}

Status Matrix::TransformVectors(PointF* points, INT count) const {
  if (points == nullptr || count < 0) return InvalidParameter;
  for (INT i = 0; i < count; ++i) {
    const PointF p = points[i];
    points[i] = {p.X * m11_ + p.Y * m21_, p.X * m12_ + p.Y * m22_};
  }
  return Ok;
}

bool Matrix::IsIdentity() const {
  return m11_ == 1 && m12_ == 0 && m21_ == 0 && m22_ == 1 && dx_ == 0 && dy_ == 0;
}

bool Matrix::IsInvertible() const {
  const double det = static_cast<double>(m11_) * m22_ - static_cast<double>(m12_) * m21_;
  return det != 0 && std::isfinite(det);
}

bool Matrix::Equals(const Matrix* matrix) const {
  return matrix != nullptr && Elements() == matrix->Elements();
}

}  // namespace quillgate::graphics
