#include "support/qt/HttpsTestServer.h"

#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

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
    mStatus = status;
    mBody = body;
}

bool HttpsTestServer::makeCertificate()
{
    if (!mFolder.isValid()) {
        mError = "no temporary folder";
        return false;
    }
    const QString keyPath = mFolder.filePath("key.pem");
    const QString certificatePath = mFolder.filePath("certificate.pem");
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                              "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                              "subjectAltName=IP:127.0.0.1", "-keyout", keyPath, "-out", certificatePath});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        mError = "openssl: " + openssl.errorString() + " " + QString::fromLocal8Bit(openssl.readAll());
        return false;
    }

    QFile keyFile(keyPath);
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(certificatePath);
    if (!keyFile.open(QIODevice::ReadOnly) || certificates.isEmpty()) {
        mError = "unreadable key or certificate";
        return false;
    }
    const QSslKey key(&keyFile, QSsl::Ec);
    if (key.isNull()) {
        mError = "unusable key";
        return false;
    }
    mCertificate = certificates.first();

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
        mRequests.append(request);

        QByteArray response =
            "HTTP/1.1 " + QByteArray::number(mStatus) + (mStatus == 200 ? " OK" : " Error") +
            "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(mBody.size()) +
            "\r\nConnection: close\r\n\r\n" + mBody;
        socket->write(response);
        socket->disconnectFromHost();
    });
}

} // namespace support
