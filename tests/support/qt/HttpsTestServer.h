#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSslCertificate>
#include <QSslServer>
#include <QString>
#include <QUrl>

namespace support {

// An HTTPS server on 127.0.0.1, port chosen by the system, with a self-signed certificate for that
// address made for it when it starts. Every request gets the one response set; the
// requests that arrived are kept. It runs on the thread that made it: the test waits in an event loop
// (QSignalSpy::wait) while a client talks to it.
class HttpsTestServer : public QObject
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
    };

    HttpsTestServer();
    ~HttpsTestServer() override;

    // Empty when the server listens; otherwise why it does not.
    const QString& error() const { return mError; }
    // "https://127.0.0.1:<port>".
    QUrl url() const;
    // The server's certificate: a client that trusts it can verify the server.
    const QSslCertificate& certificate() const { return mCertificate; }

    // The response to every later request: the status line's code and the body (200 and empty at start).
    void setResponse(int status, const QByteArray& body);
    const QList<Request>& requests() const { return mRequests; }

private:
    bool makeCertificate();
    void serve(QSslSocket* socket);

    QSslServer mServer;
    QSslCertificate mCertificate;
    QString mError;
    int mStatus = 200;
    QByteArray mBody;
    QList<Request> mRequests;
};

} // namespace support
