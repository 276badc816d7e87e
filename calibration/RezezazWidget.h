#pragma once

#include "core/IntrusivePointer.h"

#include <QWidget>

namespace rezezaz::render {
class RenderDevice;
class RenderTarget;
} // namespace rezezaz::render
namespace rezezaz::audio {
class AudioDevice;
}

// A widget that the engine draws into: it owns the window render target over its native X window,
// the OpenGL render device on it and, when asked, an audio device. The toolkit never paints it. The
// calibration page's form makes it; it goes with the form.
class RezezazWidget : public QWidget
{
    Q_OBJECT

public:
    explicit RezezazWidget(QWidget* parent = nullptr);
    ~RezezazWidget() override;

    RezezazWidget(const RezezazWidget&) = delete;
    RezezazWidget& operator=(const RezezazWidget&) = delete;

    // The engine draws the whole widget itself.
    QPaintEngine* paintEngine() const override { return nullptr; }

    // Makes the render target and device (`render`) and the audio device (`audio`). A render device
    // that can't be made is reported in a blocking "Error" box and left out: the view then shows
    // nothing. True when what was asked for exists.
    bool create(bool render, bool audio);

    // Null when there is none.
    rezezaz::render::RenderDevice* getRenderDevice() const { return renderDevice.get(); }
    rezezaz::render::RenderTarget* getRenderTarget() const { return renderTarget.get(); }
    rezezaz::audio::AudioDevice* getAudioDevice() const { return audioDevice.get(); }

private:
    rezezaz::core::IntrusivePointer<rezezaz::render::RenderTarget> renderTarget;
    rezezaz::core::IntrusivePointer<rezezaz::render::RenderDevice> renderDevice;
    rezezaz::core::IntrusivePointer<rezezaz::audio::AudioDevice> audioDevice;
};
