#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "render/BackHolder.h"
#include "render/BaseRenderResource.h"
#include "render/VertexFormat.h"

namespace rezezaz::render {

// The device-independent vertex format: keeps its elements itself and replays them onto a device
// format (its back) each time a render context is made. Handed out by the buffer manager; owns its
// back.
class BackableVertexFormat : public BaseRenderResource<VertexFormat>, protected BackHolder<VertexFormat>
{
public:
    // The semantic with that name, -1 for any other name; and the other way, an empty name for any
    // other semantic.
    static int getSemanticFromName(const core::String& name);
    static core::String getNameFromSemantic(int semantic);

    BackableVertexFormat() = default;

    // Destroys and releases the back, then tells the destroyed-listener.
    void destroy() override;

    VertexFormat* getRootVertexFormat() override;
    bool create() override;
    bool addElement(int semantic, int index, int format) override;
    bool addElement(const core::String& name, int index, int format) override;
    // The semantic -1 takes the semantic of the name; an empty name takes the semantic's name.
    virtual bool addElement(int semantic, const core::String& name, int index, int format);
    int getNumElements() const override;
    int getElementSemantic(int i) const override;
    const core::String& getElementName(int i) const override;
    int getElementIndex(int i) const override;
    int getElementFormat(int i) const override;
    int getElementOffset(int i) const override;
    int getVertexSize() const override;
    int findElement(int semantic) const override;
    int findElement(const core::String& name) const override;

    // Destroys a held back that differs from back, takes back, creates it and adds every element to
    // it (by semantic; a name-only element reaches the back without its name). The back already
    // held is left as it is.
    virtual void setBack(core::IntrusivePointer<VertexFormat> back);
    virtual core::IntrusivePointer<VertexFormat> getBack() const;

private:
    core::Collection<int32_t> semantics_;
    core::Collection<core::String> names_;
    core::Collection<int32_t> indexes_;
    core::Collection<int32_t> formats_;
    core::Collection<int32_t> offsets_;
    int32_t vertexSize_ = 0;
};

} // namespace rezezaz::render
