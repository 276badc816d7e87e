#include "support/qt/HttpsTestServer.h"

#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace support {

HttpsTestServer::HttpsTestServer()
{
    if (!makeCertificate())
        return;
    connect(&mServer, &QSslServer::pendingConnectionAvailable, this, [this]() {
        while (QTcpSocket* socket = mServer.nextPendingConnection())
            serve(static_cast<QSslSocket*>(socket));
    });
    if (!mServer.listen(QHostAddress::LocalHost, 0))
        mError = "listen: " + mServer.errorString();
}

HttpsTestServer::~HttpsTestServer()
{
    mServer.close();
}

QUrl HttpsTestServer::url() const
{
    return QUrl(QString("https://127.0.0.1:%1").arg(mServer.serverPort()));
}

void HttpsTestServer::setResponse(int status, const QByteArray& body)
{
    mResponse.status = status;
    mResponse.body = body;
}

void HttpsTestServer::setResponse(const QByteArray& path, const Response& response)
{
    mPathResponses.insert(path, response);
}

const HttpsTestServer::Response& HttpsTestServer::responseFor(const QByteArray& path) const
{
    auto found = mPathResponses.find(path);
    if (found == mPathResponses.end()) {
        found = mPathResponses.find(path.left(path.indexOf('?')));
    }
    return found != mPathResponses.end() ? *found : mResponse;
}

namespace {

// PEM text of what `write` puts into a memory BIO, empty when it fails.
template <class Write> QByteArray pem(Write write)
{
    BIO* bio = BIO_new(BIO_s_mem());
    QByteArray text;
    if (bio != nullptr && write(bio) == 1) {
        char* data = nullptr;
        const long length = BIO_get_mem_data(bio, &data);
        text = QByteArray(data, int(length));
    }
    BIO_free(bio);
    return text;
}

// A P-256 key and a certificate for 127.0.0.1 signed with it, valid for a day, both as PEM text.
bool makeSelfSigned(QByteArray& keyPem, QByteArray& certificatePem)
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    bool made = key != nullptr && certificate != nullptr;
    if (made) {
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        X509_EXTENSION* altName = X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, "IP:127.0.0.1");
        made = altName != nullptr && X509_add_ext(certificate, altName, -1) == 1 &&
               X509_sign(certificate, key, EVP_sha256()) > 0;
        X509_EXTENSION_free(altName);
    }
    if (made) {
        keyPem = pem([&](BIO* bio) {
            return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
        });
        certificatePem = pem([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate); });
        made = !keyPem.isEmpty() && !certificatePem.isEmpty();
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    return made;
}

} // namespace

bool HttpsTestServer::makeCertificate()
{
    QByteArray keyPem;
    QByteArray certificatePem;
    if (!makeSelfSigned(keyPem, certificatePem)) {
        mError = "could not make a certificate";
        return false;
    }
    const QSslKey key(keyPem, QSsl::Ec);
    mCertificate = QSslCertificate(certificatePem);
    if (key.isNull() || mCertificate.isNull()) {
        mError = "unusable key or certificate";
        return false;
    }

    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(mCertificate);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    mServer.setSslConfiguration(configuration);
    return true;
}

void HttpsTestServer::serve(QSslSocket* socket)
{
    socket->setParent(this);
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QSslSocket::readyRead, this, [this, socket]() {
        if (socket->property("answered").toBool()) {
            socket->readAll();
            return;
        }
        QByteArray received = socket->property("received").toByteArray() + socket->readAll();
        socket->setProperty("received", received);
        const qsizetype headEnd = received.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;

        Request request;
        const QList<QByteArray> lines = received.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
        }
        // The whole body first, as long as the head says it is.
        const qsizetype bodyLength = request.headers.value("content-length", "0").toLongLong();
        if (received.size() - (headEnd + 4) < bodyLength)
            return;
        request.body = received.mid(headEnd + 4, bodyLength);
        mRequests.append(request);
        socket->setProperty("answered", true);

        const Response response = responseFor(request.path);
        if (response.delayMs > 0) {
            QTimer::singleShot(response.delayMs, socket,
                               [this, socket, response]() { answer(socket, response); });
        } else {
            answer(socket, response);
        }
    });
}

void HttpsTestServer::answer(QSslSocket* socket, const Response& response)
{
    if (response.fault == Response::Fault::CloseConnection) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    const QByteArray status = "HTTP/1.1 " + QByteArray::number(response.status) +
                              (response.status == 200 ? " OK" : " Error") +
                              "\r\nContent-Type: application/json\r\n";
    if (!response.endless.isEmpty()) {
        socket->write(status + "Connection: close\r\n\r\n" + response.body);
        mSentBodyBytes += response.body.size();
        stream(socket, response);
        return;
    }
    const QByteArray head = status + "Content-Length: " + QByteArray::number(response.body.size()) +
                            "\r\nConnection: close\r\n\r\n";
    if (response.trickleMs > 0) {
        socket->write(head);
        trickle(socket, response.body, response.trickleMs);
        return;
    }
    socket->write(head + response.body);
    mSentBodyBytes += response.body.size();
    socket->disconnectFromHost();
}

void HttpsTestServer::stream(QSslSocket* socket, const Response& response)
{
    // Topped up whenever little is left to send, so that the server itself holds little.
    auto* pump = new QTimer(socket);
    connect(pump, &QTimer::timeout, socket,
            [this, socket, pump, chunk = response.endless, sent = qint64(0)]() mutable {
                if (socket->state() != QAbstractSocket::ConnectedState || sent >= STREAM_LIMIT) {
                    pump->stop();
                    socket->disconnectFromHost();
                    return;
                }
                while (socket->bytesToWrite() + socket->encryptedBytesToWrite() < 256 * 1024 &&
                       sent < STREAM_LIMIT) {
                    socket->write(chunk);
                    sent += chunk.size();
                    mSentBodyBytes += chunk.size();
                }
            });
    pump->start(1);
}

void HttpsTestServer::trickle(QSslSocket* socket, const QByteArray& rest, int intervalMs)
{
    if (rest.isEmpty()) {
        socket->disconnectFromHost();
        return;
    }
    QTimer::singleShot(intervalMs, socket, [this, socket, rest, intervalMs]() {
        if (socket->state() != QAbstractSocket::ConnectedState) {
            return;
        }
        socket->write(rest.left(1));
        ++mSentBodyBytes;
        trickle(socket, rest.mid(1), intervalMs);
    });
}

} // namespace support
