#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Map.h"
#include "core/String.h"
#include "core/io/BaseArchive.h"
#include "core/io/DataStream.h"
#include "render/Texture.h"

#include <cstdint>
#include <vector>

namespace rezezaz::scene {

class TextureManager;

// A WAD2 or WAD3 texture archive: each palettised mip texture in it is served, by lump name in any
// letter case, as an engine texture of the texture manager it was made with. The directory is checked
// against the stream when it is opened and every lump against the work buffer and itself when it is
// served, so a damaged file gives no texture rather than a read outside the buffers. Made by
// WADStreamer for the archive manager, which owns it.
class WADArchive : public core::io::BaseArchive
{
public:
    // Bytes of the buffer a lump is read into; a larger lump is not served.
    static constexpr int WORK_BUFFER_SIZE = 408000;

    struct wadinfo
    {
        char identification[4];
        int32_t numlumps;
        int32_t infotableofs;
    };

    // One directory entry, 32 bytes as stored.
    struct lumpinfo
    {
        int32_t filepos;
        int32_t disksize;
        int32_t size;
        char type;
        char compression;
        char pad1;
        char pad2;
        char name[16];
    };

    // The head of a mip texture lump, 40 bytes as stored; the levels and the palette follow it.
    struct wmiptex
    {
        char name[16];
        uint32_t width;
        uint32_t height;
        uint32_t offsets[4];
    };

    explicit WADArchive(TextureManager* textureManager);
    ~WADArchive() override;

    // Closes and lets go of the WAD stream; the directory and the names stay.
    void destroy() override;

    // Reads header and directory, closing a stream opened before; true once the directory is read,
    // the engine's error for a file that is not a WAD or whose directory lies outside it.
    bool open(core::io::Stream* stream);

    // Always null: the archive serves only textures.
    core::IntrusivePointer<core::io::Stream> openStream(const core::String& name) override;
    // The texture of the lump of that name in any letter case; null for an unknown name, or, with an
    // error logged, for a lump that cannot be read or converted.
    core::IntrusivePointer<core::Resource> openResource(const core::String& name) override;
    // The lump names as stored, in directory order.
    core::Collection<core::String> getEntries() override;

    // Converts the mip texture at the start of a lump of lumpSize bytes into a texture of four levels,
    // managed under the texture's name. A null palette means the one stored behind the levels. Null
    // for a texture of no size or without pixels; null with an error logged when a level or the
    // palette lies outside the lump.
    static core::IntrusivePointer<render::Texture> createTexture(TextureManager* textureManager, const wmiptex* texture,
                                                                 int lumpSize, const unsigned char* palette);

private:
    alignas(16) unsigned char workBuffer_[WORK_BUFFER_SIZE];
    TextureManager* textureManager_;
    core::IntrusivePointer<core::io::DataStream> dataStream_;
    wadinfo header_ = {{0, 0, 0, 0}, 0, 0};
    std::vector<lumpinfo> directory_;
    core::Map<core::String, int32_t> nameMap_;
    core::Collection<core::String> entries_;
};

static_assert(sizeof(WADArchive::lumpinfo) == 32, "a directory entry is read as stored");
static_assert(sizeof(WADArchive::wmiptex) == 40, "a mip texture head is read as stored");

} // namespace rezezaz::scene
