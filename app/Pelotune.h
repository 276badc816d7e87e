#pragma once

#include "ant/AntManagerListener.h"
#include "ant/search/SportDeviceSearchListener.h"
#include "app/ConnectionWatchdog.h"
#include "core/IntrusivePointer.h"

#include <QGraphicsScene>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class QInputDialog;
class QLockFile;
class QProgressDialog;
class QPushButton;
class QThread;
class QTimer;
class Ui_pelotune;
class PowermeterWidget;

namespace rezezaz::core {
class FileLogger;
}
namespace vant::ant {
class AntRadio;
class AntRadioManager;
} // namespace vant::ant
namespace vant::search {
class SportDeviceSearch;
}
namespace vant::device {
class VelonixPowerMeterDevice;
}

// The program's one top-level window. It owns the log file, the ANT stick (radio and manager), the
// device search and the connected power meter, pumps the manager every 33 ms on the GUI thread and
// shows everything as pages on one stack: index 0 the menu, index 1 the list of found meters, and a
// connected meter's pages above them. Pages use its services: push a page, go back one page or to the
// list, open a help topic, the per-user data folder.
class Pelotune : public QMainWindow,
                 public vant::ant::AntManagerListener,
                 public vant::search::SportDeviceSearchListener
{
    Q_OBJECT

public:
    // Makes the radio of the stick with these USB ids (nothing is opened yet); the window tries the
    // sticks it supports through it. The program uses new_PCAntRadio.
    using RadioFactory = std::function<vant::ant::AntRadio*(int baud, int vendor, int product)>;
    // Ends the program with the given status once a stick that can't be used was refused.
    using ExitHandler = std::function<void(int status)>;
    // How often in a row allBack() asks a page that refuses to close before it leaves it.
    static constexpr int kMaxCloseRefusals = 100;
    // A meter page names its work in this property ("calibration"): a stick lost while the page is
    // open tells the user that this work was cancelled.
    static constexpr const char* kLostWorkProperty = "lostWork";

    // The window of the program: real sticks, the user's data location, std::exit.
    explicit Pelotune(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    // `dataFolder` empty takes the user's data location; `exitHandler` empty takes std::exit.
    Pelotune(RadioFactory radioFactory, const QString& dataFolder, ExitHandler exitHandler = {},
             QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~Pelotune() override;

    Pelotune(const Pelotune&) = delete;
    Pelotune& operator=(const Pelotune&) = delete;

    // Pushes a page and makes it current; the window owns it from then on.
    void addStackedWidget(QWidget* page);
    // Opens the help page of `topic` in the user's browser.
    void showHelp(const QString& topic);
    // The per-user data folder, created when missing (log file, chainring data, firmware files).
    QString dataFolder();
    // The firmware server the firmware pages talk to; empty (the default) means the one built in.
    void setFirmwareServer(const QUrl& server) { firmwareServerOverride = server; }
    const QUrl& firmwareServer() const { return firmwareServerOverride; }
    // The folder of the program's executable, and the folder of the files it reads at run time
    // (share/pelotune of the prefix the program is installed in).
    QString appFolder();
    QString appResourceFolder();
    // The open stick's AP version: 1 AP1, 2 AP2, 0 other or no radio.
    int apVersion();
    // The version the stick's manager reports (the stick's USB product id); 0 without a stick.
    int radioManagerVersion();
    // Closes the stick objects and opens the same stick again; falls back to the 2000 ms retry.
    void killAndRestartRadio();
    // Takes over a worker thread whose work must end even when the page that started it goes first
    // (the firmware page's upload report) and that asks the GUI thread nothing: it runs to its end
    // and deletes itself, or is told to quit and waited for when the window goes.
    void keepJob(QThread* job);
    // The watchdog of the connected meter, kept by the meter's home page; null without one.
    void setMeterWatch(ConnectionWatchdog* watch) { meterWatchdog = watch; }
    ConnectionWatchdog* meterWatch() const { return meterWatchdog.data(); }

    // vant::ant::AntManagerListener
    void stateChanged(bool up) override;
    void capabilitiesReceived(unsigned char* payload) override;
    void versionReceived(unsigned char* payload) override;
    // vant::search::SportDeviceSearchListener
    void deviceFound(int deviceNumber, int channel) override;
    void searchFinished(bool cancelled) override;

public slots:
    void showSearchList();
    void startSearch();
    void cancelSearch();
    void enterID();
    void about();
    void antInfo();
    // The pump: one tick of the ANT manager (33 ms).
    void update();
    // The 2000 ms retry while no stick is open.
    void checkForUsbDevice();
    void connectToPowermeter(PowermeterWidget* widget);
    // Goes back one page; leaving the last page of a meter disconnects it.
    void backClicked();
    // Runs allBack() 1000 ms later (restarts when called again before).
    void allBackTimer();
    // Goes back until only the menu and the search list remain. A page may refuse to close, one of
    // its own steps at a time; one that still refuses after kMaxCloseRefusals tries in a row is left
    // on top.
    void allBack();
    void helpClicked();
    // The "Enter Power Meter ID" dialog was accepted.
    void connectToPowermeter();
    void cancelEnterId();

private:
    // Opens the first supported stick that answers; true on success.
    bool setupAntRadio();
    // Runs the open search for openId (normal settings above 0, bootloader settings otherwise).
    void startOpen();
    // A new search on the manager with the window as its listener, and the 33 ms pump.
    void startPump();
    // Stops the pump timer and disconnects it from whatever it ran.
    void stopPumpTimer();
    // Drops the search and the manager (listener removed, destroyed, released).
    void takeDownSearch();
    void takeDownManager();
    // The end of a list search pass.
    void listPassFinished();
    // "No Devices Found"; `lookedFor` names the meter an open looked for (0: a list search).
    void showNoDevicesFound(int lookedFor = 0);
    // While a meter is being opened the search and the number dialog can't be started again; they
    // come back at the open's end when a stick is there.
    void setOpening(bool opening);
    void showConnectingBox();
    void closeConnectingBox();
    void rewireHelpButton();
    // Keeps Back and Help right when a page leaves the stack by any way.
    void pageRemoved(int index);
    // Shrinks the window back to where it was before a page that has left made it grow.
    void giveBackRoom();

    RadioFactory radioFactory;
    QString dataFolderOverride;
    QUrl firmwareServerOverride;
    ExitHandler exitHandler;

    std::unique_ptr<rezezaz::core::FileLogger> fileLogger;
    // Held beside the log while this instance writes it: a second instance on the same data folder
    // keeps no log file, so that it never moves or empties the running one's.
    std::unique_ptr<QLockFile> logLock;
    rezezaz::core::IntrusivePointer<vant::ant::AntRadio> radio;
    rezezaz::core::IntrusivePointer<vant::ant::AntRadioManager> manager;
    rezezaz::core::IntrusivePointer<vant::search::SportDeviceSearch> deviceSearch;
    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
    int openId = 0;
    std::vector<int> seenIds;
    int openChannel = -1;
    bool bootloadPass = false;
    int stickProduct = 0;
    std::unique_ptr<Ui_pelotune> ui;
    QTimer* pumpTimer = nullptr;
    QTimer* backTimer = nullptr;
    QProgressDialog* connectingBox = nullptr;
    QInputDialog* idDialog = nullptr;
    QGraphicsScene logoScene;
    QPushButton* backButton = nullptr;
    QPushButton* helpButton = nullptr;
    // A blocking box opened inside a callback runs a nested event loop in which the pump fires again.
    bool updating = false;
    // Milliseconds of radio time: each turn of the pump adds its period. The meter pages measure the
    // meter's silence with it; shared, as the pages read it also while the window is being torn down.
    std::shared_ptr<std::int64_t> pumpedMs = std::make_shared<std::int64_t>(0);
    QList<QPointer<QThread>> keptJobs;
    QPointer<ConnectionWatchdog> meterWatchdog;
    // The window's size when each page on the stack was pushed.
    QHash<QWidget*, QSize> sizesBeforePages;
};
