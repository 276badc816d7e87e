// What the archive and model readers' fuzz targets share: a quiet logger, the input as a memory
// stream that owns a copy, and one engine with device-independent resources for the whole run.
#pragma once

#include "content/EngineHandlers.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/io/MemoryStream.h"
#include "scene/Engine.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzzing {

inline rezezaz::core::io::MemoryStream* memoryStream(const uint8_t* data, size_t size)
{
    auto* copy = new unsigned char[size + 1];
    if (size > 0) {
        std::memcpy(copy, data, size);
    }
    return new rezezaz::core::io::MemoryStream(copy, static_cast<int>(size), static_cast<int>(size), true);
}

// Made on first use and kept for the run; the log says nothing.
inline rezezaz::scene::Engine* engine()
{
    static rezezaz::core::IntrusivePointer<rezezaz::scene::Engine> theEngine = [] {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
        rezezaz::core::IntrusivePointer<rezezaz::scene::Engine> made = new rezezaz::scene::Engine(nullptr, nullptr);
        made->setHasBackableFixed(true);
        installHandlers(*made);
        return made;
    }();
    return theEngine.get();
}

} // namespace fuzzing
