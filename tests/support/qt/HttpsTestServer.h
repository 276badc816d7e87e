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
// address made for it when it starts. A request gets the response set for its path, else the one
// response set for all; a response can also be a fault (the connection closed unanswered, or an
// answer that comes late, one sent without end, one a byte at a time). The requests that arrived are
// kept, bodies included. It runs on the thread that made it: the test waits in an event loop
// (QSignalSpy::wait) while a client talks to it.
class HttpsTestServer : public QObject
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    struct Response
    {
        enum class Fault
        {
            None,
            CloseConnection, // the connection is closed without an answer
        };
        int status = 200;
        QByteArray body;
        Fault fault = Fault::None;
        int delayMs = 0; // the answer (or the close) comes this long after the request
        // Sent after the body again and again, without a Content-Length, until the client hangs up
        // (or, to stop by itself, STREAM_LIMIT bytes in all).
        QByteArray endless;
        // The body one byte at a time, this many ms apart.
        int trickleMs = 0;
    };
    static constexpr qint64 STREAM_LIMIT = 64 * 1024 * 1024;

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
    // The response to later requests for `path` (as in the request line, query included, or without
    // its query); it takes precedence over the response for all.
    void setResponse(const QByteArray& path, const Response& response);
    void clearPathResponses() { mPathResponses.clear(); }
    const QList<Request>& requests() const { return mRequests; }
    // The bytes of answers' bodies handed to the connections so far.
    qint64 sentBodyBytes() const { return mSentBodyBytes; }

private:
    bool makeCertificate();
    void serve(QSslSocket* socket);
    const Response& responseFor(const QByteArray& path) const;
    void answer(QSslSocket* socket, const Response& response);
    void stream(QSslSocket* socket, const Response& response);
    void trickle(QSslSocket* socket, const QByteArray& rest, int intervalMs);

    QSslServer mServer;
    QSslCertificate mCertificate;
    QString mError;
    Response mResponse;
    QMap<QByteArray, Response> mPathResponses;
    QList<Request> mRequests;
    qint64 mSentBodyBytes = 0;
};

} // namespace support
