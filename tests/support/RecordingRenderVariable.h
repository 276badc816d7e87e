#pragma once

#include "scene/material/RenderVariable.h"

#include <cstring>
#include <vector>

namespace support {

// A render variable of a chosen format that writes a chosen float and counts what it is asked.
class RecordingRenderVariable : public rezezaz::scene::material::RenderVariable
{
public:
    explicit RecordingRenderVariable(int format = 0x0106, float value = 1.0f) : format(format), value(value) {}

    int getFormat() override { return format; }
    void linked(rezezaz::scene::material::RenderPass* pass) override { linkedPasses.push_back(pass); }
    void update(unsigned char* data, rezezaz::scene::material::SceneParameters*) override
    {
        ++updates;
        std::memcpy(data, &value, sizeof value);
    }

    int format;
    float value;
    int updates = 0;
    std::vector<rezezaz::scene::material::RenderPass*> linkedPasses;
};

} // namespace support
