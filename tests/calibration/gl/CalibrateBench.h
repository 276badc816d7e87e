#pragma once

#include "calibration/Calibrate.h"
#include "calibration/view/RezezazWidget.h"

#include "MeterBench.h"

#include <QWidget>

namespace apptest {

// The meter (of `model`) opened and the calibration wizard pushed on a window 268 px wide, its
// boxes answered so that a failure shows as a failure, not as a test that waits. The view tests on a
// real display build on it.
struct CalibrateBench : MeterBench
{
    explicit CalibrateBench(int model)
    {
        meter.product.model = model;
        answerer.press("Error", "OK");
        answerer.press("Warning", "OK");
        openMeter();
        window->resize(268, 700);
        push(new QWidget);
        page = push(new Calibrate(device.get(), window.get(), 12.5f));
        view = page->findChild<RezezazWidget*>("rezezaz");
    }

    Calibrate* page = nullptr;
    RezezazWidget* view = nullptr;
};

} // namespace apptest
