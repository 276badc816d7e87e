#pragma once

#include "core/BaseResource.h"
#include "core/io/Archive.h"
#include "core/io/MemoryStream.h"
#include "support/CallLog.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace support {

// An archive in memory: files by name, each opened as a fresh memory stream, and resources by name.
// It counts what it is asked for, so tests can see whether it was asked at all; with a call log its
// destroy() goes there as "label.destroy()".
class MemoryArchive : public rezezaz::core::BaseResource, public rezezaz::core::io::Archive
{
public:
    template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;
    using String = rezezaz::core::String;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    void destroy() override
    {
        if (calls) {
            calls->add(label + ".destroy()");
        }
        BaseResource::destroy();
    }
    void setDestroyedListener(rezezaz::core::ResourceDestroyedListener* listener) override
    {
        BaseResource::setDestroyedListener(listener);
    }
    void setName(const String& name) override { BaseResource::setName(name); }
    const String& getName() const override { return BaseResource::getName(); }
    void internal_setUniqueHandle(int handle) override { BaseResource::internal_setUniqueHandle(handle); }
    int getUniqueHandle() const override { return BaseResource::getUniqueHandle(); }

    Pointer<rezezaz::core::io::Stream> openStream(const String& name) override
    {
        streamsAsked.emplace_back(name.c_str());
        auto found = files.find(name.c_str());
        if (found == files.end()) {
            return nullptr;
        }
        const std::string& bytes = found->second;
        auto* copy = new unsigned char[bytes.size() + 1];
        std::copy(bytes.begin(), bytes.end(), copy);
        return Pointer<rezezaz::core::io::Stream>(new rezezaz::core::io::MemoryStream(
            copy, static_cast<int>(bytes.size()), static_cast<int>(bytes.size()), true));
    }

    Pointer<rezezaz::core::Resource> openResource(const String& name) override
    {
        resourcesAsked.emplace_back(name.c_str());
        auto found = resources.find(name.c_str());
        return found == resources.end() ? nullptr : found->second;
    }

    rezezaz::core::Collection<String> getEntries() override
    {
        rezezaz::core::Collection<String> entries;
        for (const auto& file : files) {
            entries.add(String(file.first.c_str()));
        }
        return entries;
    }

    std::map<std::string, std::string> files;
    std::map<std::string, Pointer<rezezaz::core::Resource>> resources;
    std::vector<std::string> streamsAsked;
    std::vector<std::string> resourcesAsked;
    SharedCallLog calls;
    std::string label = "archive";
};

} // namespace support
