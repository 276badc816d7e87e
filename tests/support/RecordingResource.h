#pragma once

#include "core/BaseResource.h"
#include "support/CallLog.h"
#include "support/CountingObject.h"

#include <string>
#include <utility>

namespace support {

// A plain managed resource that records its destroy() and its deletion in a LifeLog, or its destroy()
// as "label.destroy()" in a call log (either optional); destroy still tells the destroyed-listener.
class RecordingResource : public rezezaz::core::BaseResource
{
public:
    explicit RecordingResource(LifeLog* log = nullptr, std::string label = "") : log_(log), label_(std::move(label)) {}
    RecordingResource(SharedCallLog calls, std::string label) : log_(nullptr), calls_(std::move(calls)), label_(std::move(label)) {}

    ~RecordingResource() override
    {
        if (log_ != nullptr) {
            ++log_->deleted;
            log_->events.push_back("delete " + label_);
        }
    }

    void destroy() override
    {
        if (log_ != nullptr) {
            ++log_->destroyed;
            log_->events.push_back("destroy " + label_);
        }
        if (calls_) {
            calls_->add(label_ + ".destroy()");
        }
        BaseResource::destroy();
    }

    // What a streamer read into it.
    std::string content;

private:
    LifeLog* log_;
    SharedCallLog calls_;
    std::string label_;
};

} // namespace support
