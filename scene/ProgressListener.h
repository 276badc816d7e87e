#pragma once

namespace rezezaz::scene {

// Told how far a streamer has come with a load or save. Owned by whoever asked for the work; the
// resource managers pass none.
class ProgressListener
{
public:
    virtual ~ProgressListener() = default;

    // fraction runs from 0 to 1.
    virtual void progressUpdated(float fraction) = 0;
};

} // namespace rezezaz::scene
