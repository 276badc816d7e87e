#pragma once

#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Downloads "chainringData.json" from the chainring-data server into the data folder, where the
// chainring data reader looks first. The server's certificate is verified against the system's CA
// certificates and the compiled-in ":ca-bundle.crt"; a TLS error fails the download and the stored
// file stays. Owned by the page given as its parent. The program does not create one at present.
class ChainringChecker : public QObject
{
    Q_OBJECT

public:
    // `dataFolder`: where the downloaded file goes. `server`: the base address the file is fetched
    // from (scheme, host and port; the path "/chainringData.json" is set here).
    ChainringChecker(QObject* parent, const QString& dataFolder, const QUrl& server = defaultServer());

    static QUrl defaultServer();

public slots:
    // Starts the download; finished() follows when it has ended, whichever way.
    void checkData();
    // Logs the errors; the request then fails.
    void jsonSslErrors(QNetworkReply* reply, const QList<QSslError>& errors);
    // Stores a good download over the data folder's copy, then emits finished().
    void jsonFinished(QNetworkReply* reply);

signals:
    void finished();

private:
    QNetworkAccessManager* manager; // child
    QString dataFolder;
    QUrl server;
};
