// The calibration wizard's 3D view under Xvfb (run it through xvfb-run with LIBGL_ALWAYS_SOFTWARE=1):
//  - one frame of the page's scene as its 33 ms timer draws it (animations, the scene's update(33),
//    render, swap) plus glFinish, so that the time is the drawing's and not only its queueing; 300
//    frames in which the wizard keeps a fade and a turn running, at a view of 268 x 300, 582 x 332
//    (the page at its smallest in the window) and 1280 x 1024; the median and the 95th percentile of
//    the frames are reported;
//  - the page's CPU time per second of real time with nothing moving, the window's own event loop
//    running the page's 33 ms timer, at 268 x 300 and 582 x 332. The goal is at most 20 ms a second
//    (2 % of a core): a still page draws nothing.
// The scene is the page's with its five compiled-in models; a run without them is refused.
// The budget of a frame is the timer's 33 ms.
#include "ant/AntRadioManager.h"
#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"
#include "calibration/Calibrate.h"
#include "calibration/view/RezezazWidget.h"
#include "core/IntrusivePointer.h"
#include "scene/Engine.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"
#include "support/SimulatedStickRadio.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

namespace {

// The meter's decoder as it stands with a weight hanging still: the torque field only.
class SteadyTorque : public vbabel::data::SportData
{
public:
    bool getField(float* out, int id) override
    {
        if (id != 20) {
            return false;
        }
        *out = 28.5f;
        return true;
    }
    bool getField(int*, int) override { return false; }
    int receivedFields() override { return 0x1C0000; }
    bool broadcastReceived(unsigned char*) override { return false; }
};

QApplication& application()
{
    static int argc = 1;
    static char name[] = "CalibrationViewBench";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "xcb");
        }
        return new QApplication(argc, argv);
    }();
    return *instance;
}

// The window and a meter device on a simulated stick, the wizard pushed with its view at the size given.
struct ViewRig
{
    ViewRig(int width, int height)
        : radio(new support::SimulatedStickRadio(0x1008)), manager(new vant::ant::AntRadioManager(radio.get(), nullptr))
    {
        application();
        manager->create();
        device = new vant::device::VelonixPowerMeterDevice(1, manager.get(), 0, false);
        device->sportData = std::make_unique<SteadyTorque>();
        window = std::make_unique<Pelotune>(
            [](int, int, int product) -> vant::ant::AntRadio* {
                auto* absent = new support::SimulatedStickRadio(product);
                absent->unplug();
                return absent;
            },
            folder.path(), [](int) {});
        window->show();
        window->addStackedWidget(new QWidget);
        page = new Calibrate(device.get(), window.get(), 12.5f);
        window->addStackedWidget(page);
        page->findChild<RezezazWidget*>("rezezaz")->setFixedSize(width, height);
        window->adjustSize();
        page->findChild<QLineEdit*>("crankArmLengthValue")->setText("175");
        page->findChild<QLineEdit*>("weightUsedValue")->setText("20");
        QApplication::processEvents();
        // The bench draws the frames itself.
        for (QTimer* timer : page->findChildren<QTimer*>()) {
            timer->stop();
        }
    }
    // The five compiled-in models loaded, and the view at the size asked for: the frames are the
    // page's own.
    bool ready(int width, int height) const
    {
        for (rezezaz::scene::Node* node : {page->getCrankNode(), page->getBigChainNode(), page->getSmallChainNode(),
                                           page->getBackArrowNode(), page->getFrontArrowNode()}) {
            auto* mesh = node->getNumVisibles() == 1 ? dynamic_cast<rezezaz::scene::MeshComponent*>(node->getVisible(0))
                                                     : nullptr;
            if (mesh == nullptr || mesh->getMesh() == nullptr) {
                return false;
            }
        }
        const QWidget* view = page->findChild<RezezazWidget*>("rezezaz");
        return view->width() == width && view->height() == height;
    }

    ~ViewRig()
    {
        window.reset();
        device->destroy();
        manager->destroy();
    }

    // Keeps the big chain fading and the crank turning: the placement of step 2, then Back to it.
    void keepMoving()
    {
        if (!page->getAnimations().isEmpty()) {
            return;
        }
        if (page->getStep() == 3) {
            window->backClicked();
        }
        while (page->getStep() < 3) {
            // A press that takes a reading needs one of its placement.
            page->dataReceived(device.get(), 0);
            page->findChild<QPushButton*>("continueButton")->click();
        }
    }

    QTemporaryDir folder;
    rezezaz::core::IntrusivePointer<support::SimulatedStickRadio> radio;
    rezezaz::core::IntrusivePointer<vant::ant::AntRadioManager> manager;
    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
    std::unique_ptr<Pelotune> window;
    Calibrate* page = nullptr;
};

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

void BM_Frame(benchmark::State& state)
{
    ViewRig rig(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (rig.page->getEngine()->getRenderDevice() == nullptr) {
        state.SkipWithError("no render device (run under xvfb-run)");
        return;
    }
    if (!rig.ready(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)))) {
        state.SkipWithError("the models are not loaded or the view has another size");
        return;
    }
    std::vector<double> frames;
    for (auto _ : state) {
        frames.clear();
        for (int frame = 0; frame < 300; ++frame) {
            rig.keepMoving();
            const auto start = std::chrono::steady_clock::now();
            rig.page->update();
            glFinish();
            frames.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            QApplication::processEvents();
        }
    }
    state.counters["median_ms"] = percentile(frames, 0.5);
    state.counters["p95_ms"] = percentile(frames, 0.95);
}
BENCHMARK(BM_Frame)->Args({268, 300})->Args({582, 332})->Args({1280, 1024})->Iterations(1)->Unit(benchmark::kMillisecond);

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_StillPageCpuPerSecond(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    ViewRig rig(width, height);
    if (rig.page->getEngine()->getRenderDevice() == nullptr || !rig.ready(width, height)) {
        state.SkipWithError("no render device or no models (run under xvfb-run)");
        return;
    }
    for (QTimer* timer : rig.page->findChildren<QTimer*>()) {
        timer->start();
    }
    // The page settles first: its first frames draw the model once.
    {
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
    }
    double cpu = 0.0;
    for (auto _ : state) {
        const double before = processCpuSeconds();
        // The toolkit's own loop, as the program runs it.
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        cpu = processCpuSeconds() - before;
    }
    state.counters["cpu_ms_per_s"] = cpu * 1000.0;
    state.counters["core_percent"] = cpu * 100.0;
}
BENCHMARK(BM_StillPageCpuPerSecond)->Args({268, 300})->Args({582, 332})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
