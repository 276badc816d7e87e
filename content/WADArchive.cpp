#include "content/WADArchive.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "render/TextureFormat.h"
#include "scene/TextureManager.h"

#include <cstring>
#include <memory>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::String;
using render::Texture;
using render::TextureFormat;

namespace {

constexpr int LEVELS = 4;
constexpr int64_t PALETTE_BYTES = 256 * 3;

// A stored name of at most 16 characters, with or without a NUL.
String storedName(const char (&name)[16])
{
    int length = 0;
    while (length < 16 && name[length] != '\0') {
        ++length;
    }
    return String(name, length);
}

IntrusivePointer<Texture> refuse(const String& name, const char* what)
{
    core::Error::errorLog(core::Categories::REZEZAZ_SCENE, "wad texture " + name + ": " + what);
    return nullptr;
}

} // namespace

WADArchive::WADArchive(TextureManager* textureManager) : textureManager_(textureManager) {}

WADArchive::~WADArchive() = default;

void WADArchive::destroy()
{
    if (dataStream_) {
        dataStream_->close();
        dataStream_ = nullptr;
    }
    BaseResource::destroy();
}

bool WADArchive::open(core::io::Stream* stream)
{
    IntrusivePointer<core::io::Stream> held = stream;
    // A second open closes the stream of the first; the names of the first would name lumps of
    // the wrong file, so they go too.
    destroy();
    directory_.clear();
    nameMap_.clear();
    entries_.clear();
    dataStream_ = new core::io::DataStream(stream);
    core::io::DataStream& in = *dataStream_;

    std::memset(&header_, 0, sizeof header_);
    in.read(reinterpret_cast<unsigned char*>(header_.identification), 4);
    header_.numlumps = in.readLInt32();
    header_.infotableofs = in.readLInt32();
    if (std::memcmp(header_.identification, "WAD2", 4) != 0 && std::memcmp(header_.identification, "WAD3", 4) != 0) {
        core::Error::unknown("", true, "invalid wad file");
    }
    if (header_.numlumps <= 0) {
        return true;
    }
    const int64_t directoryBytes = int64_t(header_.numlumps) * int64_t(sizeof(lumpinfo));
    if (header_.infotableofs < 0 || int64_t(header_.infotableofs) + directoryBytes > in.length()) {
        core::Error::unknown("", true, "wad directory outside the file");
    }
    directory_.resize(size_t(header_.numlumps));
    in.seek(header_.infotableofs);
    if (in.read(reinterpret_cast<unsigned char*>(directory_.data()), int(directoryBytes)) != int(directoryBytes)) {
        directory_.clear();
        core::Error::unknown("", true, "wad directory could not be read");
    }
    for (int32_t i = 0; i < header_.numlumps; ++i) {
        const String name = storedName(directory_[size_t(i)].name);
        nameMap_.add(name.toLower(), i);
        entries_.add(name);
    }
    return true;
}

IntrusivePointer<core::io::Stream> WADArchive::openStream(const String&)
{
    return nullptr;
}

IntrusivePointer<core::Resource> WADArchive::openResource(const String& name)
{
    auto found = nameMap_.lookup(name.toLower());
    if (found == nameMap_.end() || !dataStream_) {
        return nullptr;
    }
    const lumpinfo& lump = directory_[size_t(found->value)];
    const String lumpName = storedName(lump.name);
    if (lump.size < int32_t(sizeof(wmiptex)) || lump.size > WORK_BUFFER_SIZE) {
        return refuse(lumpName, "lump size outside the work buffer");
    }
    if (lump.filepos < 0 || int64_t(lump.filepos) + lump.size > dataStream_->length() ||
        !dataStream_->seek(lump.filepos) || dataStream_->read(workBuffer_, lump.size) != lump.size) {
        return refuse(lumpName, "lump lies outside the file");
    }
    return createTexture(textureManager_, reinterpret_cast<const wmiptex*>(workBuffer_), lump.size, nullptr);
}

core::Collection<String> WADArchive::getEntries()
{
    return entries_;
}

IntrusivePointer<Texture> WADArchive::createTexture(TextureManager* textureManager, const wmiptex* texture,
                                                    int lumpSize, const unsigned char* palette)
{
    if (lumpSize < int(sizeof(wmiptex))) {
        return refuse(String(), "lump smaller than its head");
    }
    const String name = storedName(texture->name);
    // Unsigned: two 32-bit sides can pass 63 bits, never 64.
    const uint64_t pixels0 = uint64_t(texture->width) * uint64_t(texture->height);
    if (pixels0 < 1 || texture->offsets[0] == 0) {
        return nullptr;
    }
    const auto* lump = reinterpret_cast<const unsigned char*>(texture);
    // Level 0 first: once it lies inside the lump, both sides are small enough for the formats.
    if (uint64_t(texture->offsets[0]) + pixels0 > uint64_t(lumpSize)) {
        return refuse(name, "level 0 outside the lump");
    }
    const int64_t n = int64_t(pixels0);
    if (palette == nullptr) {
        const int64_t at = int64_t(texture->offsets[0]) + n + n / 4 + n / 16 + n / 64 + 2;
        if (at + PALETTE_BYTES > lumpSize) {
            return refuse(name, "palette outside the lump");
        }
        palette = lump + at;
    }

    const bool transparent = texture->name[0] == '{';
    const int pixelBytes = transparent ? 4 : 3;
    IntrusivePointer<TextureFormat> format =
        new TextureFormat(TextureFormat::Dimension_2D,
                          transparent ? TextureFormat::Format_RGBA_8 : TextureFormat::Format_RGB_8,
                          int(texture->width), int(texture->height), 1, LEVELS);

    std::unique_ptr<unsigned char[]> levels[LEVELS];
    unsigned char* levelData[LEVELS] = {};
    for (int i = 0; i < LEVELS; ++i) {
        const TextureFormat level(format.get(), i);
        const int64_t pixels = int64_t(level.getWidth()) * level.getHeight();
        if (int64_t(texture->offsets[i]) + pixels > lumpSize) {
            return refuse(name, "mip level outside the lump");
        }
        levels[i].reset(new unsigned char[size_t(level.getDataSize())]);
        levelData[i] = levels[i].get();
        const unsigned char* indices = lump + texture->offsets[i];
        unsigned char* out = levelData[i];
        for (int64_t p = 0; p < pixels; ++p) {
            const unsigned char* colour = palette + 3 * indices[p];
            out[0] = colour[0];
            out[1] = colour[1];
            out[2] = colour[2];
            if (transparent) {
                if (colour[0] == 0 && colour[1] == 0 && colour[2] == 255) {
                    out[2] = 0;
                    out[3] = 0;
                } else {
                    out[3] = 255;
                }
            }
            out += pixelBytes;
        }
    }

    IntrusivePointer<Texture> result = textureManager->createTexture(format, levelData);
    if (result) {
        textureManager->manage(result.get(), name);
    }
    return result;
}

} // namespace rezezaz::scene
