#include "content/studio/SpriteStreamer.h"

#include "content/MaterialSteps.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "core/io/DataStream.h"
#include "render/GeometryState.h"
#include "render/RenderState.h"
#include "render/TextureFormat.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/TextureManager.h"

#include <cstring>
#include <memory>

namespace rezezaz::scene::studio {

using core::Categories;
using core::IntrusivePointer;
using core::String;
using render::TextureFormat;

namespace {

constexpr int32_t SPRITE_IDENT = 0x50534449; // "IDSP"
constexpr int32_t SPRITE_VERSION = 2;
constexpr int64_t HEAD_BYTES = 42;           // the head and the palette colour count
constexpr int64_t FRAME_HEAD_BYTES = 16;
constexpr int64_t FRAME_TYPE_BYTES = 4;

[[noreturn]] void refuse(const String& text)
{
    core::Error::unknown(Categories::REZEZAZ_SCENE_STUDIO, true, text);
}

} // namespace

SpriteStreamer::SpriteStreamer(Engine* engine) : engine_(engine) {}

IntrusivePointer<core::Resource> SpriteStreamer::load(IntrusivePointer<core::io::Stream> stream, ResourceData*,
                                                      ProgressListener*)
{
    if (!stream) {
        core::Error::nullPointer(Categories::REZEZAZ_SCENE_STUDIO, true, "null stream");
    }
    IntrusivePointer<core::io::DataStream> in = new core::io::DataStream(stream.get());
    const int32_t ident = in->readLInt32();
    const int32_t version = in->readLInt32();
    in->reset();
    if (ident != SPRITE_IDENT || version != SPRITE_VERSION) {
        refuse(String("incorrect sprite ident:") + ident + " or version:" + version);
    }

    IntrusivePointer<SpriteModel> model = new SpriteModel();
    unsigned char* bytes = nullptr;
    const int length = in->readAll(bytes);
    model->setBuffer(bytes, length);
    if (length < HEAD_BYTES) {
        refuse("sprite head runs past the end of the file");
    }
    uint16_t colors = 0;
    std::memcpy(&colors, bytes + 40, sizeof colors);
    // Any index of a frame may name any of 256 entries.
    if (colors < 256) {
        refuse(String("sprite palette of ") + int(colors) + " colours, 256 needed");
    }
    if (HEAD_BYTES + 3 * int64_t(colors) > length) {
        refuse("sprite palette runs past the end of the file");
    }
    model->setPalette(bytes + HEAD_BYTES, colors);

    buildTextures(model.get());
    buildMaterials(model.get());
    return IntrusivePointer<core::Resource>(static_cast<core::BaseResource*>(model.get()));
}

void SpriteStreamer::buildTextures(SpriteModel* model)
{
    const SpriteModel::header head = model->getHeader();
    const unsigned char* bytes = model->getBuffer();
    const int64_t length = model->getBufferLength();
    int64_t start = HEAD_BYTES + 3 * int64_t(model->getPaletteColorCount()) + FRAME_TYPE_BYTES;
    for (int32_t i = 0; i < head.numFrames; ++i) {
        if (start + FRAME_HEAD_BYTES > length) {
            refuse(String("sprite frame ") + i + " runs past the end of the file");
        }
        SpriteModel::spriteframe frame;
        std::memcpy(&frame, bytes + start, sizeof frame);
        if (frame.width < 1 || frame.height < 1) {
            refuse(String("sprite frame ") + i + " has no size");
        }
        const int64_t pixels = int64_t(frame.width) * int64_t(frame.height);
        if (start + FRAME_HEAD_BYTES + pixels > length) {
            refuse(String("sprite frame ") + i + " runs past the end of the file");
        }
        model->getTextures().add(createTexture(model, &frame, bytes + start + FRAME_HEAD_BYTES, model->getPalette()));
        // Past the indices and the next frame's type.
        start += FRAME_HEAD_BYTES + pixels + FRAME_TYPE_BYTES;
    }
}

IntrusivePointer<render::Texture> SpriteStreamer::createTexture(SpriteModel* model,
                                                                const SpriteModel::spriteframe* frame,
                                                                const unsigned char* indices,
                                                                const unsigned char* palette)
{
    const bool transparent = model->getHeader().texFormat == 2;
    const int pixelBytes = transparent ? 4 : 3;
    IntrusivePointer<TextureFormat> format =
        new TextureFormat(TextureFormat::Dimension_2D,
                          transparent ? TextureFormat::Format_RGBA_8 : TextureFormat::Format_RGB_8, frame->width,
                          frame->height, 1, 0);
    if (format->getDataSize() <= 0) {
        refuse("sprite frame too large");
    }
    std::unique_ptr<unsigned char[]> pixels(new unsigned char[size_t(format->getDataSize())]);
    const size_t width = size_t(frame->width);
    for (int row = 0; row < frame->height; ++row) {
        // Texture rows run bottom first; the file's top first.
        const unsigned char* in = indices + size_t(frame->height - 1 - row) * width;
        unsigned char* out = pixels.get() + size_t(row) * size_t(format->xPitch);
        for (size_t x = 0; x < width; ++x) {
            const unsigned char index = in[x];
            const unsigned char* colour = palette + 3 * size_t(index);
            out[0] = colour[0];
            out[1] = colour[1];
            out[2] = colour[2];
            if (transparent) {
                out[3] = index == 255 ? 0 : 255;
            }
            out += pixelBytes;
        }
    }
    return engine_->getTextureManager()->createTexture(format, pixels.get());
}

void SpriteStreamer::buildMaterials(SpriteModel* model)
{
    IntrusivePointer<render::RenderState> state = engine_->getMaterialManager()->createRenderState();
    if (state) {
        state->setMaterialState(MaterialSteps::defaultMaterialState());

        render::GeometryState geometry;
        geometry.sprite = false;
        geometry.size = 1;
        geometry.attenuated = false;
        geometry.constant = 0;
        geometry.linear = 0;
        geometry.quadratic = 0;
        geometry.minSize = 1;
        geometry.maxSize = 1;
        geometry.matrixFlags = render::GeometryState::MatrixFlag_FACE_CAMERA;
        geometry.alignmentAxis = core::math::Vector3(0, 0, 0);
        state->setGeometryState(geometry);
    }
    auto& materials = model->getMaterials();
    materials.clear();
    for (int i = 0; i < model->getTextures().size(); ++i) {
        materials.add(engine_->createDiffuseMaterial(model->getTextures()[i].get(), state.get()));
    }
}

} // namespace rezezaz::scene::studio
