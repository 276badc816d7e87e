#include "render/BackableVertexFormat.h"

namespace rezezaz::render {

namespace {

const char* const semanticNames[] = {"POSITION", "BLEND_WEIGHTS", "BLEND_INDICES", "NORMAL", "COLOR", "TEXCOORD"};
constexpr int numSemanticNames = static_cast<int>(sizeof(semanticNames) / sizeof(semanticNames[0]));

} // namespace

int BackableVertexFormat::getSemanticFromName(const core::String& name)
{
    for (int semantic = 0; semantic < numSemanticNames; ++semantic) {
        if (name.equals(semanticNames[semantic])) {
            return semantic;
        }
    }
    return Semantic_UNKNOWN;
}

core::String BackableVertexFormat::getNameFromSemantic(int semantic)
{
    if (semantic >= 0 && semantic < numSemanticNames) {
        return core::String(semanticNames[semantic]);
    }
    return core::String();
}

void BackableVertexFormat::destroy()
{
    destroyBack();
    BaseRenderResource<VertexFormat>::destroy();
}

VertexFormat* BackableVertexFormat::getRootVertexFormat()
{
    return back_.get();
}

bool BackableVertexFormat::create()
{
    return back_ ? back_->create() : true;
}

bool BackableVertexFormat::addElement(int semantic, int index, int format)
{
    return addElement(semantic, core::String(), index, format);
}

bool BackableVertexFormat::addElement(const core::String& name, int index, int format)
{
    return addElement(Semantic_UNKNOWN, name, index, format);
}

bool BackableVertexFormat::addElement(int semantic, const core::String& name, int index, int format)
{
    if (semantic == Semantic_UNKNOWN) {
        semantic = getSemanticFromName(name);
    }
    semantics_.add(semantic);
    names_.add(name.length() == 0 ? getNameFromSemantic(semantic) : name);
    indexes_.add(index);
    formats_.add(format);
    offsets_.add(vertexSize_);
    vertexSize_ += getFormatSize(format);
    if (back_) {
        back_->addElement(semantic, index, format);
    }
    return true;
}

int BackableVertexFormat::getNumElements() const
{
    return semantics_.size();
}

int BackableVertexFormat::getElementSemantic(int i) const
{
    return semantics_[i];
}

const core::String& BackableVertexFormat::getElementName(int i) const
{
    return names_[i];
}

int BackableVertexFormat::getElementIndex(int i) const
{
    return indexes_[i];
}

int BackableVertexFormat::getElementFormat(int i) const
{
    return formats_[i];
}

int BackableVertexFormat::getElementOffset(int i) const
{
    return offsets_[i];
}

int BackableVertexFormat::getVertexSize() const
{
    return vertexSize_;
}

int BackableVertexFormat::findElement(int semantic) const
{
    return semantics_.findIndex(semantic);
}

int BackableVertexFormat::findElement(const core::String& name) const
{
    return names_.findIndex(name);
}

void BackableVertexFormat::setBack(core::IntrusivePointer<VertexFormat> back)
{
    if (back_ && back_ == back) {
        // It mirrors this format already: elements given again would stand in it twice.
        return;
    }
    if (!replaceBack(back.get())) {
        return;
    }
    back_->create();
    for (int i = 0; i < semantics_.size(); ++i) {
        back_->addElement(semantics_[i], indexes_[i], formats_[i]);
    }
}

core::IntrusivePointer<VertexFormat> BackableVertexFormat::getBack() const
{
    return back_;
}

} // namespace rezezaz::render
