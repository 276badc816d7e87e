// The engine's handlers are installed by a call of the program's own rather than by a hook this
// library sets at start-up, because a registration made by a static object of an archive is dropped
// when nothing else of its object file is linked, and the engine would then be left without them.
#include "content/EngineHandlers.h"

#include "content/BMPStreamer.h"
#include "content/DDSStreamer.h"
#include "content/EngineCreators.h"
#include "content/OSXFontStreamer.h"
#include "content/OSXTextureStreamer.h"
#include "content/SPRStreamer.h"
#include "content/TGAStreamer.h"
#include "content/TMSHStreamer.h"
#include "content/TPKGStreamer.h"
#include "content/WADStreamer.h"
#include "content/studio/SpriteStreamer.h"
#include "content/studio/StudioStreamer.h"
#include "core/Categories.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "scene/ArchiveManager.h"
#include "scene/AudioManager.h"
#include "scene/Engine.h"
#include "scene/FontManager.h"
#include "scene/ResourceManager.h"
#include "scene/ResourceStreamer.h"
#include "scene/TextureManager.h"
#include "scene/WaveStreamer.h"

#include <vector>

namespace rezezaz::scene {

using core::IntrusivePointer;

void installHandlers(Engine& engine)
{
    core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_SCENE, core::Logger::DEBUG,
                                          "Engine: installing handlers");

    // One row per handler, in the order registered; an empty extension makes the default streamer.
    struct Handler
    {
        ResourceManager* manager;
        const char* extension;
        IntrusivePointer<ResourceStreamer> streamer;
    };
    TextureManager* textures = engine.getTextureManager();
    AudioManager* audio = engine.getAudioManager();
    const std::vector<Handler> handlers = {
        {engine.getArchiveManager(), "tpkg", new TPKGStreamer()},
        {engine.getArchiveManager(), "wad", new WADStreamer(textures)},
        {textures, "dds", new DDSStreamer(textures)},
        {textures, "bmp", new BMPStreamer(textures)},
        {textures, "", new OSXTextureStreamer(textures)},
        {textures, "tga", new TGAStreamer(textures)},
        {textures, "spr", new SPRStreamer(&engine)},
        {engine.getFontManager(), "", new OSXFontStreamer(textures)},
        {audio, "wav", new WaveStreamer(audio)},
        {engine.getMeshManager(), "tmsh", new TMSHStreamer(&engine)},
        {engine.getSpriteModelManager(), "spr", new studio::SpriteStreamer(&engine)},
        {engine.getStudioModelManager(), "mdl", new studio::StudioStreamer(&engine)},
    };
    for (const Handler& handler : handlers) {
        if (*handler.extension == '\0') {
            handler.manager->setDefaultStreamer(handler.streamer.get());
        } else {
            handler.manager->setStreamer(handler.streamer.get(), handler.extension);
        }
    }
    engine.setBuiltInCreators(new EngineCreators(&engine));
}

} // namespace rezezaz::scene
