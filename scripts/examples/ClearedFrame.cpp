// Shows one frame cleared by the OpenGL device in a plain X window, then writes what the X server
// shows on its screen to a PNG file: the whole window a deep blue, its top-left quarter orange (the
// engine's viewport counts from the top left).
//
// Usage: ClearedFrame SCREENSHOT.png
#include "core/Categories.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/math/Vector4.h"
#include "render/AdaptorInfo.h"
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLXRenderTarget.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include <zlib.h>

using rezezaz::core::IntrusivePointer;
using namespace rezezaz::render;

namespace {

void put32(std::vector<unsigned char>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

void chunk(std::vector<unsigned char>& png, const char* type, const std::vector<unsigned char>& data)
{
    put32(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(png, static_cast<uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

// The whole screen as the X server shows it, as an 8-bit RGB PNG.
bool writeScreenshot(Display* display, const char* path)
{
    XWindowAttributes root;
    XGetWindowAttributes(display, DefaultRootWindow(display), &root);
    XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, root.width, root.height, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    std::vector<unsigned char> rows;
    for (int y = 0; y < root.height; ++y) {
        rows.push_back(0); // no filter
        for (int x = 0; x < root.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            rows.push_back(static_cast<unsigned char>(pixel >> 16));
            rows.push_back(static_cast<unsigned char>(pixel >> 8));
            rows.push_back(static_cast<unsigned char>(pixel));
        }
    }
    XDestroyImage(image);
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::vector<unsigned char> packed(packedSize);
    if (compress(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size())) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);
    std::vector<unsigned char> header;
    put32(header, static_cast<uint32_t>(root.width));
    put32(header, static_cast<uint32_t>(root.height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, no filter, no interlace
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", {});
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SCREENSHOT.png\n", argv[0]);
        return 2;
    }
    XInitThreads();
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const int width = 480;
    const int height = 320;
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 30, width, height, 0, 0, 0);
    XStoreName(display, window, "Pelotune: cleared frame");
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    for (XEvent event;;) {
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            break;
        }
    }
    // The device's creation lines list every extension: only warnings and errors here.
    rezezaz::core::Log::getInstance()->setCategoryReportingLevel(rezezaz::core::Categories::REZEZAZ_RENDER,
                                                                 rezezaz::core::Logger::WARNING);
    int status = 0;
    try {
        WindowRenderTargetFormat format;
        format.pixelFormat = 0x706;
        format.depthBits = 16;
        format.threadCount = 1;
        IntrusivePointer<RenderTarget> target = new_GLXRenderTarget(nullptr, window, &format);
        IntrusivePointer<RenderDevice> device = new_GLRenderDevice();
        device->create(target.get(), 0);
        std::printf("renderer: %s, window %dx%d\n", target->getAdaptorInfo()->description.c_str(), target->getWidth(),
                    target->getHeight());
        device->beginScene();
        device->setViewport(Viewport{0, 0, width, height, true});
        device->clear(1 | 2, rezezaz::core::math::Vector4(0.1f, 0.2f, 0.6f, 1));
        device->setViewport(Viewport{0, 0, width / 2, height / 2, false});
        device->clear(1, rezezaz::core::math::Vector4(1, 0.5f, 0, 1));
        device->endScene();
        device->swap();
        // The driver's own connection carries the frame; give the server a moment to show it.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        XSync(display, False);
        if (!writeScreenshot(display, argv[1])) {
            std::fprintf(stderr, "could not write %s\n", argv[1]);
            status = 1;
        }
        device->destroy();
    } catch (const rezezaz::core::Exception& e) {
        std::fprintf(stderr, "%s\n", e.getDescription());
        status = 1;
    }
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return status;
}
