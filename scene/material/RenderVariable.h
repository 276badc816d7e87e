#pragma once

namespace rezezaz::scene::material {

class RenderPass;
class SceneParameters;

// Writes one shader input of a render pass from the scene's current values. A pass links it by name
// to a shader variable and then has it write straight into the locked variable buffer. Held by
// core::SharedPointer: a variable carries no count of its own and may be shared by several passes.
class RenderVariable
{
public:
    // Component type of the formats below (32-bit float).
    static constexpr int FORMAT_FLOAT = 0x0006;
    static constexpr int FORMAT_FLOAT1 = 0x0106;
    static constexpr int FORMAT_FLOAT2 = 0x0206;
    static constexpr int FORMAT_FLOAT4 = 0x0406;
    static constexpr int FORMAT_MATRIX4X4 = 0x0D06;

    virtual ~RenderVariable() = default;

    // The variable's format code: component type in bits 0-7, shape in bits 8-15, flags above.
    virtual int getFormat() = 0;
    // Called once the pass has linked the variable to a shader variable.
    virtual void linked(RenderPass* pass);
    // Writes the value at data; allocates nothing.
    virtual void update(unsigned char* data, SceneParameters* parameters) = 0;
};

} // namespace rezezaz::scene::material
