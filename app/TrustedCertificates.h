#pragma once

#include <QSslConfiguration>
#include <QString>

// The certificates the program trusts for HTTPS: the system's CA certificates and the compiled-in
// bundle (":ca-bundle.crt"). Used by the pages that set up the sockets' default configuration and
// by the clients that fetch the chainring data and the firmware catalogue. `who` starts the log
// line written when the bundle cannot be read.
class TrustedCertificates
{
public:
    // Adds the bundle's certificates to the default configuration of SSL sockets, each once. An
    // explicit list replaces the system's roots, which are otherwise loaded on demand, so the list
    // starts from them and adding the bundle takes nothing away.
    static void addBundleToDefault(const QString& who);

    // Verified TLS only: peer verification, secure protocols, and as trust whatever the
    // application added to the default configuration, the system's CA certificates and the bundle.
    static QSslConfiguration verifiedConfiguration(const QString& who);

private:
    // The bundle's certificates; empty, after a log line, when it cannot be read.
    static QList<QSslCertificate> bundle(const QString& who);
};
