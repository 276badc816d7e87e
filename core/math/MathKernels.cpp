// The kernel pointers of Math.h, Traditional until Math::optimize changes them; the kernels
// themselves are inline, in MathKernels.h.

#include "core/math/Math.h"

namespace rezezaz {
namespace core {
namespace math {

MulMatrix4x4Function mulMatrix4x4 = mulMatrix4x4Traditional;
PostMulMatrix4x4Function postMulMatrix4x4 = postMulMatrix4x4Traditional;
PreMulMatrix4x4Function preMulMatrix4x4 = preMulMatrix4x4Traditional;
MulVector4Matrix4x4Vector4Function mulVector4Matrix4x4Vector4 = mulVector4Matrix4x4Vector4Traditional;
MulVector4Matrix4x4Function mulVector4Matrix4x4 = mulVector4Matrix4x4Traditional;

} // namespace math
} // namespace core
} // namespace rezezaz
