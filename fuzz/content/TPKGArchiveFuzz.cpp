// Opens arbitrary bytes as a package, once over the memory stream (views) and once as a plain
// stream (copies): both must accept or refuse alike and serve the same bytes for every entry.
#include "ContentFuzz.h"
#include "content/TPKGArchive.h"
#include "core/Exception.h"

#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::scene::TPKGArchive;

namespace {

std::string readAll(rezezaz::core::io::Stream* stream)
{
    std::string bytes;
    unsigned char buffer[256];
    for (int got = stream->read(buffer, sizeof buffer); got > 0; got = stream->read(buffer, sizeof buffer)) {
        bytes.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(got));
    }
    return bytes;
}

// Every entry's bytes, or one empty list when the package is refused.
std::vector<std::string> serve(TPKGArchive& archive, bool opened)
{
    std::vector<std::string> files;
    if (!opened) {
        return files;
    }
    for (const rezezaz::core::String& name : archive.getEntries()) {
        files.push_back(readAll(archive.openStream(name).get()));
    }
    return files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzing::engine();
    IntrusivePointer<TPKGArchive> views = new TPKGArchive();
    IntrusivePointer<TPKGArchive> copies = new TPKGArchive();
    bool viewsOpened = false;
    bool copiesOpened = false;
    try {
        viewsOpened = views->open(fuzzing::memoryStream(data, size));
    } catch (const rezezaz::core::Exception&) {
    }
    try {
        copiesOpened = copies->open(static_cast<rezezaz::core::io::Stream*>(fuzzing::memoryStream(data, size)));
    } catch (const rezezaz::core::Exception&) {
    }
    if (viewsOpened != copiesOpened || serve(*views, viewsOpened) != serve(*copies, copiesOpened)) {
        __builtin_trap();
    }
    return 0;
}
