#include "app/TrustedCertificates.h"

#include "core/Log.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslSocket>

using rezezaz::core::Log;

QList<QSslCertificate> TrustedCertificates::bundle(const QString& who)
{
    QFile file(":ca-bundle.crt");
    if (!file.open(QIODevice::ReadOnly)) {
        Log::alert(who + " unable to load the compiled-in CA certificates");
        return {};
    }
    return QSslCertificate::fromData(file.readAll(), QSsl::Pem);
}

void TrustedCertificates::addBundleToDefault(const QString& who)
{
    const QList<QSslCertificate> certificates = bundle(who);
    if (certificates.isEmpty()) {
        return;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> roots = configuration.caCertificates();
    if (roots.isEmpty()) {
        roots = QSslConfiguration::systemCaCertificates();
    }
    // Every page of every connection comes here: each certificate is added once.
    bool added = false;
    for (const QSslCertificate& certificate : certificates) {
        if (!certificate.isNull() && !roots.contains(certificate)) {
            roots.append(certificate);
            added = true;
        }
    }
    if (added) {
        configuration.setCaCertificates(roots);
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
}

QSslConfiguration TrustedCertificates::verifiedConfiguration(const QString& who)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    configuration.setProtocol(QSsl::SecureProtocols);
    QList<QSslCertificate> trusted = configuration.caCertificates();
    trusted += QSslConfiguration::systemCaCertificates();
    trusted += bundle(who);
    configuration.setCaCertificates(trusted);
    return configuration;
}
