#pragma once

#include "core/BaseResource.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "scene/Track.h"

namespace rezezaz::scene {

// A named animation of a skeleton: one track per bone (the track at position p plays on bone p) and
// the length of the longest. Owned by its skeleton; owns its tracks.
class Sequence : public core::BaseResource
{
public:
    Sequence() = default;

    // Tells the destroyed-listener; the tracks stay until the sequence goes.
    void destroy() override { core::BaseResource::destroy(); }

    // Appends the track (null is kept as a bone without animation); the length grows to the track's.
    void addTrack(Track* track);
    // Erases the track at index, moving the later ones down; an index outside the list does nothing.
    // The length stays until compile.
    void removeTrack(int index);
    // Compiles every track; the length becomes the longest track's.
    void compile();

    int getNumTracks() const { return tracks.size(); }
    Track* getTrack(int index) const { return index >= 0 && index < tracks.size() ? tracks[index].get() : nullptr; }
    float getLength() const { return length; }

    core::Collection<core::IntrusivePointer<Track>> tracks;
    float length = 0.0f;
};

} // namespace rezezaz::scene
