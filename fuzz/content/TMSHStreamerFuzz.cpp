// Feeds arbitrary bytes to the mesh reader as a file. Refusals raise and are expected; a mesh it
// accepts draws only its own vertices, and what the writer makes of it reads back.
#include "content/EngineHandlers.h"
#include "content/TMSHStreamer.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/io/MemoryStream.h"
#include "render/IndexData.h"
#include "render/VertexData.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::scene::Mesh;

IntrusivePointer<Mesh> read(rezezaz::scene::TMSHStreamer* streamer, const unsigned char* data, int size)
{
    unsigned char* copy = new unsigned char[size + 1];
    if (size > 0) {
        std::memcpy(copy, data, size_t(size));
    }
    IntrusivePointer<rezezaz::core::io::MemoryStream> file(new rezezaz::core::io::MemoryStream(copy, size, size, true));
    return IntrusivePointer<Mesh>(dynamic_cast<Mesh*>(streamer->load(file.get(), nullptr, nullptr).get()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
        return true;
    }();
    (void)quiet;
    if (size > (1u << 20)) {
        return 0;
    }
    IntrusivePointer<rezezaz::scene::Engine> engine(new rezezaz::scene::Engine(nullptr, nullptr));
    engine->setHasBackableFixed(true);
    installHandlers(*engine);
    {
        IntrusivePointer<rezezaz::scene::TMSHStreamer> streamer(new rezezaz::scene::TMSHStreamer(engine.get()));
        IntrusivePointer<Mesh> mesh;
        try {
            mesh = read(streamer.get(), data, int(size));
        } catch (const rezezaz::core::Exception&) {
        }
        IntrusivePointer<rezezaz::core::io::MemoryStream> out(new rezezaz::core::io::MemoryStream());
        if (mesh && streamer->save(out.get(), mesh.get(), nullptr, nullptr)) {
            // The writer's file is one the reader takes, with the same submeshes.
            IntrusivePointer<Mesh> again = read(streamer.get(), out->getOriginalDataPointer(), out->length());
            if (!again || again->getNumSubMeshes() != mesh->getNumSubMeshes()) {
                __builtin_trap();
            }
        }
    }
    engine->destroy();
    return 0;
}
