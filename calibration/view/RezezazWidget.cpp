#include "calibration/view/RezezazWidget.h"

#include "audio/AudioDevice.h"
#include "audio/al/ALAudioDevice.h"
#include "core/Log.h"
#include "render/RenderDevice.h"
#include "render/RenderTarget.h"
#include "render/WindowRenderTargetFormat.h"
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLXRenderTarget.h"

#include <QDebug>
#include <QGuiApplication>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>
#include <QWindow>

#include <exception>

using rezezaz::core::Log;

namespace {

// 8-bit RGB (the layout 6 in the low byte) with the component type of packed formats.
constexpr int kPixelFormat = 0x706;
constexpr int kDepthBits = 16;

} // namespace

RezezazWidget::RezezazWidget(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

RezezazWidget::~RezezazWidget()
{
    if (renderDevice) {
        renderDevice->destroy();
        renderDevice = nullptr;
    }
    if (renderTarget) {
        renderTarget->destroy();
        renderTarget = nullptr;
    }
    if (audioDevice) {
        audioDevice->destroy();
        audioDevice = nullptr;
    }
}

bool RezezazWidget::create(bool render, bool audio)
{
    rezezaz::render::WindowRenderTargetFormat format;
    format.pixelFormat = kPixelFormat;
    format.depthBits = kDepthBits;

    bool made = true;
    if (render) {
        bool created = false;
        try {
            // The target draws with GLX on an X window: a native window of any other platform (off
            // screen, Wayland) is none, even where its number happens to name one on the display.
            if (QGuiApplication::platformName() == "xcb") {
                renderTarget = new_GLXRenderTarget(nullptr, static_cast<unsigned long>(winId()), &format);
            }
            renderDevice = new_GLRenderDevice();
            if (renderTarget && renderDevice) {
                created = renderDevice->create(renderTarget.get(), 0);
            }
            if (created && windowHandle() != nullptr) {
                windowHandle()->installEventFilter(this);
            }
        } catch (const std::exception&) {
            created = false;
        }
        if (!created) {
            // A device that is not usable is never handed to the engine.
            if (renderDevice) {
                try {
                    renderDevice->destroy();
                } catch (const std::exception&) {
                }
                renderDevice = nullptr;
            }
            Log::error("RezezazWidget::create Unable to create RenderDevice");
            qDebug() << "Unable to create RenderDevice";
            // The toolkit paints the widget from now on: the engine never will.
            setAttribute(Qt::WA_PaintOnScreen, false);
            setAttribute(Qt::WA_NoSystemBackground, false);
            update();
            made = false;
        }
    }
    if (audio) {
        audioDevice = rezezaz::audio::new_ALAudioDevice();
        if (audioDevice) {
            audioDevice->create(0);
        }
    }
    return made;
}

QString RezezazWidget::unavailableLine()
{
    return "3D view unavailable (no OpenGL): calibrating still works.";
}

QString RezezazWidget::unavailableText()
{
    return "Unable to create RenderDevice\n\nThe 3D view is unavailable: this computer offers no usable OpenGL. "
           "Calibrating still works without it; follow the instructions above the view.";
}

bool RezezazWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && watched == windowHandle()) {
        emit needsFrame();
    }
    return QWidget::eventFilter(watched, event);
}

void RezezazWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    emit needsFrame();
}

void RezezazWidget::paintEvent(QPaintEvent*)
{
    if (renderDevice) {
        emit needsFrame();
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, unavailableLine());
}

void RezezazWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit needsFrame();
}
