#include "render/IndexData.h"

#include "core/Categories.h"
#include "core/DestroyHeld.h"
#include "core/Error.h"

namespace rezezaz::render {

IndexData::IndexData(Primitive primitive_, core::IntrusivePointer<IndexBuffer> buffer)
    : primitive(primitive_), indexBuffer(buffer), start(0), count(0)
{
    if (!indexBuffer) {
        core::Error::nullPointer(core::Categories::REZEZAZ_RENDER, true, "IndexData: no index buffer");
    }
    count = indexBuffer->getSize();
}

IndexData::IndexData(Primitive primitive_, core::IntrusivePointer<IndexBuffer> buffer, int start_, int count_)
    : primitive(primitive_), indexBuffer(buffer), start(start_), count(count_)
{}

void IndexData::destroy()
{
    core::destroyHeld(indexBuffer);
    core::Object::destroy();
}

} // namespace rezezaz::render
