#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/Buffer.h"
#include "render/VertexBufferAccessor.h"
#include "render/VertexFormat.h"

#include <cstdint>

namespace rezezaz::scene {

// The key frames of one animated value: the key times and, per key, one record laid out by a vertex
// format (translate, rotate and scale for a bone, four components for a colour). The track is a buffer
// of its own records, and keeps an accessor locked on itself so that readers get the record stride,
// the element offsets and the float or 16.16 fixed-point view of the data. Owned by the sequence (or
// whoever made it); it owns its format.
class Track : public render::BaseRenderResource<render::Buffer>
{
public:
    explicit Track(render::VertexFormat* format);
    ~Track() override;

    // A track holds nothing to let go of, and tells nobody.
    void destroy() override {}

    // Appends a key and returns its index. A null record leaves the new bytes for the caller to fill
    // through the accessor. The length follows the largest time added.
    int addKeyFrame(float time, const void* record);
    // Copies the key's record; false for an index outside the keys.
    bool getKeyFrame(void* record, int index) const;
    // The keys around time and the fraction of the way from key1 to key2. The search starts at hint,
    // which is left at key1 for the next call. With no keys key1 and key2 are left as they are.
    float getKeyFramesAtTime(float time, int& key1, int& key2, int& hint) const;
    // Length = the largest key time, never below 0.
    void compile();

    int getUsage() const override { return Usage_DYNAMIC; }
    int getAccess() const override { return Access_READ_WRITE; }
    int getDataSize() const override { return data.size(); }
    int getSize() const override { return times.size(); }
    // The records, whatever the access; null while there are none.
    unsigned char* lock(int access) override;
    bool unlock() override { return true; }
    bool update(unsigned char*, int, int) override { return false; }

    render::VertexFormat* getFormat() const { return format.get(); }
    int getNumKeyFrames() const { return times.size(); }
    float getTime(int key) const { return times[key]; }
    float getLength() const { return length; }
    const render::VertexBufferAccessor& getAccessor() const { return accessor; }

    core::IntrusivePointer<render::VertexFormat> format;
    // The bone index the track animates, as files store it; playback goes by the track's position.
    int32_t index = 0;
    core::Collection<unsigned char> data;
    core::Collection<float> times;
    float length = 0.0f;
    render::VertexBufferAccessor accessor;
};

} // namespace rezezaz::scene
