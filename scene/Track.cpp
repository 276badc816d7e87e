#include "scene/Track.h"

#include <algorithm>
#include <cstring>

namespace rezezaz::scene {

Track::Track(render::VertexFormat* format) : format(format) {}

Track::~Track()
{
    // Unlocked while the track is still whole: the accessor calls back into it.
    accessor.unlock();
}

unsigned char* Track::lock(int)
{
    return data.capacity() > 0 ? &data[0] : nullptr;
}

int Track::addKeyFrame(float time, const void* record)
{
    const int key = times.size();
    const int recordSize = format ? format->getVertexSize() : 0;
    times.add(time);
    const int oldSize = data.size();
    const int newSize = oldSize + recordSize;
    if (newSize > data.capacity()) {
        // Grow as the collection itself would, not by one record at a time.
        data.reserve(std::max(newSize, data.capacity() * 2 + 2));
    }
    data.resize(newSize);
    if (record != nullptr && recordSize > 0) {
        std::memcpy(&data[oldSize], record, static_cast<size_t>(recordSize));
    }
    accessor.unlock();
    accessor.lock(this, format.get(), Access_READ_WRITE);
    if (time > length) {
        length = time;
    }
    return key;
}

bool Track::getKeyFrame(void* record, int key) const
{
    if (key < 0 || key >= times.size()) {
        return false;
    }
    const int recordSize = format ? format->getVertexSize() : 0;
    if (recordSize > 0) {
        std::memcpy(record, &data[key * recordSize], static_cast<size_t>(recordSize));
    }
    return true;
}

float Track::getKeyFramesAtTime(float time, int& key1, int& key2, int& hint) const
{
    const int n = times.size();
    if (n == 0) {
        return 0.0f;
    }
    if (n == 1) {
        key1 = 0;
        key2 = 0;
        return 0.0f;
    }
    int h = hint;
    if (h < 0 || h >= n) {
        hint = h = 0;
    }
    if (times[h] >= time) {
        // Backward, from the hint down to key 1.
        while (h > 1 && times[h] > time) {
            --h;
        }
        key1 = times[h] > time ? 0 : h;
    } else {
        // Forward, from the hint up to the last key.
        while (h < n - 1 && time > times[h]) {
            ++h;
        }
        key1 = time > times[h] ? n - 1 : h - 1;
        // A time that compares with nothing (NaN) stops the search where it began.
        key1 = std::max(key1, 0);
    }
    hint = key1;
    key2 = key1 + 1 == n ? n - 1 : key1 + 1;
    const float a = times[key1];
    const float b = times[key2];
    if (b > a) {
        return (time - a) / (b - a);
    }
    if (a > b) {
        // Keys out of order: measured against the length, which is 0 when the later key is the
        // largest time.
        const float span = length - a;
        return span != 0.0f ? (time - a) / span : 0.0f;
    }
    return 0.0f;
}

void Track::compile()
{
    length = 0.0f;
    for (int i = 0; i < times.size(); ++i) {
        if (times[i] > length) {
            length = times[i];
        }
    }
}

} // namespace rezezaz::scene
