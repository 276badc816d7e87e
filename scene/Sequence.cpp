#include "scene/Sequence.h"

namespace rezezaz::scene {

void Sequence::addTrack(Track* track)
{
    tracks.add(track);
    if (track != nullptr && track->length > length) {
        length = track->length;
    }
}

void Sequence::removeTrack(int index)
{
    if (index < 0 || index >= tracks.size()) {
        return;
    }
    tracks.erase(tracks.begin() + index);
}

void Sequence::compile()
{
    length = 0.0f;
    for (int i = 0; i < tracks.size(); ++i) {
        Track* track = tracks[i].get();
        if (track == nullptr) {
            continue;
        }
        track->compile();
        if (track->length > length) {
            length = track->length;
        }
    }
}

} // namespace rezezaz::scene
