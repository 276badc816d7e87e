// Texts that come from outside the program (typed by the user, read from the meter or a file) are
// shown in boxes as they stand, never read as markup.
#include "MeterBench.h"

#include "app/Diagnostics.h"
#include "app/Slope.h"

#include <QDesktopServices>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using apptest::MeterBench;
using apptest::slopeBytes;

const QString kMarkup = "<h1>Z</h1><a href='http://x'>x</a><img src='x'>";

struct Shown
{
    QString text;
    bool plain = false;
};

// "Enter Slope": a typed text that is no slope is quoted back.
Shown typedSlope()
{
    MeterBench b;
    b.firmware.setRegisters(0x09, slopeBytes(12.5f));
    b.firmware.setRegisters(0x21, slopeBytes(12.0f));
    b.openMeter();
    auto* page = b.push(new Slope(b.device.get(), b.window.get()));
    EXPECT_TRUE(b.runUntil([&] { return b.logged("Slope::querySlope factory:0") == 1 && !MeterBench::busy(); }));
    b.answerer.press("Invalid Slope", "OK");
    QTimer typing;
    QObject::connect(&typing, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            dialog->setTextValue(kMarkup);
            dialog->accept();
        }
    });
    typing.start(5);
    MeterBench::button(page, "enterSlopeButton")->click();
    typing.stop();
    EXPECT_TRUE(b.runUntil([&] { return !b.answerer.boxes("Invalid Slope").empty(); }));
    const auto boxes = b.answerer.boxes("Invalid Slope");
    return boxes.empty() ? Shown{} : Shown{boxes[0].text, boxes[0].plain};
}

// Diagnostics without a mail client: the report, read from the meter, is shown to copy.
Shown diagnosticsReport()
{
    MeterBench b;
    b.device = new vant::device::VelonixPowerMeterDevice(MeterBench::kMeterNumber, b.manager.get(), 0, false);
    Diagnostics page(b.device.get(), b.window.get());
    b.answerer.press("Send Diagnostics", "OK");
    QObject refuser;
    QDesktopServices::setUrlHandler("mailto", &refuser, "noSuchSlot");
    page.sendDiagnostics();
    QDesktopServices::setUrlHandler("mailto", &b.urls, "openUrl");
    for (QMessageBox* box : page.findChildren<QMessageBox*>()) {
        if (box->windowTitle() == "No email client found") {
            return {box->text(), box->textFormat() == Qt::PlainText};
        }
    }
    return {};
}

TEST(ShownTextTest, TextsFromOutsideAreShownAsPlainText)
{
    struct Case
    {
        const char* road;
        std::function<Shown()> show;
        QString carries;
    };
    const Case cases[] = {
        {"a typed slope that is no number", typedSlope, kMarkup},
        {"the diagnostics report to copy", diagnosticsReport, "Power Meter ID:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.road);
        const Shown shown = c.show();
        EXPECT_TRUE(shown.text.contains(c.carries)) << shown.text.toStdString();
        EXPECT_TRUE(shown.plain);
    }
}

} // namespace
