// Reads arbitrary bytes as a sprite; whatever it accepts has one texture and one material per frame,
// each texture the size of its frame's pixels.
#include "ContentFuzz.h"
#include "content/studio/SpriteModel.h"
#include "content/studio/SpriteStreamer.h"
#include "core/Exception.h"
#include "render/TextureFormat.h"

using rezezaz::core::IntrusivePointer;
using rezezaz::scene::studio::SpriteModel;
using rezezaz::scene::studio::SpriteStreamer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static IntrusivePointer<SpriteStreamer> streamer = new SpriteStreamer(fuzzing::engine());
    try {
        auto resource = streamer->load(fuzzing::memoryStream(data, size), nullptr, nullptr);
        auto* model = dynamic_cast<SpriteModel*>(resource.get());
        if (model == nullptr) {
            __builtin_trap();
        }
        const int frames = model->getHeader().numFrames;
        if (model->getTextures().size() != (frames > 0 ? frames : 0) ||
            model->getMaterials().size() != model->getTextures().size()) {
            __builtin_trap();
        }
        for (const auto& texture : model->getTextures()) {
            if (!texture || texture->getFormat()->getDataSize() <= 0) {
                __builtin_trap();
            }
        }
    } catch (const rezezaz::core::Exception&) {
    }
    return 0;
}
