#include "app/Pelotune.h"

#include "ant/AntRadio.h"
#include "ant/AntRadioManager.h"
#include "ant/PCAntRadio.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "ant/search/SportDeviceSearch.h"
#include "app/Implementer.h"
#include "app/PowermeterWidget.h"
#include "app/Sensor.h"
#include "core/FileLogger.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "firmware/Firmware.h"

#include "ui_pelotune.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QSizeGrip>
#include <QStandardPaths>
#include <QLockFile>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <cstdlib>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Log;
using rezezaz::core::Logger;

namespace {

constexpr int ANT_VENDOR = 0x0FCF;
constexpr int PUMP_MS = 33;
constexpr int RETRY_MS = 2000;

struct Stick
{
    int product;
    int baud;
};
// AP2 sticks first; the AP1 stick is only tried to tell the user it can't be used.
constexpr Stick STICKS[] = {{0x1008, 57600}, {0x1009, 57600}, {0x1004, 50000}};

const char* const WINDOW_STYLE =
    "QMainWindow { background:qradialgradient(cx:0.5, cy:0.6, radius:1, fx:0.5, fy:0.5, stop:0 lightGray, "
    "stop:1 black) }\n"
    "QGroupBox { background-color:transparent; border:0px; }\n"
    "QGroupBox>QPushButton, *[class=standardButton] { color:white; border-width: 2px; border-radius:10px; "
    "background:qradialgradient(cx:0.5, cy:0.5, radius:1, fx:0.5, fy:0.5, stop:0 grey, stop:1 black); }\n"
    "*[class=smallButton] { color:white; background:qradialgradient(cx:0.5, cy:0.5, radius:1, fx:0.5, "
    "fy:0.5, stop:0 grey, stop:1 black); }\n"
    "QGroupBox>QPushButton:pressed, *[class=standardButton]:pressed, *[class=smallButton]:pressed { "
    "background:qradialgradient(cx:0.5, cy:0.5, radius:1, fx:0.5, fy:0.5, stop:0 black, stop:1 grey); }\n"
    "QGroupBox>QPushButton:disabled, *[class=standardButton]:disabled, *[class=smallButton]:disabled { "
    "color:rgb(200,200,200); background:qradialgradient(cx:0.5, cy:0.5, radius:1, fx:0.5, fy:0.5, "
    "stop:0 rgb(60,60,60), stop:1 black); }\n"
    "#backButton, #helpButton { height:30px; width:60px; }\n"
    "QComboBox { border-width: 2px; border-radius:10px; color:white; background:qradialgradient(cx:0.5, "
    "cy:0.5, radius:1, fx:0.5, fy:0.5, stop:0 grey, stop:1 black); }\n"
    "QComboBox QAbstractItemView { background-color:black; color:white; }\n"
    "QStatusBar { background:qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,stop:0 black, stop: 0.25 "
    "rgb(90,90,90), stop:1 black); }\n"
    "QStatusBar::item { border-color: transparent; }\n"
    "QLabel { color:white; }\n"
    "QRadioButton { color:white; }\n"
    "QRadioButton:checked { font-weight:bold; }\n"
    "QRadioButton::indicator { width:12px; height:12px; border-radius:8px; border:2px solid rgb(40,40,40); "
    "background:white; }\n"
    "QRadioButton::indicator:checked { background:qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, "
    "fy:0.5, stop:0 black, stop:0.6 black, stop:0.7 white, stop:1 white); }\n"
    "QStatusBar>QLabel { color:white; }\n"
    "QDialog>QLabel { color:black; }";

const char* const SCROLL_AREA_STYLE =
    "QScrollArea, .QWidget { background-color:transparent; }\n"
    ".QFrame { border-width: 2px; border-radius:10px; background-color:black; }";

const char* const UNSUPPORTED_TEXT =
    "<p>The attached Ant USB stick is AP1, and is not supported on OSX and linux platforms at this time.</p> "
    "\t\t\t\t\t\t<p>Please connect an AP2 Ant USB stick to use Pelotune.</p>";

void logAlert(const QString& text)
{
    Log::alert(rezezaz::core::String(text.toUtf8().constData()));
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

// What the user is told when the stick goes while a meter is open; `work` names what the top page was
// doing ("calibration"), or is empty.
QString stickLostText(const QString& work)
{
    const QString cancelled =
        work.isEmpty()
            ? QString("The power meter's pages were closed and what they were doing was cancelled: nothing "
                      "more was written to the power meter.")
            : QString("The %1 was cancelled and nothing was written to the power meter.").arg(work);
    return "<p>The ANT USB stick was lost.</p><p>" + cancelled +
           "</p><p>Once the stick is plugged in again, open the power meter again so that it goes back to "
           "normal operation.</p>";
}

// An information or warning box that deletes itself when closed and doesn't block.
void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

} // namespace

Pelotune::Pelotune(QWidget* parent, Qt::WindowFlags flags)
    : Pelotune(RadioFactory(), QString(), {}, parent, flags)
{}

Pelotune::Pelotune(RadioFactory radioFactory, const QString& dataFolder, ExitHandler exitHandler,
                   QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags),
      radioFactory(radioFactory ? std::move(radioFactory) : RadioFactory(&vant::ant::new_PCAntRadio)),
      dataFolderOverride(dataFolder),
      exitHandler(exitHandler ? std::move(exitHandler) : ExitHandler([](int status) { std::exit(status); })),
      ui(new Ui_pelotune)
{
    // The compiled-in files live in a static library: their registration must be pulled in.
    Q_INIT_RESOURCE(pelotune);

    ui->setupUi(this);

    QPixmap logo(LOGO_RESOURCE);
    const QRect viewRect = ui->graphicsView->geometry();
    logoScene.setSceneRect(0, 0, viewRect.width(), viewRect.height());
    ui->graphicsView->setScene(&logoScene);
    logoScene.addPixmap(logo);

    ui->searchButton->setEnabled(false);
    ui->enterIDButton->setEnabled(false);
    ui->aboutButton->setEnabled(true);
    ui->ANTButton->setEnabled(false);
    connect(ui->searchButton, &QPushButton::clicked, this, &Pelotune::showSearchList);
    connect(ui->enterIDButton, &QPushButton::clicked, this, &Pelotune::enterID);
    connect(ui->aboutButton, &QPushButton::clicked, this, &Pelotune::about);
    connect(ui->ANTButton, &QPushButton::clicked, this, &Pelotune::antInfo);
    connect(ui->cancelSearchButton, &QPushButton::clicked, this, &Pelotune::cancelSearch);

    logLock = std::make_unique<QLockFile>(this->dataFolder() + "/pelotune.log.lock");
    // Only a lock whose process has gone is taken over, however old the lock is.
    logLock->setStaleLockTime(0);
    if (logLock->tryLock(0)) {
        fileLogger.reset(new rezezaz::core::FileLogger(false, QFile::encodeName(this->dataFolder()).constData(),
                                                       "pelotune", Log::getInstance()));
    } else {
        qWarning("Pelotune: another Pelotune is running and writes the log in %s; this one keeps no log file",
                 qPrintable(QDir::toNativeSeparators(this->dataFolder())));
    }

    setWindowTitle("Pelotune Zuridi");

    Log::getInstance()->setMasterReportingLevel(Logger::DEBUG);
    Log::getInstance()->setCategoryReportingLevel("vant.ant", Logger::DEBUG);

    pumpTimer = new QTimer(this);
    if (setupAntRadio()) {
        startPump();
    } else {
        connect(pumpTimer, &QTimer::timeout, this, &Pelotune::checkForUsbDevice);
        pumpTimer->start(RETRY_MS);
    }

    backTimer = new QTimer(this);
    backTimer->setInterval(1000);
    backTimer->setSingleShot(true);
    connect(backTimer, &QTimer::timeout, this, &Pelotune::allBack);

    auto* bar = new QStatusBar(this);
    setStatusBar(bar);
    if (bar->isSizeGripEnabled()) {
        // Balances the grip on the right, so that the content stays centred.
        auto* balance = new QWidget(bar);
        const QSizeGrip* grip = bar->findChild<QSizeGrip*>();
        balance->setFixedSize(grip != nullptr ? grip->sizeHint() : QSize());
        bar->addWidget(balance);
    }
    auto* backBox = new QWidget(bar);
    backBox->setMinimumWidth(80);
    auto* backLayout = new QHBoxLayout(backBox);
    backLayout->setContentsMargins(0, 0, 0, 0);
    backButton = new QPushButton("Back", backBox);
    backButton->setObjectName("backButton");
    backButton->setProperty("class", "standardButton");
    backLayout->addWidget(backButton);
    bar->addWidget(backBox);

    auto* legal = new QLabel(bar);
    legal->setObjectName("legalLabel");
    legal->setTextFormat(Qt::RichText);
    legal->setOpenExternalLinks(true);
    legal->setAlignment(Qt::AlignCenter);
    legal->setText(QString::fromUtf8(LEGAL_NOTICE) + " <a href=\"" + PRIVACY_URL +
                   "\" style=\"color:white\">Privacy Policy &amp; Terms of Use</a>");
    bar->addWidget(legal, 1);

    helpButton = new QPushButton("Help", bar);
    helpButton->setObjectName("helpButton");
    helpButton->setProperty("class", "standardButton");
    bar->addPermanentWidget(helpButton);

    connect(backButton, &QPushButton::clicked, this, &Pelotune::backClicked);
    connect(helpButton, &QPushButton::clicked, this, &Pelotune::helpClicked);
    backButton->hide();

    // A page that goes by itself (deleted, or taken off the stack) leaves Back and Help to match.
    connect(ui->stackedWidget, &QStackedWidget::widgetRemoved, this, &Pelotune::pageRemoved);

    setStyleSheet(WINDOW_STYLE);
    ui->scrollArea->setStyleSheet(SCROLL_AREA_STYLE);
}

Pelotune::~Pelotune()
{
    // The pages go with the widgets after this body: nothing of theirs may call back into the window.
    disconnect(ui->stackedWidget, nullptr, this, nullptr);
    pumpTimer->stop();
    backTimer->stop();
    for (const QPointer<QThread>& job : keptJobs) {
        if (!job.isNull()) {
            job->quit();
            job->wait();
            delete job.data();
        }
    }
    delete connectingBox; // has no parent
    connectingBox = nullptr;

    if (manager) {
        manager->removeManagerListener(this);
    }
    if (deviceSearch) {
        deviceSearch->removeSportDeviceSearchListener(this);
    }
    fileLogger.reset();
    logLock.reset();
    logoScene.clear();
    seenIds.clear();
    device = nullptr;
    deviceSearch = nullptr;
    manager = nullptr;
    radio = nullptr;
}

void Pelotune::addStackedWidget(QWidget* page)
{
    sizesBeforePages.insert(page, size());
    ui->stackedWidget->addWidget(page);
    ui->stackedWidget->setCurrentWidget(page);
    backButton->setVisible(ui->stackedWidget->count() > 2);
    rewireHelpButton();
}

void Pelotune::rewireHelpButton()
{
    disconnect(helpButton, &QPushButton::clicked, nullptr, nullptr);
    QStackedWidget* stack = ui->stackedWidget;
    if (stack->count() > 2) {
        // Every page has a helpClicked() slot with its own topic.
        connect(helpButton, SIGNAL(clicked()), stack->widget(stack->count() - 1), SLOT(helpClicked()));
    } else {
        connect(helpButton, &QPushButton::clicked, this, &Pelotune::helpClicked);
    }
}

void Pelotune::pageRemoved(int)
{
    backButton->setVisible(ui->stackedWidget->count() > 2);
    rewireHelpButton();
    giveBackRoom();
}

void Pelotune::giveBackRoom()
{
    int before = 0;
    for (auto entry = sizesBeforePages.begin(); entry != sizesBeforePages.end();) {
        // Only compared, never used: the page may be gone already.
        if (ui->stackedWidget->indexOf(entry.key()) < 0) {
            before = std::max(before, entry.value().height());
            entry = sizesBeforePages.erase(entry);
        } else {
            ++entry;
        }
    }
    if (before == 0) {
        return;
    }
    centralWidget()->layout()->invalidate();
    layout()->activate();
    // A page that needed more room than the window had made it grow: once it has gone, the window
    // goes back to the height it had before that page, as far as the pages still there allow.
    if (height() > before) {
        resize(width(), std::max(before, minimumHeight()));
    }
}

void Pelotune::backClicked()
{
    QStackedWidget* stack = ui->stackedWidget;
    if (stack->count() > 2) {
        QWidget* page = stack->currentWidget();
        if (!page->close()) {
            return;
        }
        stack->removeWidget(page);
        page->deleteLater();
        stack->setCurrentIndex(stack->count() >= 3 ? stack->count() - 1 : 0);
    }
    backButton->setVisible(stack->count() > 2);
    rewireHelpButton();
    if (stack->count() <= 2 && device) {
        device->destroy();
        device = nullptr;
    }
}

void Pelotune::allBackTimer()
{
    backTimer->start();
}

void Pelotune::allBack()
{
    QStackedWidget* stack = ui->stackedWidget;
    int refusals = 0;
    while (stack->count() > 2) {
        const int before = stack->count();
        backClicked();
        if (stack->count() < before) {
            refusals = 0;
        } else if (++refusals >= kMaxCloseRefusals) {
            Log::warning("Pelotune::allBack a page refuses to close, leaving it");
            return;
        }
    }
}

void Pelotune::keepJob(QThread* job)
{
    keptJobs.removeAll(QPointer<QThread>());
    keptJobs.append(job);
}

void Pelotune::showHelp(const QString& topic)
{
    const QString address = QString(HELP_URL) + "/" + topic + ".html";
    if (QDesktopServices::openUrl(QUrl(address))) {
        return;
    }
    logAlert("Pelotune::showHelp no web browser took " + address);
    auto* box = new QMessageBox(QMessageBox::Warning, "No web browser found",
                                "The help page could not be opened: no web browser is set up to open it.\n\n"
                                "Open this address in a web browser:\n" +
                                    address,
                                QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void Pelotune::helpClicked()
{
    showHelp("pelotune");
}

QString Pelotune::dataFolder()
{
    QString location = dataFolderOverride;
    if (location.isEmpty()) {
        location = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    }
    QDir folder(QDir::toNativeSeparators(location));
    if (!folder.exists()) {
        folder.mkpath(".");
    }
    return folder.path();
}

QString Pelotune::appFolder()
{
    return QDir::toNativeSeparators(QDir::cleanPath(QCoreApplication::applicationDirPath()));
}

QString Pelotune::appResourceFolder()
{
    // Installed as <prefix>/bin/pelotune, the program's files are in <prefix>/share/pelotune.
    return QDir::toNativeSeparators(
        QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/pelotune/"));
}

int Pelotune::apVersion()
{
    return radio ? radio->apVersion() : 0;
}

int Pelotune::radioManagerVersion()
{
    return manager ? manager->version() : 0;
}

void Pelotune::about()
{
    showBox(this, QMessageBox::Information, "About", QString("Pelotune Zuridi version: ") + "1.9");
}

void Pelotune::antInfo()
{
    const int product = radio ? radio->version() : 0;
    showBox(this, QMessageBox::Information, "ANT Device",
            QString("USB Vendor:0x%1").arg(ANT_VENDOR, 0, 16) + QString(" Product:0x%1").arg(product, 0, 16));
}

void Pelotune::update()
{
    // A blocking box opened inside a callback runs a nested event loop in which this timer fires
    // again: the manager is not re-entered.
    if (updating || !manager) {
        return;
    }
    updating = true;
    // Callbacks may drop the window's references to the objects whose call delivered them.
    IntrusivePointer<vant::ant::AntRadioManager> keepManager = manager;
    IntrusivePointer<vant::search::SportDeviceSearch> keepSearch = deviceSearch;
    IntrusivePointer<vant::device::VelonixPowerMeterDevice> keepDevice = device;
    *pumpedMs += PUMP_MS;
    keepManager->update(PUMP_MS);
    updating = false;
}

bool Pelotune::setupAntRadio()
{
    takeDownManager();

    for (const Stick& stick : STICKS) {
        radio = radioFactory(stick.baud, ANT_VENDOR, stick.product);
        stickProduct = stick.product;
        manager = new vant::ant::AntRadioManager(radio.get(), nullptr);
        const bool opened = manager->create();
        if (stick.product != 0x1004) {
            if (opened) {
                break;
            }
            manager->destroy();
            continue;
        }
        manager->destroy();
        manager = nullptr;
        stickProduct = 0;
        if (!opened) {
            return false;
        }
        // The program ends once the box is answered. Its event loop would otherwise run the 2000 ms
        // retry again, which finds the same stick and stacks another box on this one.
        if (pumpTimer != nullptr) {
            pumpTimer->stop();
        }
        QMessageBox box(QMessageBox::Warning, "Unsupported", UNSUPPORTED_TEXT, QMessageBox::Ok, this);
        box.exec();
        exitHandler(-1);
        return false;
    }

    manager->addManagerListener(this);
    ui->searchButton->setEnabled(true);
    ui->enterIDButton->setEnabled(true);
    switch (radio->apVersion()) {
    case 1:
        ui->ANTButton->setText("ANT+ Dongle Type: AP1");
        break;
    case 2:
        ui->ANTButton->setText("ANT+ Dongle Type: AP2");
        break;
    default:
        break;
    }
    ui->ANTButton->setEnabled(true);
    logAlert("Pelotune::setupAntRadio success");
    return true;
}

void Pelotune::startPump()
{
    deviceSearch = new vant::search::SportDeviceSearch(manager.get());
    deviceSearch->addSportDeviceSearchListener(this);
    connect(pumpTimer, &QTimer::timeout, this, &Pelotune::update);
    pumpTimer->start(PUMP_MS);
}

void Pelotune::stopPumpTimer()
{
    pumpTimer->stop();
    disconnect(pumpTimer, &QTimer::timeout, this, nullptr);
}

void Pelotune::takeDownSearch()
{
    if (!deviceSearch) {
        return;
    }
    deviceSearch->removeSportDeviceSearchListener(this);
    deviceSearch->destroy();
    deviceSearch = nullptr;
}

void Pelotune::takeDownManager()
{
    if (!manager) {
        return;
    }
    manager->removeManagerListener(this);
    manager->destroy();
    manager = nullptr;
}

void Pelotune::checkForUsbDevice()
{
    logAlert("Pelotune::checkForUsbDevice()");
    if (!setupAntRadio()) {
        return;
    }
    stopPumpTimer();
    startPump();
}

void Pelotune::stateChanged(bool up)
{
    logAlert("Pelotune::stateChanged state:" + flag(up));
    if (up || pumpTimer == nullptr) {
        return;
    }
    stopPumpTimer();
    if (deviceSearch) {
        deviceSearch->cancel();
    }
    takeDownSearch();
    takeDownManager();
    ui->searchButton->setEnabled(false);
    ui->enterIDButton->setEnabled(false);
    ui->ANTButton->setText("ANT+ Dongle Type: None");
    ui->ANTButton->setEnabled(false);
    connect(pumpTimer, &QTimer::timeout, this, &Pelotune::checkForUsbDevice);
    pumpTimer->start(RETRY_MS);
    if (ui->stackedWidget->count() <= 2) {
        return;
    }
    // The pages of the meter go without a word of their own: the user learns what became of their
    // work, and that the meter (which may still stand in a setting a page gave it) wants opening again.
    QString work;
    for (int i = ui->stackedWidget->count() - 1; i >= 2 && work.isEmpty(); --i) {
        work = ui->stackedWidget->widget(i)->property(kLostWorkProperty).toString();
    }
    while (ui->stackedWidget->count() > 2) {
        backClicked();
    }
    showBox(this, QMessageBox::Warning, "Stick Lost", stickLostText(work));
}

void Pelotune::capabilitiesReceived(unsigned char*)
{
    logAlert("Pelotune::capabilitiesReceived");
}

void Pelotune::versionReceived(unsigned char*)
{
    logAlert("Pelotune::versionReceived");
}

void Pelotune::killAndRestartRadio()
{
    logAlert("Pelotune::killSearch");
    if (pumpTimer == nullptr) {
        return;
    }
    stopPumpTimer();
    takeDownSearch();
    takeDownManager();

    bool reopened = false;
    if (stickProduct == 0x1008 || stickProduct == 0x1009) {
        radio = radioFactory(57600, ANT_VENDOR, stickProduct);
        manager = new vant::ant::AntRadioManager(radio.get(), nullptr);
        reopened = manager->create();
    }
    if (!reopened) {
        logAlert("Pelotune::killSearch failed to reconnect to ANT stick and will start over");
        if (manager) {
            manager->destroy();
            manager = nullptr;
        }
        stateChanged(false);
        return;
    }
    manager->addManagerListener(this);
    logAlert("Pelotune::killSearch successfully reconnected to ANT stick");
    startPump();
}

void Pelotune::showSearchList()
{
    logAlert("Pelotune::showSearchList");
    openId = 0;
    seenIds.clear();
    QLayout* list = ui->powermeterList->layout();
    while (QLayoutItem* item = list->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    list->invalidate();
    ui->stackedWidget->setCurrentIndex(1);
    bootloadPass = false;
    startSearch();
}

void Pelotune::startSearch()
{
    logAlert("Pelotune::startSearch bootload:" + flag(bootloadPass));
    if (!deviceSearch) {
        return;
    }
    if (bootloadPass) {
        deviceSearch->search(16, 0, -1, 3136, 70, 0, false);
    } else {
        deviceSearch->search(16, -1, -1, -1, -1, -1, false);
    }
}

void Pelotune::cancelSearch()
{
    logAlert("Pelotune::cancelSearch:");
    if (deviceSearch) {
        deviceSearch->cancel();
    }
    ui->stackedWidget->setCurrentIndex(0);
}

void Pelotune::deviceFound(int deviceNumber, int channel)
{
    logAlert(QString("Pelotune::deviceFound id:%1 channel:%2").arg(deviceNumber).arg(channel));
    if (openId != 0) {
        // Only the meter asked for opens: a channel that found another one (a list search still
        // running, a stick answering for another meter) would send the page's writes to it.
        if (deviceNumber != std::abs(openId)) {
            logAlert(QString("Pelotune::deviceFound ignoring id:%1 while opening:%2")
                         .arg(deviceNumber)
                         .arg(std::abs(openId)));
            return;
        }
        openChannel = channel;
        return;
    }
    const int listed = bootloadPass ? -deviceNumber : deviceNumber;
    for (int seen : seenIds) {
        if (seen == listed) {
            logAlert(QString("Pelotune::deviceFound already see id:%1").arg(listed));
            return;
        }
    }
    logAlert(QString("Pelotune::deviceFound adding new device:%1").arg(listed));
    seenIds.push_back(listed);
    auto* entry = new PowermeterWidget(ui->powermeterList);
    entry->setID(std::abs(listed));
    connect(entry,
            static_cast<void (PowermeterWidget::*)(PowermeterWidget*)>(&PowermeterWidget::connectPowermeter),
            this, static_cast<void (Pelotune::*)(PowermeterWidget*)>(&Pelotune::connectToPowermeter));
    ui->powermeterList->layout()->addWidget(entry);
}

void Pelotune::listPassFinished()
{
    if (!bootloadPass) {
        bootloadPass = true;
        startSearch();
        return;
    }
    bootloadPass = false;
    if (seenIds.empty()) {
        showNoDevicesFound();
    }
}

void Pelotune::showNoDevicesFound(int lookedFor)
{
    auto* box = new QMessageBox(QMessageBox::Warning, "Failed", "No Devices Found", QMessageBox::Ok, this);
    if (lookedFor != 0) {
        box->setInformativeText(QString("No power meter with ID %1 answered, neither in normal operation nor "
                                        "in its bootloader. Turn the crank to wake the power meter, check the "
                                        "ID and bring the stick closer, then try again.")
                                    .arg(lookedFor));
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    ui->stackedWidget->setCurrentIndex(0);
}

void Pelotune::setOpening(bool opening)
{
    const bool free = !opening && manager;
    ui->searchButton->setEnabled(free);
    ui->enterIDButton->setEnabled(free);
}

void Pelotune::connectToPowermeter(PowermeterWidget* widget)
{
    logAlert(
        QString("Pelotune::connectToPowermeter id:%1 using channel:%2").arg(widget->id).arg(openChannel));
    ui->stackedWidget->setCurrentIndex(0);
    openId = widget->id;
    setOpening(true);
    if (deviceSearch) {
        deviceSearch->cancel();
    }
}

void Pelotune::enterID()
{
    logAlert("Pelotune::enterID");
    if (idDialog != nullptr) {
        idDialog->deleteLater();
        idDialog = nullptr;
    }
    idDialog = new QInputDialog(this);
    idDialog->setInputMode(QInputDialog::IntInput);
    idDialog->setWindowTitle("Enter Power Meter ID");
    idDialog->setLabelText("ID:");
    idDialog->setIntRange(0, 65535);
    idDialog->setIntValue(0);
    connect(idDialog, &QDialog::accepted, this,
            static_cast<void (Pelotune::*)()>(&Pelotune::connectToPowermeter));
    connect(idDialog, &QDialog::rejected, this, &Pelotune::cancelEnterId);
    idDialog->setModal(true);
    idDialog->show();
}

void Pelotune::cancelEnterId()
{
    if (idDialog != nullptr) {
        idDialog->deleteLater();
        idDialog = nullptr;
    }
}

void Pelotune::connectToPowermeter()
{
    if (idDialog != nullptr) {
        openId = idDialog->intValue();
        idDialog->deleteLater();
        idDialog = nullptr;
    }
    if (openId == 0) {
        // 0 names no meter (it is the search's "any device"), and it is the value that means no
        // open is under way: nothing is opened.
        showNoDevicesFound();
        return;
    }
    setOpening(true);
    showConnectingBox();
    startOpen();
}

void Pelotune::showConnectingBox()
{
    // A box left behind by "Cancel" is only hidden; it goes before the next one comes.
    closeConnectingBox();
    connectingBox = new QProgressDialog("Connecting to power meter...", "Cancel", 0, 0, this);
    connectingBox->setModal(true);
    connectingBox->show();
}

void Pelotune::closeConnectingBox()
{
    if (connectingBox == nullptr) {
        return;
    }
    connectingBox->close();
    connectingBox->deleteLater();
    connectingBox = nullptr;
}

void Pelotune::startOpen()
{
    logAlert(QString("Pelotune::startOpen id:%1").arg(openId));
    openChannel = -1;
    if (!deviceSearch) {
        return;
    }
    if (openId > 0) {
        deviceSearch->search(6, openId, -1, -1, -1, -1, false);
    } else {
        deviceSearch->search(6, -openId, -1, 3136, 70, 0, false);
    }
}

void Pelotune::searchFinished(bool cancelled)
{
    logAlert("Pelotune::searchFinished canceled:" + flag(cancelled));
    if (!cancelled && openId > 0 && !(openChannel >= 0 && manager)) {
        // Not found in normal operation: the bootloader pass follows under the same busy box.
        openId = -openId;
        startOpen();
        return;
    }
    closeConnectingBox();

    if (cancelled) {
        if (openId != 0) {
            showConnectingBox();
            startOpen();
        }
        return;
    }
    if (openId == 0) {
        listPassFinished();
        return;
    }
    setOpening(false);
    if (openChannel >= 0 && manager) {
        logAlert(QString("Pelotune::searchFinished connecting to power meter id:%1 on channel:%2")
                     .arg(openId)
                     .arg(openChannel));
        const bool bootloader = openId < 0;
        device = new vant::device::VelonixPowerMeterDevice(std::abs(openId), manager.get(), openChannel,
                                                           bootloader);
        QWidget* page = nullptr;
        if (bootloader) {
            page = new Firmware(device.get(), this, true);
        } else {
            // The meter's silence is measured in the time the radio was pumped: a thread kept busy
            // elsewhere, or a box open inside a callback, hears nothing and is no silence of the meter.
            page = new Sensor(device.get(), this, [pumped = pumpedMs] { return *pumped; });
        }
        addStackedWidget(page);
        return;
    }
    showNoDevicesFound(-openId);
}
