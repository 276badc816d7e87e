#pragma once

#include "core/IntrusivePointer.h"
#include "core/SharedPointer.h"
#include "core/String.h"
#include "render/VariableBufferFormat.h"

#include <initializer_list>
#include <string>

namespace support {

// One shader variable of a block as a device reports it.
struct BlockVariable
{
    std::string name;
    int format;
    int offset;
    // The texture unit of a sampler.
    int textureUnit = 0;
};

// A compiled variable block (the primary one when name is empty) of the given variables, its data size
// the end of the last of them.
inline rezezaz::core::IntrusivePointer<rezezaz::render::VariableBufferFormat>
variableBlock(const std::string& name, std::initializer_list<BlockVariable> variables)
{
    using rezezaz::render::VariableBufferFormat;
    int dataSize = 0;
    for (const BlockVariable& v : variables) {
        const int end = v.offset + VariableBufferFormat::getFormatSize(v.format);
        dataSize = end > dataSize ? end : dataSize;
    }
    rezezaz::core::IntrusivePointer<VariableBufferFormat> block =
        new VariableBufferFormat(name.empty(), rezezaz::core::String(name.c_str()), dataSize,
                                 static_cast<int>(variables.size()));
    int slot = 0;
    for (const BlockVariable& v : variables) {
        rezezaz::core::SharedPointer<VariableBufferFormat::Variable> variable(new VariableBufferFormat::Variable);
        variable->name = v.name.c_str();
        variable->format = v.format;
        variable->offset = v.offset;
        variable->index = slot;
        variable->textureUnit = v.textureUnit;
        block->setStructVariable(slot++, variable);
    }
    block->compile();
    return block;
}

} // namespace support
