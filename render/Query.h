#pragma once

#include "core/Resource.h"

namespace rezezaz::render {

// A device query around a stretch of drawing.
class Query : public core::Resource
{
public:
    enum QueryType : int
    {
        // Counts the samples that pass the depth test.
        QueryType_OCCLUSION = 1,
    };

    virtual Query* getRootQuery() = 0;
    virtual bool create(QueryType type) = 0;
    virtual void beginQuery() = 0;
    virtual void endQuery() = 0;
    // The counted result; waits for the device.
    virtual int getResult() = 0;
};

} // namespace rezezaz::render
