// Reads arbitrary bytes as a studio model, with triangle fans drawn as fans or as 16-bit triangle
// lists by turns; whatever it accepts draws only vertices of its own vertex count.
#include "ContentFuzz.h"
#include "content/studio/StudioModel.h"
#include "content/studio/StudioStreamer.h"
#include "core/Exception.h"
#include "render/IndexBufferAccessor.h"
#include "render/IndexData.h"

using rezezaz::core::IntrusivePointer;
using rezezaz::render::IndexData;
using rezezaz::scene::studio::StudioModel;
using rezezaz::scene::studio::StudioStreamer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static IntrusivePointer<StudioStreamer> streamer = new StudioStreamer(fuzzing::engine());
    static bool fans = false;
    fans = !fans;
    fuzzing::engine()->setHasBackableTriangleFan(fans);
    try {
        auto resource = streamer->load(fuzzing::memoryStream(data, size), nullptr, nullptr);
        auto* model = dynamic_cast<StudioModel*>(resource.get());
        if (model == nullptr || model->getMaterials().size() != model->getTextures().size()) {
            __builtin_trap();
        }
        const int64_t vertices = model->getVertexCount();
        for (const StudioModel::meshdata& mesh : model->getMeshData()) {
            if (mesh.firstVertex < 0 || mesh.firstVertex > vertices) {
                __builtin_trap();
            }
            for (const auto& draw : mesh.indexData) {
                if (!draw->indexBuffer) {
                    if (draw->count > 0 && int64_t(draw->start) + draw->count > vertices) {
                        __builtin_trap();
                    }
                    continue;
                }
                rezezaz::render::IndexBufferAccessor indices(draw->indexBuffer.get(),
                                                             rezezaz::render::Buffer::Access_READ);
                for (int i = 0; i < draw->count; ++i) {
                    if (indices.get(draw->start + i) >= vertices) {
                        __builtin_trap();
                    }
                }
            }
        }
    } catch (const rezezaz::core::Exception&) {
    }
    return 0;
}
