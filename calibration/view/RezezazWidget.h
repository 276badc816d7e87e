#pragma once

#include "core/IntrusivePointer.h"

#include <QString>
#include <QWidget>

namespace rezezaz::render {
class RenderDevice;
class RenderTarget;
} // namespace rezezaz::render
namespace rezezaz::audio {
class AudioDevice;
}

// A widget that the engine draws into: it owns the window render target over its native X window,
// the OpenGL render device on it and, when asked, an audio device. While it has a render device the
// toolkit never paints it; without one (no GLX, a broken driver) it paints the page's plain
// background with one line saying that the 3D view is unavailable. The calibration page's form
// makes it; it goes with the form.
class RezezazWidget : public QWidget
{
    Q_OBJECT

public:
    explicit RezezazWidget(QWidget* parent = nullptr);
    ~RezezazWidget() override;

    RezezazWidget(const RezezazWidget&) = delete;
    RezezazWidget& operator=(const RezezazWidget&) = delete;

    // The engine draws the whole widget itself while it has a render device (the widget paints on
    // screen); without one the toolkit paints it through its own backing store.
    QPaintEngine* paintEngine() const override { return nullptr; }

    // Makes the render target and device (`render`) and the audio device (`audio`). A render device
    // that can't be made is logged and left out, and the widget paints its line instead; telling the
    // user (unavailableText()) is the owner's, once it is shown. True when what was asked for exists.
    bool create(bool render, bool audio);

    // Null when there is none.
    rezezaz::render::RenderDevice* getRenderDevice() const { return renderDevice.get(); }
    rezezaz::render::RenderTarget* getRenderTarget() const { return renderTarget.get(); }
    rezezaz::audio::AudioDevice* getAudioDevice() const { return audioDevice.get(); }

    // The line painted in place of the view.
    static QString unavailableLine();
    // What the user is told when the render device can't be made.
    static QString unavailableText();

signals:
    // The window needs the engine's picture again: it was exposed or changed size.
    void needsFrame();

protected:
    // The native window's exposure, which the toolkit need not pass on as a paint event.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    rezezaz::core::IntrusivePointer<rezezaz::render::RenderTarget> renderTarget;
    rezezaz::core::IntrusivePointer<rezezaz::render::RenderDevice> renderDevice;
    rezezaz::core::IntrusivePointer<rezezaz::audio::AudioDevice> audioDevice;
};
