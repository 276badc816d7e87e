#pragma once

#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class HardwareRevisionQuery;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QThread;

// What a checker job needs from the firmware page and its meter, copied on the GUI thread when the
// job is made.
struct FirmwareCheckInput
{
    // This installation's identifier: 36 upper-case characters, without braces.
    QString uuid;
    // The meter's serial number (its data field 6), 0 when the meter has not sent it.
    quint32 serialNumber = 0;
    // The file name of the image just uploaded, for the upload report.
    QString uploadedImageName;
};

// Where the firmware server is, how long a transfer may stall before it fails, how long one exchange
// (the catalogue, one image, the report) may take in all, and how large an answer may be: a
// catalogue and an image are some kilobytes, so a server that sends without end is given up.
struct FirmwareServer
{
    static constexpr qint64 MAX_ANSWER_BYTES = 1024 * 1024;
    // The catalogue names more images than a maker keeps: the ones past this are left out.
    static constexpr int MAX_IMAGES = 16;

    QUrl url = QUrl(FIRMWARE_URL);
    int timeoutMs = 30000;
    int deadlineMs = 60000;
};

// Every exchange with the firmware server, as one job on a worker thread of its own: either the
// catalogue check (fetch the RSS catalogue, refresh the firmware folder with the images it names,
// then choose the newest fitting release and beta image) or the upload report. Requests are HTTPS
// POSTs with the installation's credential, sent only to a server whose certificate the system's CA
// certificates or the compiled-in bundle vouch for. Results leave the job only as signals, which the
// page receives queued on its own thread; the job touches nothing of the page or the meter and asks
// its one question, the meter's hardware revision, through a HardwareRevisionQuery. start() runs a job;
// the checker and its thread are deleted when it is over.
class FirmwareChecker : public QObject
{
    Q_OBJECT

public:
    // Made on the GUI thread. `firmwareFolder`: where the images are kept.
    FirmwareChecker(const FirmwareCheckInput& input, const QString& firmwareFolder,
                    std::shared_ptr<HardwareRevisionQuery> hardwareRevision,
                    const FirmwareServer& server = FirmwareServer());
    ~FirmwareChecker() override;

    // Moves `checker` to a new thread and runs `job` (checkFirmware or reportSuccessfulUpload) there,
    // with its creator's priority. When the job is over, or the thread is told to quit, the thread
    // ends, the checker is deleted on it, and the thread object is deleted on its creator's thread.
    static QThread* start(FirmwareChecker* checker, void (FirmwareChecker::*job)());

    // Posts a download for each link whose file is not in the firmware folder; the number posted.
    int downloadMissingFirmwares(const QStringList& links);
    // Chooses the newest fitting images of the folder and hands them on (beta first).
    void findLatestFirmwareFiles();

signals:
    // An image chosen for the meter.
    void firmwareChosen(const QString& fileName, int version, bool isBeta);
    // An exchange of this job failed.
    void networkError();
    // The job is over; its results have been sent before.
    void finished();

public slots:
    void checkFirmware();
    void reportSuccessfulUpload();
    // Logs the errors; the request then fails with them.
    void rssSslErrors(QNetworkReply* reply, const QList<QSslError>& errors);
    void rssFinished(QNetworkReply* reply);
    void downloadFinished(QNetworkReply* reply);
    void reportFinished(QNetworkReply* reply);

private:
    QNetworkRequest request(const QUrl& url) const;
    // True for an https address; otherwise logged under `operation` and a network error.
    bool secure(const QUrl& url, const char* operation);
    // Sends the manager's answers to `handler` only.
    void routeAnswers(void (FirmwareChecker::*handler)(QNetworkReply*));
    // Posts `request` with `body` and bounds its answer in size and time: past either, the reply is
    // aborted (logged under `operation`) and ends as a network error.
    QNetworkReply* post(const QNetworkRequest& request, QIODevice* body, const char* operation);
    QNetworkReply* post(const QNetworkRequest& request, const char* operation);
    void bound(QNetworkReply* reply, const char* operation);
    // Logs the reply's error under `operation`; true when there was one.
    bool failed(QNetworkReply* reply, const char* operation);
    // Removes the cached images the catalogue no longer names.
    void purgeFolder(const QStringList& kept);
    // The downloads are over: with every one an image, the new set replaces the old; otherwise the
    // old cache stays as it was.
    void finishDownloads();

    QNetworkAccessManager* manager; // child, moves with the checker
    int pendingDownloads = 0;
    // The images the catalogue names, and the downloads kept in the folder's download area until
    // every one has arrived whole.
    QStringList cataloguedNames;
    QStringList downloadedNames;
    bool downloadFailed = false;
    FirmwareCheckInput input;
    QString folder;
    std::shared_ptr<HardwareRevisionQuery> hardwareRevision;
    FirmwareServer server;
};
