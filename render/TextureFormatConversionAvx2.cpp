// The pixel converter's row kernels built for processors with AVX2; TextureFormatConversion chooses
// them at run time. Built with AVX2 code generation where the compiler targets x86 (see
// CMakeLists.txt); elsewhere it offers none.

#include "render/TextureFormatConversionRows.h"

namespace rezezaz::render {

PixelRow findPixelRowAvx2(int srcPixelFormat, int dstPixelFormat)
{
#if defined(__AVX2__)
    return findPixelRow(srcPixelFormat, dstPixelFormat);
#else
    (void)srcPixelFormat;
    (void)dstPixelFormat;
    return nullptr;
#endif
}

} // namespace rezezaz::render
