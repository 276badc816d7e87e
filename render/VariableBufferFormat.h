#pragma once

#include "core/Collection.h"
#include "core/Object.h"
#include "core/SharedPointer.h"
#include "core/String.h"

#include <cstdint>

namespace rezezaz::render {

// The layout of a block of shader variables: their names, formats, byte offsets, array sizes and the
// shader's own index of each. A program builds one per block in three steps (construction,
// setStructVariable for every slot, compile) and shares it with its buffers unchanged afterwards.
//
// A variable format code holds the value type in bits 0-7, the shape in bits 8-15, an optional
// 1-based device transform selector in bits 16-19 and the matrix transpose flag in bit 31.
class VariableBufferFormat : public core::Object
{
public:
    enum Type : int
    {
        // Also booleans.
        Type_UINT8 = 1,
        Type_INT8 = 2,
        Type_INT16 = 3,
        Type_INT32 = 4,
        Type_FIXED32 = 5,
        Type_FLOAT32 = 6,
        Type_FLOAT64 = 7,
        Type_SAMPLER = 9,
    };

    // The whole code: a packed colour.
    static constexpr int Format_COLOR = 8;
    static constexpr int TRANSFORM_SHIFT = 16;
    static constexpr int TRANSFORM_MASK = 0xF0000;
    static constexpr uint32_t TRANSPOSE_FLAG = 0x80000000u;

    struct Variable
    {
        core::String name;
        // Set to name by compile.
        core::String fullName;
        int32_t format = 0;
        // Byte offset of the value in the buffer's data.
        int32_t offset = 0;
        int32_t arraySize = 1;
        // The uniform location of a loose uniform, the uniform index of a block member.
        int32_t index = 0;
        // For a sampler: the texture unit the upload assigns to it.
        int32_t textureUnit = 0;
        core::Collection<core::SharedPointer<Variable>> structVariables;
    };

    static constexpr int getFormatType(int format) { return format & 0xFF; }
    static constexpr int getFormatShape(int format) { return (format >> 8) & 0xFF; }
    static constexpr int getFormatTransform(int format) { return (format & TRANSFORM_MASK) >> TRANSFORM_SHIFT; }
    static constexpr bool getFormatTranspose(int format) { return (static_cast<uint32_t>(format) & TRANSPOSE_FLAG) != 0; }
    // Bytes a value takes in the buffer: every row of a shape fills a 16-byte slot.
    static int getFormatSize(int format);
    // Rows and columns of a matrix shape; 0 for scalars and vectors.
    static int getFormatRows(int format);
    static int getFormatColumns(int format);
    // A text dump of a variable tree: indent, name, ":", index and a line break, then each member
    // with one more tab.
    static core::String toString(const core::SharedPointer<Variable>& variable, const core::String& indent);

    VariableBufferFormat(bool primary, const core::String& name, int dataSize, int numVariables);

    // Puts variable into member slot index of the root; raises Error::invalidParameters when there is
    // no such slot.
    void setStructVariable(int index, const core::SharedPointer<Variable>& variable);
    // Flattens the tree into variables, depth first, sorted by index.
    void compile();

    bool getPrimary() const { return primary; }
    const core::String& getName() const { return name; }
    int getDataSize() const { return dataSize; }
    const core::SharedPointer<Variable>& getStructVariable() const { return structVariable; }
    int getNumVariables() const { return variables.size(); }
    const core::SharedPointer<Variable>& getVariable(int i) const { return variables[i]; }

    // True for the block of a program's loose uniforms.
    bool primary;
    // Empty for the primary block.
    core::String name;
    int32_t dataSize;
    core::SharedPointer<Variable> structVariable;
    core::Collection<core::SharedPointer<Variable>> variables;
};

} // namespace rezezaz::render
