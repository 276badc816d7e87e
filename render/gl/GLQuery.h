#pragma once

#include "render/BaseRenderResource.h"
#include "render/Query.h"
#include "render/gl/GLDeviceRef.h"

#include <cstdint>

namespace rezezaz::render {

class GLRenderDevice;

// The OpenGL occlusion query: counts the samples that pass the depth test between beginQuery and
// endQuery. Made by the GL device's createQuery; keeps a plain pointer to the device and frees its
// GL query in destroy.
class GLQuery : public BaseRenderResource<Query>
{
public:
    explicit GLQuery(GLRenderDevice* device);

    // Deletes the GL query, then tells the destroyed-listener.
    void destroy() override;

    Query* getRootQuery() override;
    // Occlusion only: any other type raises "GLQuery only supports QueryType_OCCLUSION" before a GL
    // query is made.
    bool create(QueryType type) override;
    // Nothing happens before create.
    void beginQuery() override;
    void endQuery() override;
    // Waits for the count of passing samples; 0 before create.
    int getResult() override;

    GLRenderDevice* getDevice() const { return device_; }
    int getType() const { return type_; }
    // The GL query name, 0 before create and after destroy.
    uint32_t getHandle() const { return handle_; }

private:
    GLDeviceRef device_;
    int32_t type_ = 0;
    uint32_t handle_ = 0;
};

} // namespace rezezaz::render
