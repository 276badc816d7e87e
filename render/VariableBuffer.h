#pragma once

#include "core/IntrusivePointer.h"
#include "render/Buffer.h"
#include "render/VariableBufferFormat.h"

namespace rezezaz::render {

// A block of shader variables laid out by a variable buffer format.
class VariableBuffer : public Buffer
{
public:
    virtual VariableBuffer* getRootVariableBuffer() = 0;
    virtual bool create(int usage, int access, core::IntrusivePointer<VariableBufferFormat> variableFormat) = 0;
    virtual void resetCreate() = 0;
    virtual void resetDestroy() = 0;
    // Null before create.
    virtual core::IntrusivePointer<VariableBufferFormat> getVariableBufferFormat() const = 0;
};

} // namespace rezezaz::render
