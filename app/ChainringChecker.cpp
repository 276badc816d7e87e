#include "app/ChainringChecker.h"

#include "app/TrustedCertificates.h"

#include "app/Implementer.h"
#include "app/Parse.h"
#include "core/Log.h"

#include <QDir>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

using rezezaz::core::Log;

namespace {

// A download that stalls this long ends as a network error instead of leaving its caller waiting.
constexpr int TRANSFER_TIMEOUT_MS = 30000;

} // namespace

ChainringChecker::ChainringChecker(QObject* parent, const QString& dataFolder, const QUrl& server)
    : QObject(parent), manager(new QNetworkAccessManager(this)), dataFolder(dataFolder), server(server)
{
    connect(manager, &QNetworkAccessManager::sslErrors, this, &ChainringChecker::jsonSslErrors);
}

QUrl ChainringChecker::defaultServer()
{
    return QUrl(CHAINRING_DATA_SERVER);
}

void ChainringChecker::checkData()
{
    Log::alert("ChainringChecker::checkData");

    QUrl url = server;
    url.setPath("/chainringData.json");
    QNetworkRequest request(url);
    request.setSslConfiguration(TrustedCertificates::verifiedConfiguration("ChainringChecker::checkData"));
    request.setTransferTimeout(TRANSFER_TIMEOUT_MS);
    request.setRawHeader("Authorization",
                         "Basic " + (QByteArray("pelotune:") + CHAINRING_DATA_PASSWORD).toBase64());
    request.setRawHeader("User-Agent", "Pelotune PC");
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");

    disconnect(manager, &QNetworkAccessManager::finished, nullptr, nullptr);
    connect(manager, &QNetworkAccessManager::finished, this, &ChainringChecker::jsonFinished);
    manager->get(request);
}

void ChainringChecker::jsonSslErrors(QNetworkReply*, const QList<QSslError>& errors)
{
    // Not ignored: the reply fails with a TLS error and the stored file stays.
    for (const QSslError& error : errors)
        Log::alert("ChainringChecker::jsonSslErrors SSL error:" + error.errorString());
}

void ChainringChecker::jsonFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    Log::alert("ChainringChecker::jsonFinished");

    if (reply->error() != QNetworkReply::NoError) {
        Log::alert(QString("ChainringChecker::jsonFinished http error:%1 with description:%2")
                       .arg(int(reply->error()))
                       .arg(reply->errorString()));
        Log::alert("ChainringChecker::jsonFinished loading cached data");
        emit finished();
        return;
    }

    Log::alert("ChainringChecker::jsonFinished downloading new chainring data");
    QByteArray body = reply->readAll();
    const qsizetype end = body.indexOf('\0');
    if (end >= 0)
        body.truncate(end);

    // Only chainring data replaces the stored file: an error page served with success, or a list
    // without the tables, would otherwise leave every reader with empty tables in place of the
    // compiled-in ones; so would a file larger than the reader takes.
    QJsonArray tables;
    QString error;
    if (body.size() > Parse::MAX_FILE_SIZE)
        error = QString("larger than %1 bytes").arg(Parse::MAX_FILE_SIZE);
    if (!error.isEmpty() || !Parse::readChainringText(body, tables, error) ||
        !Parse::holdsChainringTables(tables, error)) {
        Log::alert("ChainringChecker::jsonFinished invalid chainring data, keeping stored data: " + error);
        emit finished();
        return;
    }

    // Written beside the stored file and moved over it, so a failed write leaves the old one whole.
    QSaveFile file(QDir::toNativeSeparators(dataFolder + "/chainringData.json"));
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.commit())
        Log::alert("ChainringChecker::jsonFinished unable to update stored chainring data");
    emit finished();
}
