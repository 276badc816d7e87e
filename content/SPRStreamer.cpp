#include "content/SPRStreamer.h"

#include "content/studio/SpriteModel.h"

namespace rezezaz::scene {

SPRStreamer::SPRStreamer(Engine* engine) : spriteStreamer_(new studio::SpriteStreamer(engine)) {}

core::IntrusivePointer<core::Resource> SPRStreamer::load(core::IntrusivePointer<core::io::Stream> stream,
                                                         ResourceData* data, ProgressListener* listener)
{
    core::IntrusivePointer<core::Resource> resource = spriteStreamer_->load(stream, data, listener);
    auto* model = dynamic_cast<studio::SpriteModel*>(resource.get());
    if (model == nullptr || model->getTextures().size() == 0) {
        return nullptr;
    }
    core::IntrusivePointer<render::Texture> texture = model->getTextures()[0];
    return texture;
}

} // namespace rezezaz::scene
