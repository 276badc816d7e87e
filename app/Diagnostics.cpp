#include "app/Diagnostics.h"

#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Implementer.h"
#include "app/Pelotune.h"
#include "core/Log.h"
#include "core/String.h"
#include "ui_diagnostics.h"

#include <QDesktopServices>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <cmath>
#include <cstdlib>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;
using vbabel::data::Field;
using vbabel::data::fieldBit;

namespace {

// Samples that only gather the reed switches' toggles before the stuck ones are shown.
constexpr int kGatheringSamples = 11;
constexpr int kBrokenAbove = 14999;
constexpr int kCheckCadence = 60;
constexpr int kCheckMode = 16;
constexpr int kPowerControlMode = 48;

const char* const kSubject = "Pelotune:diagnostics";

const char* directionText(bool forward)
{
    return forward ? "forward" : "reverse";
}

// A mail link's header value: line breaks as CR LF, everything but the unreserved characters
// percent-encoded, so that the mail client gets the text as it is.
QByteArray mailValue(const QString& text)
{
    QString lines = text;
    lines.replace("\r\n", "\n").replace("\n", "\r\n");
    return QUrl::toPercentEncoding(lines);
}

} // namespace

Diagnostics::Diagnostics(VelonixPowerMeterDevice* device, Pelotune* mainWindow)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_diagnostics>())
{
    ui->setupUi(this);
    connect(ui->sendButton, &QPushButton::clicked, this, &Diagnostics::sendDiagnostics);
    gaugeCount = device->getStrainGaugeCount();
    gaugeMask = (1u << gaugeCount) - 1u;
    stuckMask = gaugeMask;
}

Diagnostics::~Diagnostics()
{
    // The mode holds SRM PowerControl (48): the one read is put back, as long as it is one the
    // program runs the meter in.
    const int kept = modeRead && (mode == 0 || mode == kPowerControlMode) ? mode : 0;
    device->setCadenceMode(0, kept);
}

void Diagnostics::helpClicked()
{
    mainWindow->showHelp("diagnostics");
}

// ---- The chain of reads ----

void Diagnostics::pageShown()
{
    device->requestCalibratePass();
    queryDirection();
}

void Diagnostics::queryDirection()
{
    const int capability = device->getDirectionCapability();
    Log::alert("Diagnostics::queryDirection got capability:" + String() + capability);
    if (capability == 2) {
        showProgress("Reading Torque Direction...");
        device->doQueryTorqueDirection();
    } else if (capability == 1) {
        showProgress("Reading Direction...");
        device->doQueryDirection();
    }
}

void Diagnostics::directionReceived(VelonixPowerMeterDevice*, bool flag)
{
    direction = flag;
    closeProgress();
    querySlope();
}

void Diagnostics::torqueDirectionReceived(VelonixPowerMeterDevice*, bool flag)
{
    direction = flag;
    closeProgress();
    showProgress("Reading Cadence Direction...");
    device->doQueryCadenceDirection();
}

void Diagnostics::cadenceDirectionReceived(VelonixPowerMeterDevice*, bool flag)
{
    cadenceDirection = flag;
    closeProgress();
    querySlope();
}

void Diagnostics::querySlope()
{
    showProgress("Reading Slope...");
    device->doQuerySlope(true);
}

void Diagnostics::slopeReceived(VelonixPowerMeterDevice*, float slope, bool factory)
{
    if (factory) {
        factorySlope = slope;
        device->doQuerySlope(false);
        return;
    }
    userSlope = slope;
    closeProgress();
    queryMode();
}

void Diagnostics::queryMode()
{
    showProgress("Reading Mode...");
    device->doQueryMode();
}

void Diagnostics::modeReceived(VelonixPowerMeterDevice*, int value)
{
    closeProgress();
    mode = value;
    modeRead = true;
    device->setCadenceMode(kCheckCadence, kCheckMode);
}

void Diagnostics::cadenceModeChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Diagnostics::cadenceModeChanged");
}

// ---- The live checks ----

QString Diagnostics::gaugeText(std::uint32_t bits) const
{
    QStringList digits;
    for (int i = 0; i < gaugeCount; ++i) {
        digits << (((bits >> i) & 1u) != 0 ? "1" : "0");
    }
    return digits.join(",");
}

