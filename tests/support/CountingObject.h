#pragma once

#include "core/Object.h"

#include <string>
#include <vector>

namespace support {

// What happened to the CountingObjects that share one log, in order.
struct LifeLog
{
    int destroyed = 0;
    int deleted = 0;
    std::vector<std::string> events;
};

// A counted object that records its destroy() and its destructor, each with its label, so tests can
// see when and in which order objects go.
class CountingObject : public rezezaz::core::Object
{
public:
    explicit CountingObject(LifeLog* log = nullptr, std::string label = "")
        : log_(log), label_(std::move(label))
    {}

    ~CountingObject() override
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
    }

    const std::string& label() const { return label_; }

private:
    LifeLog* log_;
    std::string label_;
};

} // namespace support
