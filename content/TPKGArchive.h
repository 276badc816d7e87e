#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Map.h"
#include "core/String.h"
#include "core/io/BaseArchive.h"
#include "core/io/DataStream.h"
#include "core/io/MemoryStream.h"

#include <cstdint>

namespace rezezaz::scene {

// A TPKG package: one read-only file of named files, each served as a stream of its own. Every
// directory entry is checked against the package's length when it is opened, so nothing it serves
// reaches past the package. A package opened from a memory stream serves views into that stream's
// bytes; each view holds the memory stream, so it may outlive the archive. Made by TPKGStreamer for
// the archive manager, which owns it.
class TPKGArchive : public core::io::BaseArchive
{
public:
    // Where a stored file lies: from the end of the directory, and how many bytes.
    struct Index
    {
        int32_t offset = 0;
        int32_t length = 0;
    };

    TPKGArchive();
    ~TPKGArchive() override;

    // Closes and lets go of the package stream; the archive then answers "TPKG not opened".
    void destroy() override;

    // Reads header and directory; true on success, the engine's error otherwise. The archive holds
    // the stream for later reads; a stream opened before is let go.
    bool open(core::io::Stream* stream);
    // As above; the stored files are then served from the memory stream's bytes without a copy.
    bool open(core::io::MemoryStream* stream);

    // A stream over one stored file; the engine's error for an unknown name or an archive not open.
    core::IntrusivePointer<core::io::Stream> openStream(const core::String& name) override;
    // Always null: a package holds no ready-made resources.
    core::IntrusivePointer<core::Resource> openResource(const core::String& name) override;
    // The names in directory order, duplicates kept.
    core::Collection<core::String> getEntries() override;

    int32_t getDataOffset() const { return dataOffset_; }

private:
    bool read(core::io::Stream* stream);

    core::Map<core::String, Index> nameMap_;
    int32_t dataOffset_ = 0;
    core::IntrusivePointer<core::io::DataStream> dataStream_;
    core::IntrusivePointer<core::io::MemoryStream> memoryStream_;
    core::Collection<core::String> entries_;
};

} // namespace rezezaz::scene