void Diagnostics::dataReceived(SportDevice*, int fields)
{
    vbabel::data::SportData* data = device->sportData.get();
    if (data == nullptr) {
        return;
    }
    if ((fields & fieldBit(Field::StrainReading)) != 0) {
        int strain = 0;
        data->getField(&strain, Field::StrainReading);
        // The reading in units of 256, rounded towards minus infinity.
        const auto units = static_cast<long long>(std::floor(static_cast<double>(strain) / 256.0));
        ui->brokenValue->setText(std::llabs(units) > kBrokenAbove ? "Yes" : "No");
    }
    if ((fields & fieldBit(Field::ReedBits)) != 0) {
        int reeds = 0;
        data->getField(&reeds, Field::ReedBits);
        const std::uint32_t bits = static_cast<std::uint32_t>(reeds) & gaugeMask;
        // A switch that was closed in an earlier sample and is open now has toggled.
        stuckMask &= ~(~bits & seenMask);
        seenMask |= bits;
        const QString reedText = gaugeText(bits);
        ui->reedsValue->setText(reedText);
        Log::alert("Diagnostics::dataRecieved reeds:" + String(reedText));
        if (sampleCount < kGatheringSamples) {
            ++sampleCount;
            return;
        }
        if (stuckMask == 0 && seenMask == gaugeMask) {
            ui->switchesValue->setText("No");
        } else {
            // Stuck: never went from closed to open, or never closed at all.
            ui->switchesValue->setText(gaugeText(stuckMask | (~seenMask & gaugeMask)));
        }
    }
}

// ---- The report ----

QString Diagnostics::report()
{
    vbabel::data::SportData* data = device->sportData.get();
    int serial = 0;
    float voltage = 0.0f;
    int hardware = 0;
    int manufacturer = 0;
    int model = 0;
    int software = 0;
    int autozero = 0;
    int zeroOffset = 0;
    if (data != nullptr) {
        data->getField(&serial, Field::SerialNumber);
        data->getField(&voltage, Field::BatteryVoltage);
        data->getField(&hardware, Field::HardwareRevision);
        data->getField(&manufacturer, Field::ManufacturerId);
        data->getField(&model, Field::ModelNumber);
        data->getField(&software, Field::SoftwareRevision);
        data->getField(&autozero, Field::AutoZeroSupport);
        data->getField(&zeroOffset, Field::ZeroOffset);
    }
    const auto serialBits = static_cast<std::uint32_t>(serial);

    QString body;
    auto line = [&body](const QString& label, const QString& value) { body += label + value + "\n"; };
    line("Power Meter ID:", QString::number(serialBits & 0xFFFFu));
    line("Spider Serial Number:", QString::number(serialBits >> 16));
    line("Voltage:", QString::number(static_cast<double>(voltage), 'g', 2));
    line("Hardware Version:", QString::number(hardware));
    line("Manufacturer ID:", QString::number(manufacturer));
    line("Model Number:", QString::number(model));
    line("Software Version:", QString::number(software));
    line("Autozero:", QString::number(autozero));
    line("Zero Offset:", QString::number(zeroOffset));
    line("Reed States:", ui->switchesValue->text());
    const int capability = device->getDirectionCapability();
    if (capability == 1) {
        line("Direction:", directionText(direction));
    } else if (capability == 2) {
        line("Torque Direction:", directionText(direction));
        line("Cadence Direction:", directionText(cadenceDirection));
    }
    line("G.A.M:", mode == 1 ? "enabled" : "disabled");
    line("Current Slope:", QString::number(static_cast<double>(userSlope), 'g', 6));
    line("Factory Slope:", QString::number(static_cast<double>(factorySlope), 'g', 6));
    line("Pelotune Version:", "1.9");
    line("Dongle Version:", QString("0x%1").arg(mainWindow->radioManagerVersion(), 4, 16, QChar('0')));
    return body;
}

void Diagnostics::sendDiagnostics()
{
    QMessageBox question(
        QMessageBox::NoIcon, "Send Diagnostics",
        "<p>Send Diagnostics Information to Velonix?</p><p>It will be automatically archived, no "
        "response will be returned</p>",
        QMessageBox::Ok | QMessageBox::Cancel, mainWindow);
    // The box runs its own event loop, in which the page may be taken down: it belongs to the
    // window, which outlives the page, and is centred on it.
    QPointer<Diagnostics> self(this);
    const int answer = question.exec();
    if (self.isNull() || answer != QMessageBox::Ok) {
        return;
    }

    const QString body = report();
    const QByteArray link = QByteArray("mailto:") + VELONIX_EMAIL + "?subject=" + mailValue(kSubject) +
                            "&body=" + mailValue(body);
    if (QDesktopServices::openUrl(QUrl::fromEncoded(link, QUrl::StrictMode))) {
        return;
    }
    openMessageBox(QMessageBox::Warning, "No email client found",
                   QString("Please copy the following message into an email to: ") + VELONIX_EMAIL +
                       "\nWith the subject: " + kSubject + "\nThank you!\n\n" + body,
                   QMessageBox::Ok, false, true);
}
