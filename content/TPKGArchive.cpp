#include "content/TPKGArchive.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Logger.h"

#include <cstring>
#include <vector>

namespace rezezaz::scene {

using core::Categories;
using core::IntrusivePointer;
using core::String;

namespace {

// A stored file served from the package's memory stream without a copy. It holds that stream, so
// the bytes it reads stay alive as long as the view does.
class PackageView : public core::io::MemoryStream
{
public:
    PackageView(core::io::MemoryStream* package, unsigned char* data, int length)
        : MemoryStream(data, length, length, false), package_(package)
    {}

private:
    IntrusivePointer<core::io::MemoryStream> package_;
};

[[noreturn]] void fail(const char* text)
{
    core::Error::unknown(Categories::REZEZAZ_SCENE, true, text);
}

} // namespace

TPKGArchive::TPKGArchive() = default;

TPKGArchive::~TPKGArchive() = default;

void TPKGArchive::destroy()
{
    if (dataStream_) {
        dataStream_->close();
        dataStream_ = nullptr;
    }
    memoryStream_ = nullptr;
    BaseResource::destroy();
}

bool TPKGArchive::open(core::io::Stream* stream)
{
    IntrusivePointer<core::io::Stream> held = stream;
    memoryStream_ = nullptr;
    return read(stream);
}

bool TPKGArchive::open(core::io::MemoryStream* stream)
{
    IntrusivePointer<core::io::MemoryStream> held = stream;
    memoryStream_ = stream;
    return read(stream);
}

bool TPKGArchive::read(core::io::Stream* stream)
{
    // Entries of a package opened before would point into the wrong bytes.
    nameMap_.clear();
    entries_.clear();
    dataStream_ = new core::io::DataStream(stream);
    dataOffset_ = 0;
    core::io::DataStream& in = *dataStream_;
    // Every claim of the directory is measured against this, in 64 bits so that no sum wraps.
    const int64_t streamLength = in.length();

    unsigned char magic[4] = {0, 0, 0, 0};
    const int got = in.read(magic, 4);
    dataOffset_ += got > 0 ? got : 0;
    if (std::memcmp(magic, "TPKG", 4) != 0) {
        fail("Not of TPKG format");
    }
    const uint32_t version = in.readBUInt32();
    dataOffset_ += 4;
    if (version != 1) {
        fail("Not TPKG version 1");
    }
    const int32_t count = in.readBInt32();
    dataOffset_ += 4;
    if (count <= 0) {
        return true;
    }
    // Each entry takes at least its three integers.
    if (dataOffset_ + int64_t(count) * 12 > streamLength) {
        fail("TPKG entry count runs past the end of the package");
    }

    struct Entry
    {
        String name;
        uint32_t offset;
        uint32_t length;
    };
    std::vector<Entry> directory;
    directory.reserve(static_cast<size_t>(count));
    std::vector<char> buffer;
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t nameLength = in.readBUInt32();
        dataOffset_ += 4;
        if (dataOffset_ + int64_t(nameLength) + 8 > streamLength) {
            fail("TPKG entry name runs past the end of the package");
        }
        buffer.assign(size_t(nameLength) + 1, '\0');
        const int nameGot = nameLength > 0 ? in.read(reinterpret_cast<unsigned char*>(buffer.data()), int(nameLength)) : 0;
        dataOffset_ += nameGot > 0 ? nameGot : 0;
        Entry entry;
        entry.offset = in.readBUInt32();
        entry.length = in.readBUInt32();
        dataOffset_ += 8;
        entry.name = String(buffer.data(), int(std::strlen(buffer.data())));
        directory.push_back(entry);
    }
    for (const Entry& entry : directory) {
        if (dataOffset_ + int64_t(entry.offset) + int64_t(entry.length) > streamLength) {
            fail("TPKG entry data runs past the end of the package");
        }
    }
    for (const Entry& entry : directory) {
        entries_.add(entry.name);
        Index index;
        index.offset = int32_t(entry.offset);
        index.length = int32_t(entry.length);
        nameMap_.add(entry.name, index);
    }
    return true;
}

IntrusivePointer<core::io::Stream> TPKGArchive::openStream(const String& name)
{
    core::Log::getInstance()->addLogEntry(Categories::REZEZAZ_SCENE, core::Logger::DEBUG,
                                          "creating InputStream for " + name);
    if (!dataStream_) {
        fail("TPKG not opened");
    }
    auto found = nameMap_.lookup(name);
    if (found == nameMap_.end()) {
        fail("File not found in data file");
    }
    const Index index = found->value;
    // The directory was checked against the package at open; both sums fit its 32-bit length.
    const int start = dataOffset_ + index.offset;
    dataStream_->seek(start);
    if (memoryStream_) {
        unsigned char* data = memoryStream_->getOriginalDataPointer();
        if (memoryStream_->length() < start + index.length || (data == nullptr && index.length > 0)) {
            fail("TPKG entry data runs past the end of the package");
        }
        return IntrusivePointer<core::io::Stream>(
            new PackageView(memoryStream_.get(), data == nullptr ? nullptr : data + start, index.length));
    }
    auto* bytes = new unsigned char[size_t(index.length) + 1];
    const int got = index.length > 0 ? dataStream_->read(bytes, index.length) : 0;
    if (got != index.length) {
        delete[] bytes;
        fail("TPKG entry could not be read whole");
    }
    return IntrusivePointer<core::io::Stream>(new core::io::MemoryStream(bytes, index.length, index.length, true));
}

IntrusivePointer<core::Resource> TPKGArchive::openResource(const String&)
{
    return nullptr;
}

core::Collection<String> TPKGArchive::getEntries()
{
    return entries_;
}

} // namespace rezezaz::scene
