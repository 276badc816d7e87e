#include "firmware/FirmwareChecker.h"

#include "app/TrustedCertificates.h"

#include "core/Log.h"
#include "firmware/FirmwareImageFile.h"
#include "firmware/HardwareRevisionQuery.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QIODevice>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QThread>
#include <QTimer>
#include <QXmlStreamReader>

#include <cstring>

using rezezaz::core::Log;

namespace {

// Where downloads wait until the whole new set has arrived; the image selection reads only the files
// of the folder itself.
const char* const kDownloadArea = "downloading";

// The file name a link ends with: what follows its last "/", the whole text without one.
QString lastPart(const QString& text)
{
    return text.mid(text.lastIndexOf('/') + 1);
}

// A request body that can be read once only. The HTTP layer posts a request again when the
// connection closes before the answer, but a report that reached the server must not arrive twice:
// with a body it cannot read again, the layer gives the request up as failed instead.
class OneTimeBody : public QIODevice
{
public:
    OneTimeBody(const QByteArray& data, QObject* parent) : QIODevice(parent), data(data)
    {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return data.size() - position + QIODevice::bytesAvailable(); }
    bool reset() override { return false; }

protected:
    qint64 readData(char* out, qint64 maximum) override
    {
        const qint64 count = qMin(maximum, qint64(data.size()) - position);
        if (count <= 0) {
            return -1;
        }
        memcpy(out, data.constData() + position, size_t(count));
        position += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray data;
    qint64 position = 0;
};

// A name the folder may hold: letters, digits, ".", "-" and "_", not beginning with a dot. Nothing
// else reaches a file name, the image list or the upload report.
bool plainFileName(const QString& name)
{
    if (name.isEmpty() || name.startsWith('.')) {
        return false;
    }
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                           u == '.' || u == '-' || u == '_';
        if (!plain) {
            return false;
        }
    }
    return true;
}

} // namespace

FirmwareChecker::FirmwareChecker(const FirmwareCheckInput& input, const QString& firmwareFolder,
                                 std::shared_ptr<HardwareRevisionQuery> hardwareRevision,
                                 const FirmwareServer& server)
    : manager(new QNetworkAccessManager(this)), input(input), folder(firmwareFolder),
      hardwareRevision(std::move(hardwareRevision)), server(server)
{
    connect(manager, &QNetworkAccessManager::sslErrors, this, &FirmwareChecker::rssSslErrors);
}

FirmwareChecker::~FirmwareChecker() = default;

QThread* FirmwareChecker::start(FirmwareChecker* checker, void (FirmwareChecker::*job)())
{
    auto* thread = new QThread();
    checker->moveToThread(thread);
    connect(thread, &QThread::started, checker, job);
    // Quit at once from the job's own thread: its event loop ends with the job.
    connect(checker, &FirmwareChecker::finished, thread, &QThread::quit, Qt::DirectConnection);
    // Deferred deletions still run on a thread whose loop has ended, also one told to quit early.
    connect(thread, &QThread::finished, checker, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return thread;
}

QNetworkRequest FirmwareChecker::request(const QUrl& url) const
{
    QNetworkRequest request(url);
    request.setSslConfiguration(TrustedCertificates::verifiedConfiguration("FirmwareChecker"));
    request.setTransferTimeout(server.timeoutMs);
    // The credential goes nowhere else than where it was sent.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    request.setRawHeader("Authorization",
                         "Basic " + (input.uuid + ":" + MORTAL_PASSWORD).toLatin1().toBase64());
    request.setRawHeader("User-Agent", "Pelotune PC");
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    return request;
}

void FirmwareChecker::routeAnswers(void (FirmwareChecker::*handler)(QNetworkReply*))
{
    disconnect(manager, &QNetworkAccessManager::finished, nullptr, nullptr);
    connect(manager, &QNetworkAccessManager::finished, this, handler);
}

QNetworkReply* FirmwareChecker::post(const QNetworkRequest& request, const char* operation)
{
    QNetworkReply* reply = manager->post(request, QByteArray());
    bound(reply, operation);
    return reply;
}

QNetworkReply* FirmwareChecker::post(const QNetworkRequest& request, QIODevice* body, const char* operation)
{
    QNetworkReply* reply = manager->post(request, body);
    bound(reply, operation);
    return reply;
}

void FirmwareChecker::bound(QNetworkReply* reply, const char* operation)
{
    const QString name = operation;
    // The transfer timeout starts again with every byte: a server that trickles would hold the
    // exchange for ever.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, [reply, name, ms = server.deadlineMs] {
        if (reply->isRunning()) {
            Log::alert(QString("FirmwareChecker::%1 no whole answer within %2 ms").arg(name).arg(ms));
            reply->abort();
        }
    });
    deadline->start(server.deadlineMs);
    // Read no further than the cap: nothing that large is a catalogue or an image. The size the
    // answer gives is judged as soon as it is known; what arrives, at each arrival (the progress
    // signal comes only every so often, and a fast server sends many megabytes in between).
    const auto tooLarge = [reply, name](qint64 size) {
        if (size > FirmwareServer::MAX_ANSWER_BYTES && reply->isRunning()) {
            Log::alert(QString("FirmwareChecker::%1 answer larger than %2 bytes")
                           .arg(name)
                           .arg(FirmwareServer::MAX_ANSWER_BYTES));
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [tooLarge](qint64, qint64 total) { tooLarge(total); });
    connect(reply, &QNetworkReply::readyRead, reply,
            [reply, tooLarge] { tooLarge(reply->bytesAvailable()); });
}

