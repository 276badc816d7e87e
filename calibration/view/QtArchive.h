#pragma once

#include "core/BaseResource.h"
#include "core/Collection.h"
#include "core/String.h"
#include "core/io/Archive.h"

// The engine's view of the toolkit's files: a name opens as a QtFileStream, so that names beginning
// with a colon (":tmsh/crank.tmsh") reach the program's compiled-in resources through the engine's
// archive manager. It serves streams only and lists no entries. The calibration view's engine is made
// with one (CalibrationScene::createEngine); the engine's archive manager keeps it.
class QtArchive : public rezezaz::core::BaseResource, public rezezaz::core::io::Archive
{
public:
    QtArchive();
    ~QtArchive() override;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    // Holds nothing to let go of; tells the destroyed listener as every resource does.
    void destroy() override { BaseResource::destroy(); }
    void setDestroyedListener(rezezaz::core::ResourceDestroyedListener* listener) override
    {
        BaseResource::setDestroyedListener(listener);
    }
    void setName(const rezezaz::core::String& name) override { BaseResource::setName(name); }
    const rezezaz::core::String& getName() const override { return BaseResource::getName(); }
    void internal_setUniqueHandle(int handle) override { BaseResource::internal_setUniqueHandle(handle); }
    int getUniqueHandle() const override { return BaseResource::getUniqueHandle(); }

    // The file of that name (its 8-bit characters), or null when it can't be opened.
    rezezaz::core::IntrusivePointer<rezezaz::core::io::Stream> openStream(const rezezaz::core::String& name) override;
    // Always null.
    rezezaz::core::IntrusivePointer<rezezaz::core::Resource> openResource(const rezezaz::core::String& name) override;
    // Always empty.
    rezezaz::core::Collection<rezezaz::core::String> getEntries() override;

private:
    rezezaz::core::Collection<rezezaz::core::String> entries;
};
