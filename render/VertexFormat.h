#pragma once

#include "core/Resource.h"
#include "core/String.h"

namespace rezezaz::render {

// The elements of one vertex: what each means (its semantic, or a free name), which of several like
// elements it is (its index), how it is stored (its element format) and where it lies (its byte
// offset). Element formats hold the component type in the low byte and the component count in bits
// 16-23; the code 8 as a whole is a packed colour.
class VertexFormat : public core::Resource
{
public:
    enum Semantic : int
    {
        // An element known only by its name.
        Semantic_UNKNOWN = -1,
        Semantic_POSITION = 0,
        Semantic_BLEND_WEIGHTS = 1,
        Semantic_BLEND_INDICES = 2,
        Semantic_NORMAL = 3,
        Semantic_COLOR = 4,
        Semantic_TEXCOORD = 5,
    };

    enum ElementType : int
    {
        Type_UINT8 = 1,
        Type_INT8 = 2,
        Type_INT16 = 3,
        Type_INT32 = 4,
        // 16.16 fixed point.
        Type_FIXED32 = 5,
        Type_FLOAT32 = 6,
        Type_FLOAT64 = 7,
    };

    // The whole code: four unsigned bytes in one 32-bit word.
    static constexpr int Format_COLOR = 8;

    // The element format of count components of type.
    static constexpr int makeFormat(int type, int count) { return (type & 0xFF) | ((count & 0xFF) << 16); }
    static constexpr int getFormatType(int format) { return format & 0xFF; }
    static constexpr int getFormatCount(int format) { return (format >> 16) & 0xFF; }
    // Bytes of one element of that format: the component size times the count (the component size
    // alone when the count is 0), 4 for a colour, 0 for an unknown type.
    static int getFormatSize(int format);

    virtual VertexFormat* getRootVertexFormat() = 0;
    virtual bool create() = 0;
    virtual bool addElement(int semantic, int index, int format) = 0;
    virtual bool addElement(const core::String& name, int index, int format) = 0;
    // No bounds check: i must be below the element count.
    virtual int getNumElements() const = 0;
    virtual int getElementSemantic(int i) const = 0;
    virtual const core::String& getElementName(int i) const = 0;
    virtual int getElementIndex(int i) const = 0;
    virtual int getElementFormat(int i) const = 0;
    virtual int getElementOffset(int i) const = 0;
    // Bytes per vertex.
    virtual int getVertexSize() const = 0;
    // The first element with that semantic or name, -1 when there is none.
    virtual int findElement(int semantic) const = 0;
    virtual int findElement(const core::String& name) const = 0;
};

} // namespace rezezaz::render