bool FirmwareChecker::failed(QNetworkReply* reply, const char* operation)
{
    if (reply->error() == QNetworkReply::NoError) {
        return false;
    }
    Log::alert(QString("FirmwareChecker::%1 http error:%2 with description:%3")
                   .arg(operation)
                   .arg(int(reply->error()))
                   .arg(reply->errorString()));
    emit networkError();
    return true;
}

bool FirmwareChecker::secure(const QUrl& url, const char* operation)
{
    if (url.scheme() == QLatin1String("https") && !url.host().isEmpty()) {
        return true;
    }
    // The credential travels over verified TLS only.
    Log::alert(QString("FirmwareChecker::%1 refused address without https:").arg(operation) + url.toString());
    emit networkError();
    return false;
}

void FirmwareChecker::checkFirmware()
{
    Log::alert("FirmwareChecker::checkFirmware");
    QUrl url = server.url;
    url.setPath(url.path() + "/rss");
    if (!secure(url, "checkFirmware")) {
        // As after a failed catalogue: the choice from the cached images.
        findLatestFirmwareFiles();
        emit finished();
        return;
    }
    QNetworkRequest catalogue = request(url);
    Log::alert("FirmwareChecker::checkFirmware SSL using secure protocols only.");
    routeAnswers(&FirmwareChecker::rssFinished);
    post(catalogue, "rssFinished");
}

void FirmwareChecker::rssSslErrors(QNetworkReply*, const QList<QSslError>& errors)
{
    // Not ignored: the request fails with them, and nothing is sent to that server.
    for (const QSslError& error : errors) {
        Log::alert("FirmwareChecker::rssSslErrors SSL error:" + error.errorString());
    }
}

void FirmwareChecker::rssFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    Log::alert("FirmwareChecker::rssFinished");
    QStringList links;

    if (!failed(reply, "rssFinished")) {
        QXmlStreamReader xml(reply->readAll());
        bool rootSeen = false;
        bool isCatalogue = false;
        bool itemsStarted = false;
        QString element;
        QString title;
        QString link;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                if (!rootSeen) {
                    rootSeen = true;
                    isCatalogue = xml.name() == QLatin1String("rss");
                }
                if (!itemsStarted && xml.name() == QLatin1String("item")) {
                    itemsStarted = true;
                }
                element = xml.name().toString();
            } else if (xml.isEndElement() && xml.name() == QLatin1String("item")) {
                Log::alert("FirmwareChecker::readData found firmware for: " + title);
                Log::alert("FirmwareChecker::readData with download link: " + link);
                links.append(link);
                title.clear();
                link.clear();
            } else if (xml.isCharacters() && !xml.isWhitespace() && itemsStarted) {
                if (element == QLatin1String("title")) {
                    title += xml.text();
                } else if (element == QLatin1String("link")) {
                    link += xml.text();
                }
            }
        }
        const bool broken = xml.hasError() && xml.error() != QXmlStreamReader::PrematureEndOfDocumentError;
        if (broken) {
            Log::alert(QString("FirmwareChecker::readData hit xml error:%1").arg(int(xml.error())));
        }
        if (!isCatalogue) {
            // An error page or garbage is no catalogue saying there is no firmware.
            Log::alert("FirmwareChecker::rssFinished the answer is no firmware catalogue");
            links.clear();
            emit networkError();
        }
    }

    if (downloadMissingFirmwares(links) == 0) {
        findLatestFirmwareFiles();
        emit finished();
    }
}

void FirmwareChecker::purgeFolder(const QStringList& kept)
{
    QDir directory(folder);
    // Hidden files stay: no download writes one (a name never begins with a dot).
    for (const QString& name : directory.entryList(QDir::Files)) {
        if (kept.contains(name)) {
            continue;
        }
        Log::alert("FirmwareChecker::rssFinished deleted cached firmware:" + name);
        directory.remove(name);
    }
}

void FirmwareChecker::finishDownloads()
{
    QDir area(folder + "/" + kDownloadArea);
    if (downloadFailed) {
        Log::alert("FirmwareChecker::downloadFinished a download failed, the cached firmware stays");
    } else {
        purgeFolder(cataloguedNames);
        for (const QString& name : downloadedNames) {
            QDir(folder).remove(name);
            if (!QDir().rename(area.filePath(name), folder + "/" + name)) {
                Log::alert("FirmwareChecker::downloadFinished unable to move firmware file:" + name);
                emit networkError();
            }
        }
    }
    area.removeRecursively();
}

