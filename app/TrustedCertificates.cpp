#include "app/TrustedCertificates.h"

#include "core/Log.h"

#include <QFile>
#include <QSet>
#include <QSslCertificate>
#include <QSslSocket>

using rezezaz::core::Log;

namespace {

// Reading the bundle and the system's roots parses a few hundred certificates: done once, by whichever
// thread asks first. Kept for the program's life on purpose, so that no certificate is freed after
// the TLS back end has been unloaded at exit.
const QList<QSslCertificate>& compiledInBundle()
{
    static const QList<QSslCertificate>* const certificates = [] {
        QFile file(":ca-bundle.crt");
        if (!file.open(QIODevice::ReadOnly)) {
            return new QList<QSslCertificate>;
        }
        return new QList<QSslCertificate>(QSslCertificate::fromData(file.readAll(), QSsl::Pem));
    }();
    return *certificates;
}

const QList<QSslCertificate>& systemRoots()
{
    static const QList<QSslCertificate>* const certificates =
        new QList<QSslCertificate>(QSslConfiguration::systemCaCertificates());
    return *certificates;
}

// Appends to `roots` each certificate of `more` that is not null and not in it yet; true when one was.
bool appendMissing(QList<QSslCertificate>& roots, const QList<QSslCertificate>& more)
{
    QSet<QSslCertificate> present(roots.cbegin(), roots.cend());
    bool added = false;
    for (const QSslCertificate& certificate : more) {
        if (!certificate.isNull() && !present.contains(certificate)) {
            present.insert(certificate);
            roots.append(certificate);
            added = true;
        }
    }
    return added;
}

} // namespace

QList<QSslCertificate> TrustedCertificates::bundle(const QString& who)
{
    const QList<QSslCertificate>& certificates = compiledInBundle();
    if (certificates.isEmpty()) {
        Log::alert(who + " unable to load the compiled-in CA certificates");
    }
    return certificates;
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
        roots = systemRoots();
    }
    // Every page of every connection comes here: each certificate is added once.
    if (appendMissing(roots, certificates)) {
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
    appendMissing(trusted, systemRoots());
    appendMissing(trusted, bundle(who));
    configuration.setCaCertificates(trusted);
    return configuration;
}
