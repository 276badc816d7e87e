#pragma once

#include "scene/ContextListener.h"
#include "support/CallLog.h"

#include <string>
#include <utility>

namespace support {

// Writes each render-context call it hears to a call log as "label.operation".
class RecordingContextListener : public rezezaz::scene::ContextListener
{
public:
    RecordingContextListener(SharedCallLog log, std::string label) : log_(std::move(log)), label_(std::move(label)) {}

    void preContextReset(rezezaz::render::RenderDevice*) override { record("preContextReset"); }
    void postContextReset(rezezaz::render::RenderDevice*) override { record("postContextReset"); }
    void preContextActivate(rezezaz::render::RenderDevice*) override { record("preContextActivate"); }
    void postContextActivate(rezezaz::render::RenderDevice*) override { record("postContextActivate"); }
    void preContextDeactivate(rezezaz::render::RenderDevice*) override { record("preContextDeactivate"); }
    void postContextDeactivate(rezezaz::render::RenderDevice*) override { record("postContextDeactivate"); }

private:
    void record(const std::string& call) { log_->add(label_ + "." + call); }

    SharedCallLog log_;
    std::string label_;
};

} // namespace support