int FirmwareChecker::downloadMissingFirmwares(const QStringList& links)
{
    routeAnswers(&FirmwareChecker::downloadFinished);
    cataloguedNames.clear();
    downloadedNames.clear();
    downloadFailed = false;
    QList<QUrl> wanted;
    for (const QString& link : links) {
        if (lastPart(link).isEmpty()) {
            Log::alert("FirmwareChecker::downloadMissingFirmware no file name in link:" + link);
            continue;
        }
        const QUrl url(link);
        // The name the file is stored under, as the download takes it: from the decoded path.
        const QString name = lastPart(url.path());
        if (!plainFileName(name)) {
            Log::alert("FirmwareChecker::downloadMissingFirmware refused file name in link:" + link);
            continue;
        }
        // A refused address is left out of the set (and reported), the others still come.
        if (!secure(url, "downloadMissingFirmware")) {
            continue;
        }
        if (wanted.size() >= FirmwareServer::MAX_IMAGES) {
            Log::alert(QString("FirmwareChecker::downloadMissingFirmware more than %1 images, left out:")
                           .arg(FirmwareServer::MAX_IMAGES) +
                       link);
            continue;
        }
        cataloguedNames.append(name);
        Log::alert("FirmwareChecker::downloadMissingFirmware will download:" + link);
        wanted.append(url);
    }
    pendingDownloads = int(wanted.size());
    if (pendingDownloads == 0) {
        if (!links.isEmpty()) {
            purgeFolder(cataloguedNames);
        }
        return 0;
    }
    QDir(folder + "/" + kDownloadArea).removeRecursively();
    // A folder that is not there is not made here: its writes fail and are reported.
    if (QDir(folder).exists()) {
        QDir().mkpath(folder + "/" + kDownloadArea);
    }
    for (const QUrl& url : wanted) {
        post(request(url), "downloadFinished");
    }
    return pendingDownloads;
}

void FirmwareChecker::downloadFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    Log::alert("FirmwareChecker::downloadFinished");
    --pendingDownloads;

    if (failed(reply, "downloadFinished")) {
        downloadFailed = true;
    } else {
        const QString name = lastPart(reply->request().url().path());
        QByteArray body = reply->readAll();
        // Only an image goes into the cache: an error page or a damaged file would be offered.
        QBuffer content(&body);
        content.open(QIODevice::ReadOnly);
        FirmwareImageFile::Header header;
        QSaveFile file(folder + "/" + kDownloadArea + "/" + name);
        if (!FirmwareImageFile::readHeader(content, header)) {
            Log::alert("FirmwareChecker::downloadFinished not a firmware image:" + name);
            downloadFailed = true;
            emit networkError();
        } else if (!plainFileName(name) || !file.open(QIODevice::WriteOnly) ||
                   file.write(body) != body.size() || !file.commit()) {
            Log::alert("FirmwareChecker::downloadFinished unable to write firmware file:" + name);
            downloadFailed = true;
            emit networkError();
        } else {
            Log::alert("FirmwareChecker::downloadFinished wrote firmware file:" + name);
            if (!downloadedNames.contains(name)) {
                downloadedNames.append(name);
            }
        }
    }

    if (pendingDownloads == 0) {
        finishDownloads();
        findLatestFirmwareFiles();
        emit finished();
    }
}

void FirmwareChecker::findLatestFirmwareFiles()
{
    const int revision = hardwareRevision ? hardwareRevision->ask() : 0;
    const FirmwareImageFile::Selection chosen = FirmwareImageFile::select(folder, revision);
    if (chosen.beta.version > 0) {
        emit firmwareChosen(chosen.beta.fileName, chosen.beta.version, true);
    }
    if (chosen.release.version > 0) {
        emit firmwareChosen(chosen.release.fileName, chosen.release.version, false);
    }
}

void FirmwareChecker::reportSuccessfulUpload()
{
    Log::alert("FirmwareChecker::reportSuccessfulUpload");
    const QString date = QLocale::system().toString(QDateTime::currentDateTime(), "ddd MMM d hh:mm:ss yyyy");
    const QString body =
        input.uuid + "," + QString::number(input.serialNumber) + "," + input.uploadedImageName + "," + date;
    QUrl url = server.url;
    url.setPath(url.path() + "/rss");
    if (!secure(url, "reportSuccessfulUpload")) {
        emit finished();
        return;
    }
    routeAnswers(&FirmwareChecker::reportFinished);
    const QByteArray content = body.toLatin1();
    QNetworkRequest report = request(url);
    report.setHeader(QNetworkRequest::ContentLengthHeader, content.size());
    report.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    auto* once = new OneTimeBody(content, this);
    QNetworkReply* reply = post(report, once, "reportFinished");
    once->setParent(reply);
}

void FirmwareChecker::reportFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    failed(reply, "reportFinished");
    emit finished();
}
