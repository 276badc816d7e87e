#include "app/ChainringChecker.h"

#include "app/Implementer.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"
#include "support/qt/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslConfiguration>

#include <algorithm>
#include <string>
#include <vector>

using support::HttpsTestServer;
using support::LogCapture;
using support::TemporaryFolder;

namespace {

const std::string STORED = R"([{"data":"chainrings","values":{"00":"Unknown"}}])";
const QByteArray DOWNLOADED = R"([{"data":"calibrations","values":[{"marlet":"KV7","calibrations":)"
                              R"(["Z-Mesh 34T","A3","0.95","Other","00","1.0"]}]},)"
                              R"({"data":"chainrings","values":{"A3":"VelonixZ-Mesh"}}])";
// Generous: only a hang ends the wait, never a slow machine.
constexpr int WAIT_MS = 30000;

class ChainringCheckerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.error().isEmpty()) << server.error().toStdString();
        ASSERT_TRUE(support::writeFile(storedPath(), STORED));
    }

    void TearDown() override { QSslConfiguration::setDefaultConfiguration(defaultConfiguration); }

    std::string storedPath() const { return folder.file("chainringData.json"); }
    QString dataFolder() const { return QString::fromStdString(folder.path()); }

    // Lets the application trust the test server, as it would a CA it added to the default
    // configuration.
    void trustServer()
    {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.addCaCertificate(server.certificate());
        QSslConfiguration::setDefaultConfiguration(configuration);
    }

    // Runs one download against the test server; false when finished() never came.
    bool download(const QString& folder)
    {
        ChainringChecker checker(nullptr, folder, server.url());
        QSignalSpy finished(&checker, &ChainringChecker::finished);
        checker.checkData();
        const bool ended = finished.wait(WAIT_MS);
        EXPECT_EQ(finished.size(), 1);
        return ended;
    }

    // The index of the first log line that starts with `prefix`, or -1.
    int logIndex(const std::string& prefix) const
    {
        const std::vector<std::string> lines = log.listener.texts();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind(prefix, 0) == 0)
                return int(i);
        }
        return -1;
    }

    const QSslConfiguration defaultConfiguration = QSslConfiguration::defaultConfiguration();
    HttpsTestServer server;
    TemporaryFolder folder;
    LogCapture log;
};

QList<QSslCertificate> bundleCertificates()
{
    QFile bundle(":ca-bundle.crt");
    EXPECT_TRUE(bundle.open(QIODevice::ReadOnly));
    return QSslCertificate::fromData(bundle.readAll(), QSsl::Pem);
}

TEST_F(ChainringCheckerTest, TheRequestVerifiesTheServerAgainstSystemAndCompiledInCertificates)
{
    ChainringChecker checker(nullptr, dataFolder(), server.url());
    QSignalSpy finished(&checker, &ChainringChecker::finished);
    checker.checkData();

    QNetworkAccessManager* manager = checker.findChild<QNetworkAccessManager*>();
    ASSERT_NE(manager, nullptr);
    const QList<QNetworkReply*> replies = manager->findChildren<QNetworkReply*>();
    ASSERT_EQ(replies.size(), 1);
    const QNetworkRequest request = replies.first()->request();

    EXPECT_EQ(request.url(), QUrl(server.url().toString() + "/chainringData.json"));
    EXPECT_EQ(request.rawHeader("Authorization"),
              "Basic " + QByteArray("pelotune:" CHAINRING_DATA_PASSWORD).toBase64());
    EXPECT_EQ(request.rawHeader("User-Agent"), "Pelotune PC");
    EXPECT_EQ(request.rawHeader("Content-Type"), "application/x-www-form-urlencoded");

    const QSslConfiguration tls = request.sslConfiguration();
    EXPECT_EQ(tls.peerVerifyMode(), QSslSocket::VerifyPeer);
    EXPECT_EQ(tls.protocol(), QSsl::SecureProtocols);
    const QList<QSslCertificate> trusted = tls.caCertificates();
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    const QList<QSslCertificate> bundle = bundleCertificates();
    ASSERT_FALSE(bundle.isEmpty());
    EXPECT_TRUE(std::all_of(system.begin(), system.end(), [&](auto& c) { return trusted.contains(c); }));
    EXPECT_TRUE(std::all_of(bundle.begin(), bundle.end(), [&](auto& c) { return trusted.contains(c); }));
    EXPECT_FALSE(trusted.contains(server.certificate()));

    EXPECT_TRUE(finished.wait(WAIT_MS));
}

