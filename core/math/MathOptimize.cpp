// Math::optimize: chooses the 4x4 kernels by request or by timing them on this processor.

#include "core/Categories.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/PosixSystem.h"
#include "core/String.h"
#include "core/SystemCaps.h"
#include "core/math/Math.h"

namespace rezezaz {
namespace core {
namespace math {

namespace {

constexpr int TIMED_REPEATS = 1000;

void logAt(Logger::Level level, const String& text)
{
    Logger* logger = Log::getInstance();
    if (logger->getMasterReportingLevel() >= level &&
        logger->getCategoryReportingLevel(Categories::REZEZAZ_CORE) >= level) {
        logger->addLogEntry(Categories::REZEZAZ_CORE, level, text);
    }
}

void setMatrixKernels(bool sse)
{
    mulMatrix4x4 = sse ? mulMatrix4x4SSE : mulMatrix4x4Traditional;
    postMulMatrix4x4 = sse ? postMulMatrix4x4SSE : postMulMatrix4x4Traditional;
    preMulMatrix4x4 = sse ? preMulMatrix4x4SSE : preMulMatrix4x4Traditional;
}

void setVectorKernels(bool sse)
{
    mulVector4Matrix4x4Vector4 = sse ? mulVector4Matrix4x4Vector4SSE : mulVector4Matrix4x4Vector4Traditional;
    mulVector4Matrix4x4 = sse ? mulVector4Matrix4x4SSE : mulVector4Matrix4x4Traditional;
}

// A small rotation with a translation: repeated products stay finite.
Matrix4x4 timingMatrix()
{
    return Matrix4x4(0.99f, -0.01f, 0.0f, 0.5f, //
                     0.01f, 0.99f, 0.0f, 0.25f, //
                     0.0f, 0.0f, 1.0f, 0.125f,  //
                     0.0f, 0.0f, 0.0f, 1.0f);
}

unsigned long long timeMatrixProducts(MulMatrix4x4Function mul)
{
    const Matrix4x4 b = timingMatrix();
    Matrix4x4 r;
    const unsigned long long start = PosixSystem::utime();
    for (int i = 0; i < TIMED_REPEATS; ++i) {
        mul(r, r, b);
    }
    return PosixSystem::utime() - start;
}

unsigned long long timeVectorProducts(MulVector4Matrix4x4Vector4Function mul)
{
    const Matrix4x4 m = timingMatrix();
    Vector4 v(1.0f, 2.0f, 3.0f, 1.0f);
    const unsigned long long start = PosixSystem::utime();
    for (int i = 0; i < TIMED_REPEATS; ++i) {
        mul(v, m, v);
    }
    return PosixSystem::utime() - start;
}

} // namespace

void Math::optimize(int mode)
{
    SystemCaps caps;
    PosixSystem::getSystemCaps(caps);
    logAt(Logger::ALERT, String("Detected SSE version:") + caps.sseLevel);
    // This processor family has no NEON; the version is reported as 0.
    logAt(Logger::ALERT, String("Detected NEON version:") + 0);

    if (mode == 1 && caps.sseLevel >= 1) {
        logAt(Logger::EXCESS, "forcing SSE math");
        setMatrixKernels(true);
        setVectorKernels(true);
        return;
    }
    if (mode != 0 || caps.sseLevel == 0) {
        logAt(Logger::EXCESS, "forcing Traditional math");
        init();
        return;
    }

    const unsigned long long t1 = timeMatrixProducts(mulMatrix4x4Traditional);
    const unsigned long long t2 = timeMatrixProducts(mulMatrix4x4SSE);
    const unsigned long long t3 = timeVectorProducts(mulVector4Matrix4x4Vector4Traditional);
    const unsigned long long t4 = timeVectorProducts(mulVector4Matrix4x4Vector4SSE);
    logAt(Logger::ALERT, String("Timings - MatrixTraditional:") + t1 + " MatrixSSE:" + t2 +
                             " VectorTraditional:" + t3 + " VectorSSE:" + t4);

    // Ties go to SSE.
    const bool matrixSSE = !(t1 < t2);
    logAt(Logger::EXCESS, matrixSSE ? "using SSE Matrix4x4 math" : "using Traditional Matrix4x4 math");
    setMatrixKernels(matrixSSE);
    const bool vectorSSE = !(t3 < t4);
    logAt(Logger::EXCESS, vectorSSE ? "using SSE Vector4 math" : "using Traditional Vector4 math");
    setVectorKernels(vectorSSE);
}

} // namespace math
} // namespace core
} // namespace rezezaz