// A server whose certificate nothing vouches for gets no request: the TLS error is logged, the download
// fails with it and the stored file stays.
TEST_F(ChainringCheckerTest, AnUntrustedServerFailsTheDownloadAfterTheErrorIsLogged)
{
    server.setResponse(200, DOWNLOADED);

    ASSERT_TRUE(download(dataFolder()));

    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(support::readFile(storedPath()), STORED);
    const int sslError = logIndex("ChainringChecker::jsonSslErrors SSL error:");
    const int failed = logIndex("ChainringChecker::jsonFinished http error:");
    ASSERT_GE(sslError, 0);
    ASSERT_GE(failed, 0);
    EXPECT_LT(sslError, failed);
    EXPECT_GT(logIndex("ChainringChecker::jsonFinished loading cached data"), failed);
    EXPECT_EQ(logIndex("ChainringChecker::jsonFinished downloading new chainring data"), -1);
}

TEST_F(ChainringCheckerTest, OnlyAGoodDownloadReplacesTheStoredFile)
{
    struct Case
    {
        const char* name;
        int status;
        QByteArray body;
        std::string stored;
        const char* logLine;
    };
    QFile own(":chainringData.json");
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    const QByteArray ownTables = own.readAll();
    const std::vector<Case> cases = {
        {"the program's own tables", 200, ownTables, ownTables.toStdString(),
         "ChainringChecker::jsonFinished downloading new chainring data"},
        {"chainring data, cut at its first zero byte", 200, DOWNLOADED + QByteArray("\0junk", 5),
         DOWNLOADED.toStdString(), "ChainringChecker::jsonFinished downloading new chainring data"},
        {"an HTTP error", 404, DOWNLOADED, STORED, "ChainringChecker::jsonFinished loading cached data"},
        {"an error page served as success", 200, "<html>Service unavailable</html>", STORED,
         "ChainringChecker::jsonFinished invalid chainring data, keeping stored data: "},
        {"an empty body", 200, "", STORED,
         "ChainringChecker::jsonFinished invalid chainring data, keeping stored data: "},
        {"an empty list", 200, "[]", STORED,
         "ChainringChecker::jsonFinished invalid chainring data, keeping stored data: no chainring table of "
         "any model"},
        {"names without ring tables", 200, R"([{"data":"chainrings","values":{"A3":"VelonixZ-Mesh"}}])",
         STORED,
         "ChainringChecker::jsonFinished invalid chainring data, keeping stored data: no chainring table of "
         "any model"},
        {"ring tables without names", 200,
         R"([{"data":"calibrations","values":[{"marlet":"KV7","calibrations":["Other","00","1.0"]}]}])",
         STORED,
         "ChainringChecker::jsonFinished invalid chainring data, keeping stored data: no names of the "
         "chainring codes"},
        {"a ring without its factor", 200,
         R"([{"data":"calibrations","values":[{"marlet":"KV7","calibrations":["Other","00"]}]},)"
         R"({"data":"chainrings","values":{}}])",
         STORED,
         "ChainringChecker::jsonFinished invalid chainring data, keeping stored data: a model entry without "
         "its name or whole ring triples"},
        {"more than the reader takes", 200, DOWNLOADED + QByteArray(1024 * 1024, ' '), STORED,
         "ChainringChecker::jsonFinished invalid chainring data, keeping stored data: larger than 1048576 "
         "bytes"},
    };
    trustServer();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(support::writeFile(storedPath(), STORED));
        log.listener.entries.clear();
        server.setResponse(c.status, c.body);

        ASSERT_TRUE(download(dataFolder()));

        EXPECT_EQ(support::readFile(storedPath()), c.stored);
        EXPECT_GE(logIndex(c.logLine), 0);
        EXPECT_EQ(logIndex("ChainringChecker::jsonSslErrors"), -1);
    }

    // What reached the server, each time.
    ASSERT_EQ(server.requests().size(), qsizetype(cases.size()));
    const HttpsTestServer::Request& request = server.requests().first();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/chainringData.json");
    EXPECT_EQ(request.headers.value("authorization"),
              "Basic " + QByteArray("pelotune:" CHAINRING_DATA_PASSWORD).toBase64());
    EXPECT_EQ(request.headers.value("user-agent"), "Pelotune PC");
    EXPECT_EQ(request.headers.value("content-type"), "application/x-www-form-urlencoded");
}

TEST_F(ChainringCheckerTest, AStoreThatCannotBeWrittenIsLogged)
{
    trustServer();
    server.setResponse(200, DOWNLOADED);

    ASSERT_TRUE(download(dataFolder() + "/missing"));

    EXPECT_GE(logIndex("ChainringChecker::jsonFinished unable to update stored chainring data"), 0);
    EXPECT_EQ(support::readFile(storedPath()), STORED);
}

} // namespace
