// The firmware catalogue client against the HTTPS test server: what it sends, how it walks the
// catalogue and refreshes the firmware folder, the upload report, and every way an exchange can fail.
// Each job runs on its own thread, as the firmware page runs it; its results are received queued on
// the test's thread, as the page receives them.
#include "firmware/FirmwareChecker.h"

#include "firmware/HardwareRevisionQuery.h"
#include "support/FirmwareImageWriter.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"
#include "support/qt/HttpsTestServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QPointer>
#include <QSslConfiguration>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using support::FirmwareImageWriter;
using support::HttpsTestServer;

namespace {

const QString UUID = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
// Generous: only a hang ends the wait, never a slow machine.
constexpr int WAIT_MS = 60000;

// Receives a job's signals on the test's thread, as the firmware page does.
class JobRecorder
{
public:
    struct Choice
    {
        QString fileName;
        int version;
        bool beta;
        bool operator==(const Choice& o) const
        {
            return fileName == o.fileName && version == o.version && beta == o.beta;
        }
    };

    void reset()
    {
        chosen.clear();
        networkErrors = finishedCount = networkErrorsAtFinish = 0;
        chosenAtFinish = 0;
    }

    std::vector<Choice> chosen;
    int networkErrors = 0;
    int finishedCount = 0;
    // What had arrived when finished() came.
    size_t chosenAtFinish = 0;
    int networkErrorsAtFinish = 0;

    // Lives on the test's thread: what is connected to it arrives there, queued.
    QObject context;

    void firmwareChosen(const QString& fileName, int version, bool isBeta)
    {
        chosen.push_back({fileName, version, isBeta});
    }
    void networkError() { ++networkErrors; }
    void finished()
    {
        ++finishedCount;
        chosenAtFinish = chosen.size();
        networkErrorsAtFinish = networkErrors;
    }
};

std::ostream& operator<<(std::ostream& out, const JobRecorder::Choice& c)
{
    return out << c.fileName.toStdString() << " " << c.version << (c.beta ? " beta" : " release");
}

struct Item
{
    std::string title;
    std::string link;
};

std::string rss(const std::vector<Item>& items, const std::string& extra = "")
{
    std::string text = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>\n"
                       "<title>Firmware catalogue</title><link>https://example.com/not-an-image</link>\n";
    for (const Item& item : items) {
        text += "<item><title>" + item.title + "</title>\n  <link>" + item.link + "</link></item>\n";
    }
    return text + extra + "</channel></rss>\n";
}

class FirmwareCheckerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.error().isEmpty()) << server.error().toStdString();
        QDir().mkpath(firmwareFolder());
    }

    void TearDown() override { QSslConfiguration::setDefaultConfiguration(defaultConfiguration); }

    QString firmwareFolder() const { return QString::fromStdString(folder.path()) + "/firmware"; }
    std::string inFolder(const std::string& name) const { return folder.file("firmware/" + name); }
    std::string link(const std::string& path) const { return server.url().toString().toStdString() + path; }

    void trustServer()
    {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.addCaCertificate(server.certificate());
        QSslConfiguration::setDefaultConfiguration(configuration);
    }

    void serve(const QByteArray& path, int status, const std::string& body)
    {
        HttpsTestServer::Response response;
        response.status = status;
        response.body = QByteArray::fromStdString(body);
        server.setResponse(path, response);
    }

    // The regular and hidden files of the firmware folder, sorted.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const QString& name : QDir(firmwareFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
            names.push_back(name.toStdString());
        }
        return names;
    }

    // Runs one job to its end on a thread of its own; false when it never ended.
    bool run(void (FirmwareChecker::*job)(), const QString& folderPath = QString())
    {
        FirmwareServer where;
        where.url = serverOverride.isEmpty() ? server.url() : serverOverride;
        where.timeoutMs = timeoutMs;
        where.deadlineMs = deadlineMs;
        auto* checker =
            new FirmwareChecker(input, folderPath.isEmpty() ? firmwareFolder() : folderPath, query, where);
        connect(checker);
        const qsizetype threadsBefore = systemThreads();
        QPointer<QThread> thread = FirmwareChecker::start(checker, job);
        QElapsedTimer clock;
        clock.start();
        while (recorder.finishedCount == 0 && clock.elapsed() < WAIT_MS) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        // The thread ends, and its object goes on this thread.
        while (!thread.isNull() && clock.elapsed() < WAIT_MS) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        // The job's threads (its own and the network's) end for the system only after their objects
        // have gone, with the TLS library's clean-up for each: that must not meet the process's exit.
        while (systemThreads() > threadsBefore && clock.elapsed() < WAIT_MS) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return recorder.finishedCount == 1 && thread.isNull();
    }

    // The threads of this process that the system still runs.
    static qsizetype systemThreads()
    {
        return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    }

    void connect(FirmwareChecker* checker)
    {
        QObject::connect(checker, &FirmwareChecker::firmwareChosen, &recorder.context,
                         [this](const QString& name, int version, bool beta) {
                             recorder.firmwareChosen(name, version, beta);
                         });
        QObject::connect(checker, &FirmwareChecker::networkError, &recorder.context,
                         [this] { recorder.networkError(); });
        QObject::connect(checker, &FirmwareChecker::finished, &recorder.context,
                         [this] { recorder.finished(); });
    }

    bool logged(const std::string& text) const
    {
        const auto texts = log.listener.texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    bool loggedStart(const std::string& prefix) const
    {
        const auto texts = log.listener.texts();
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string& t) { return t.rfind(prefix, 0) == 0; });
    }

    const QSslConfiguration defaultConfiguration = QSslConfiguration::defaultConfiguration();
    HttpsTestServer server;
    support::TemporaryFolder folder;
    support::LogCapture log;
    JobRecorder recorder;
    FirmwareCheckInput input{UUID, 123456, "release31.pmimg"};
    int hardwareRevision = 7;
    std::vector<QThread*> answeredOn;
    std::shared_ptr<HardwareRevisionQuery> query = std::make_shared<HardwareRevisionQuery>([this] {
        answeredOn.push_back(QThread::currentThread());
        return hardwareRevision;
    });
    int timeoutMs = 30000;
    int deadlineMs = 60000;
    QUrl serverOverride;
};

FirmwareImageWriter::Header header(const std::string& version, const std::string& type,
                                   const std::string& mask = "255", const std::string& revision = "7")
{
    FirmwareImageWriter::Header h;
    h.version = version;
    h.type = type;
    h.mask = mask;
    h.revision = revision;
    return h;
}

TEST_F(FirmwareCheckerTest, TheCheckRefreshesTheFolderFromTheCatalogueAndChoosesForTheMeter)
{
    trustServer();
    const std::string release =
        FirmwareImageWriter::file(header("31", "Release"), FirmwareImageWriter::image(1));
    const std::string beta =
        FirmwareImageWriter::file(header("33", "Public Beta"), FirmwareImageWriter::image(2));
    const std::string other =
        FirmwareImageWriter::file(header("40", "Release", "255", "9"), FirmwareImageWriter::image(3));
    serve("/rss", 200,
          rss({{"Release 31", link("/images/release31.pmimg")},
               {"Beta 33", link("/images/beta33.pmimg")},
               {"For revision 9", link("/images/other40.pmimg")}}));
    serve("/images/release31.pmimg", 200, release);
    serve("/images/beta33.pmimg", 200, beta);
    serve("/images/other40.pmimg", 200, other);
    // What the folder held: an image the catalogue no longer names, one it names again, a hidden file
    // and a folder, which stay.
    ASSERT_TRUE(support::writeFile(inFolder("withdrawn29.pmimg"), release));
    ASSERT_TRUE(support::writeFile(inFolder("beta33.pmimg"), "stale"));
    ASSERT_TRUE(support::writeFile(inFolder(".keep"), "hidden"));
    ASSERT_TRUE(QDir().mkpath(firmwareFolder() + "/notes"));

    ASSERT_TRUE(run(&FirmwareChecker::checkFirmware));

    EXPECT_EQ(recorder.chosen,
              (std::vector<JobRecorder::Choice>{{"beta33.pmimg", 33, true}, {"release31.pmimg", 31, false}}));
    EXPECT_EQ(recorder.chosenAtFinish, 2u) << "the choices arrive before the end";
    EXPECT_EQ(recorder.networkErrors, 0);
    EXPECT_EQ(files(),
              (std::vector<std::string>{".keep", "beta33.pmimg", "other40.pmimg", "release31.pmimg"}));
    EXPECT_EQ(support::readFile(inFolder("beta33.pmimg")), beta) << "every named image is fetched again";
    EXPECT_EQ(support::readFile(inFolder("release31.pmimg")), release);
    EXPECT_TRUE(QDir(firmwareFolder() + "/notes").exists());
    EXPECT_TRUE(logged("FirmwareChecker::rssFinished deleted cached firmware:withdrawn29.pmimg"));
    EXPECT_FALSE(logged("FirmwareChecker::rssFinished deleted cached firmware:.keep"));
    EXPECT_TRUE(logged("FirmwareChecker::readData found firmware for: Beta 33"));
    EXPECT_TRUE(logged("FirmwareChecker::readData with download link: " + link("/images/beta33.pmimg")));
    EXPECT_TRUE(logged("FirmwareChecker::downloadFinished wrote firmware file:other40.pmimg"));
    // The meter was asked once, on the page's thread.
    ASSERT_EQ(answeredOn.size(), 1u);
    EXPECT_EQ(answeredOn[0], QThread::currentThread());

    // Every request: a POST with the installation's credential, the program's name and a form type.
    const QList<HttpsTestServer::Request>& requests = server.requests();
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests[0].path, "/rss");
    std::vector<std::string> images;
    for (const HttpsTestServer::Request& request : requests) {
        SCOPED_TRACE(request.path.toStdString());
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.headers.value("authorization"),
                  "Basic " + QByteArray(UUID.toLatin1() + ":" + MORTAL_PASSWORD).toBase64());
        EXPECT_EQ(request.headers.value("user-agent"), "Pelotune PC");
        EXPECT_EQ(request.headers.value("content-type"), "application/x-www-form-urlencoded");
        EXPECT_TRUE(request.body.isEmpty());
        if (request.path != "/rss") {
            images.push_back(request.path.toStdString());
        }
    }
    std::sort(images.begin(), images.end());
    EXPECT_EQ(images, (std::vector<std::string>{"/images/beta33.pmimg", "/images/other40.pmimg",
                                                "/images/release31.pmimg"}));
}

TEST_F(FirmwareCheckerTest, TheCatalogueWalkCollectsEachItemsTitleAndLink)
{
    trustServer();
    const std::string image =
        FirmwareImageWriter::file(header("12", "Release"), FirmwareImageWriter::image(4));
    struct Case
    {
        const char* name;
        std::string catalogue;
        std::vector<std::string> titles;    // logged, in order
        std::vector<std::string> requested; // image paths requested, sorted
        std::vector<std::string> files;     // the folder afterwards
        bool xmlError;
    };
    const std::vector<Case> cases = {
        {"text split by entities and CDATA is joined",
         rss({{"Release&amp;<![CDATA[ notes ]]>12", link("/images/a&#45;b<![CDATA[.pm]]>img")}}),
         {"Release& notes 12"},
         {"/images/a-b.pmimg"},
         {"a-b.pmimg"},
         false},
        {"a link with a query is stored under its path's name",
         rss({{"Q", link("/images/q.pmimg?token=1")}}),
         {"Q"},
         {"/images/q.pmimg?token=1"},
         {"q.pmimg"},
         false},
        {"the same name twice is fetched twice",
         rss({{"One", link("/images/same.pmimg")}, {"Two", link("/one/same.pmimg")}}),
         {"One", "Two"},
         {"/images/same.pmimg", "/one/same.pmimg"},
         {"same.pmimg"},
         false},
        {"an item without a link fetches nothing and still empties the folder",
         "<rss><channel><item><title>No link</title></item></channel></rss>",
         {"No link"},
         {},
         {},
         false},
        {"items before a broken element still count",
         rss({{"Good", link("/images/good.pmimg")}}, "<item><title>Broken</titel></item>"),
         {"Good"},
         {"/images/good.pmimg"},
         {"good.pmimg"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(support::writeFile(inFolder("cached.pmimg"), image));
        log.listener.entries.clear();
        recorder.reset();
        const qsizetype before = server.requests().size();
        server.clearPathResponses();
        serve("/rss", 200, c.catalogue);
        server.setResponse(200, QByteArray::fromStdString(image));

        ASSERT_TRUE(run(&FirmwareChecker::checkFirmware));

        std::vector<std::string> titles;
        for (const std::string& text : log.listener.texts()) {
            const std::string prefix = "FirmwareChecker::readData found firmware for: ";
            if (text.rfind(prefix, 0) == 0) {
                titles.push_back(text.substr(prefix.size()));
            }
        }
        EXPECT_EQ(titles, c.titles);
        std::vector<std::string> requested;
        for (qsizetype i = before + 1; i < server.requests().size(); ++i) {
            requested.push_back(server.requests()[i].path.toStdString());
        }
        std::sort(requested.begin(), requested.end());
        EXPECT_EQ(requested, c.requested);
        EXPECT_EQ(files(), c.files);
        EXPECT_EQ(loggedStart("FirmwareChecker::readData hit xml error:"), c.xmlError);
        EXPECT_FALSE(logged("FirmwareChecker::readData found firmware for: Firmware catalogue"));
        EXPECT_EQ(recorder.networkErrors, 0);
    }
}

// A check that cannot bring the new set whole keeps the cache as it was and says so: a failed or
// foreign download, or an answer that is no catalogue at all.
TEST_F(FirmwareCheckerTest, ACheckThatFailsKeepsTheCachedImagesAndReportsANetworkError)
{
    trustServer();
    const std::string cached =
        FirmwareImageWriter::file(header("30", "Release"), FirmwareImageWriter::image(5));
    const std::string newer =
        FirmwareImageWriter::file(header("32", "Release"), FirmwareImageWriter::image(6));
    struct Case
    {
        const char* what;
        std::string catalogue;
        int imageStatus;
        std::string image;
    };
    const std::vector<Case> cases = {
        {"the new image's download fails", rss({{"Release 32", link("/images/release32.pmimg")}}), 500, ""},
        {"the new image is a web page", rss({{"Release 32", link("/images/release32.pmimg")}}), 200,
         "<html><body>Please log in</body></html>"},
        {"the catalogue is a web page", "<html><body>Maintenance</body></html>", 200, newer},
        {"the catalogue is garbage", "garbage", 200, newer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(firmwareFolder()).removeRecursively();
        QDir().mkpath(firmwareFolder());
        ASSERT_TRUE(support::writeFile(inFolder("release30.pmimg"), cached));
        recorder.reset();
        server.clearPathResponses();
        serve("/rss", 200, c.catalogue);
        serve("/images/release32.pmimg", c.imageStatus, c.image);

        ASSERT_TRUE(run(&FirmwareChecker::checkFirmware));

        EXPECT_GE(recorder.networkErrors, 1);
        EXPECT_EQ(files(), std::vector<std::string>{"release30.pmimg"});
        EXPECT_EQ(support::readFile(inFolder("release30.pmimg")), cached);
        EXPECT_EQ(recorder.chosen, (std::vector<JobRecorder::Choice>{{"release30.pmimg", 30, false}}));
    }
}

TEST_F(FirmwareCheckerTest, ACatalogueWithoutItemsKeepsTheCachedImages)
{
    trustServer();
    const std::string cached =
        FirmwareImageWriter::file(header("30", "Release"), FirmwareImageWriter::image(5));
    ASSERT_TRUE(support::writeFile(inFolder("cached30.pmimg"), cached));
    serve("/rss", 200, rss({}));

    ASSERT_TRUE(run(&FirmwareChecker::checkFirmware));

    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(files(), std::vector<std::string>{"cached30.pmimg"});
    EXPECT_EQ(recorder.chosen, (std::vector<JobRecorder::Choice>{{"cached30.pmimg", 30, false}}));
    EXPECT_EQ(recorder.networkErrors, 0);
}

// Every failure ends the job with the page's network error, and the choice is made from what the
// folder holds afterwards.
TEST_F(FirmwareCheckerTest, EveryFailedExchangeEndsInANetworkError)
{
    const std::string cached =
        FirmwareImageWriter::file(header("30", "Release"), FirmwareImageWriter::image(5));
    const std::string fresh =
        FirmwareImageWriter::file(header("32", "Release"), FirmwareImageWriter::image(6));
    using Fault = HttpsTestServer::Response::Fault;
    struct Case
    {
        const char* name;
        bool trusted;
        HttpsTestServer::Response catalogue;
        HttpsTestServer::Response image;
        std::vector<JobRecorder::Choice> chosen;
        const char* logPrefix;
    };
    HttpsTestServer::Response good;
    good.body = QByteArray::fromStdString(rss({{"Fresh", link("/images/fresh32.pmimg")}}));
    HttpsTestServer::Response image;
    image.body = QByteArray::fromStdString(fresh);
    const auto status = [](int code) {
        HttpsTestServer::Response r;
        r.status = code;
        r.body = "refused";
        return r;
    };
    HttpsTestServer::Response closed;
    closed.fault = Fault::CloseConnection;
    HttpsTestServer::Response slow = good;
    slow.delayMs = 8000;
    const std::vector<JobRecorder::Choice> keptCache = {{"cached30.pmimg", 30, false}};
    const std::vector<Case> cases = {
        {"catalogue: 401", true, status(401), image, keptCache, "FirmwareChecker::rssFinished http error:"},
        {"catalogue: 500", true, status(500), image, keptCache, "FirmwareChecker::rssFinished http error:"},
        {"catalogue: 404", true, status(404), image, keptCache, "FirmwareChecker::rssFinished http error:"},
        {"catalogue: connection closed", true, closed, image, keptCache,
         "FirmwareChecker::rssFinished http error:"},
        {"catalogue: too slow", true, slow, image, keptCache, "FirmwareChecker::rssFinished http error:"},
        {"catalogue: a certificate nothing vouches for", false, good, image, keptCache,
         "FirmwareChecker::rssSslErrors SSL error:"},
        // The new set never arrives whole: the cache stays as it was.
        {"image: 404, the cache kept", true, good, status(404), keptCache,
         "FirmwareChecker::downloadFinished http error:"},
        {"image: connection closed", true, good, closed, keptCache,
         "FirmwareChecker::downloadFinished http error:"},
    };
    timeoutMs = 2000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QSslConfiguration::setDefaultConfiguration(defaultConfiguration);
        if (c.trusted) {
            trustServer();
        }
        ASSERT_TRUE(support::writeFile(inFolder("cached30.pmimg"), cached));
        log.listener.entries.clear();
        recorder.reset();
        const qsizetype before = server.requests().size();
        server.setResponse("/rss", c.catalogue);
        server.setResponse("/images/fresh32.pmimg", c.image);

        ASSERT_TRUE(run(&FirmwareChecker::checkFirmware));

        EXPECT_EQ(recorder.networkErrors, 1);
        EXPECT_EQ(recorder.networkErrorsAtFinish, 1) << "the error arrives before the end";
        EXPECT_EQ(recorder.chosen, c.chosen);
        EXPECT_TRUE(loggedStart(c.logPrefix));
        if (!c.trusted) {
            EXPECT_EQ(server.requests().size(), before) << "nothing reaches a server that is not verified";
            EXPECT_TRUE(loggedStart("FirmwareChecker::rssFinished http error:"));
        }
    }
}

// A server that sends without end, or trickles: every exchange is given up, past a size or past its
// deadline, as a network error; nothing is stored and the cache stays. The size is shown by the
// bytes the server could hand over before the client hung up: the cap and what the sockets between
// them hold, a few megabytes; a client that judges the size only at its progress signal, every tenth
// of a second, has taken 16 MiB and more by then.
TEST_F(FirmwareCheckerTest, AnAnswerWithoutEndOrThatTricklesIsGivenUp)
{
    trustServer();
    const std::string cached =
        FirmwareImageWriter::file(header("30", "Release"), FirmwareImageWriter::image(5));
    const std::string fresh =
        FirmwareImageWriter::file(header("32", "Release"), FirmwareImageWriter::image(6));
    HttpsTestServer::Response catalogue;
    catalogue.body = QByteArray::fromStdString(rss({{"Fresh", link("/images/fresh32.pmimg")}}));
    HttpsTestServer::Response image;
    image.body = QByteArray::fromStdString(fresh);
    HttpsTestServer::Response endlessCatalogue;
    endlessCatalogue.body = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>\n";
    endlessCatalogue.endless = "<item><title>Again</title></item><!-- " + QByteArray(4000, 'x') + " -->\n";
    HttpsTestServer::Response endlessImage;
    endlessImage.body = image.body.left(image.body.indexOf("begin"));
    endlessImage.endless = "M" + QByteArray(60, 'A') + "\n";
    const auto trickling = [](HttpsTestServer::Response response) {
        response.trickleMs = 250;
        return response;
    };
    struct Case
    {
        const char* name;
        void (FirmwareChecker::*job)();
        HttpsTestServer::Response catalogue;
        HttpsTestServer::Response image;
        int deadlineMs; // the size cases never meet it, the trickling ones long before their end
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"a catalogue without end", &FirmwareChecker::checkFirmware, endlessCatalogue, image, 60000,
         "FirmwareChecker::rssFinished answer larger than 1048576 bytes"},
        {"an image without end", &FirmwareChecker::checkFirmware, catalogue, endlessImage, 60000,
         "FirmwareChecker::downloadFinished answer larger than 1048576 bytes"},
        {"a trickling catalogue", &FirmwareChecker::checkFirmware, trickling(catalogue), image, 5000,
         "FirmwareChecker::rssFinished no whole answer within 5000 ms"},
        {"a trickling image", &FirmwareChecker::checkFirmware, catalogue, trickling(image), 5000,
         "FirmwareChecker::downloadFinished no whole answer within 5000 ms"},
        {"a trickling answer to the report", &FirmwareChecker::reportSuccessfulUpload, trickling(catalogue),
         image, 5000, "FirmwareChecker::reportFinished no whole answer within 5000 ms"},
    };
    // Each trickled byte comes well within the transfer timeout (30 s), the whole answer long after
    // the deadline.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        deadlineMs = c.deadlineMs;
        ASSERT_TRUE(support::writeFile(inFolder("cached30.pmimg"), cached));
        log.listener.entries.clear();
        recorder.reset();
        server.setResponse("/rss", c.catalogue);
        server.setResponse("/images/fresh32.pmimg", c.image);
        const qint64 sentBefore = server.sentBodyBytes();

        ASSERT_TRUE(run(c.job));

        EXPECT_TRUE(logged(c.logged));
        EXPECT_EQ(recorder.networkErrors, 1);
        EXPECT_LT(server.sentBodyBytes() - sentBefore, 8 * FirmwareServer::MAX_ANSWER_BYTES)
            << "read on past the cap";
        EXPECT_EQ(files(), std::vector<std::string>{"cached30.pmimg"});
        if (c.job == &FirmwareChecker::checkFirmware) {
            EXPECT_EQ(recorder.chosen, (std::vector<JobRecorder::Choice>{{"cached30.pmimg", 30, false}}));
        }
    }
}

// A catalogue decides what the folder holds, but only within bounds: no more images than a maker
// keeps, and only plain names, which the purge then fully owns (hidden files included).
TEST_F(FirmwareCheckerTest, TheCatalogueNamesOnlyPlainNamesAndABoundedNumberOfImages)
{
    trustServer();
    const std::string release =
        FirmwareImageWriter::file(header("32", "Release"), FirmwareImageWriter::image(6));
    server.setResponse(200, QByteArray::fromStdString(release));

    // Past the cap the rest are left out, and logged.
    std::vector<Item> many;
    for (int i = 0; i < FirmwareServer::MAX_IMAGES + 5; ++i) {
        many.push_back({"Image", link("/images/image" + std::to_string(100 + i) + ".pmimg")});
    }
    serve("/rss", 200, rss(many));
    ASSERT_TRUE(run(&FirmwareChecker::checkFirmware));
    EXPECT_EQ(server.requests().size(), 1 + FirmwareServer::MAX_IMAGES);
    EXPECT_EQ(files().size(), size_t(FirmwareServer::MAX_IMAGES));
    EXPECT_EQ(files().front(), "image100.pmimg");
    EXPECT_TRUE(logged("FirmwareChecker::downloadMissingFirmware more than 16 images, left out:" +
                       link("/images/image" + std::to_string(100 + FirmwareServer::MAX_IMAGES) + ".pmimg")));
    EXPECT_EQ(recorder.networkErrors, 0);

    // Names with control characters, blanks, other signs or a leading dot (a file the purge, which
    // leaves hidden files alone, would never remove) are refused.
    recorder.reset();
    const qsizetype before = server.requests().size();
    const std::vector<std::string> refused = {"/img/%0D%0Aescape8.pmimg", "/img/.hidden7.pmimg",
                                              "/img/with%20blank.pmimg", "/img/semi;colon.pmimg",
                                              "/img/a%26b.pmimg"};
    std::vector<Item> items;
    for (const std::string& path : refused) {
        items.push_back({"Refused", link(path)});
    }
    items.push_back({"Plain", link("/img/plain-9_b.pmimg")});
    serve("/rss", 200, rss(items));
    ASSERT_TRUE(run(&FirmwareChecker::checkFirmware));
    for (const std::string& path : refused) {
        EXPECT_TRUE(
            logged("FirmwareChecker::downloadMissingFirmware refused file name in link:" + link(path)))
            << path;
    }
    ASSERT_EQ(server.requests().size(), before + 2) << "the catalogue and the plain image only";
    EXPECT_EQ(server.requests().last().path, "/img/plain-9_b.pmimg");
    EXPECT_EQ(files(), std::vector<std::string>{"plain-9_b.pmimg"});
    EXPECT_EQ(recorder.chosen, (std::vector<JobRecorder::Choice>{{"plain-9_b.pmimg", 32, false}}));
}

TEST_F(FirmwareCheckerTest, ImagesThatCannotBeFetchedSafelyOrStoredAreNetworkErrors)
{
    trustServer();
    const std::string fresh =
        FirmwareImageWriter::file(header("32", "Release"), FirmwareImageWriter::image(6));
    std::string plain = link("/images/plain.pmimg");
    plain.replace(0, 5, "http");
    serve("/rss", 200, rss({{"Plain", plain}, {"Fresh", link("/images/fresh32.pmimg")}}));
    serve("/images/fresh32.pmimg", 200, fresh);

    // Over plain HTTP neither the credential nor the image travel.
    ASSERT_TRUE(run(&FirmwareChecker::checkFirmware));
    EXPECT_EQ(recorder.networkErrors, 1);
    EXPECT_TRUE(logged("FirmwareChecker::downloadMissingFirmware refused address without https:" + plain));
    EXPECT_EQ(files(), std::vector<std::string>{"fresh32.pmimg"});
    EXPECT_EQ(recorder.chosen, (std::vector<JobRecorder::Choice>{{"fresh32.pmimg", 32, false}}));

    // A server given without https gets nothing, neither the catalogue request nor the report.
    for (auto job : {&FirmwareChecker::checkFirmware, &FirmwareChecker::reportSuccessfulUpload}) {
        recorder.reset();
        const qsizetype before = server.requests().size();
        QUrl plainServer = server.url();
        plainServer.setScheme("http");
        serverOverride = plainServer;
        ASSERT_TRUE(run(job));
        serverOverride = QUrl();
        EXPECT_EQ(recorder.networkErrors, 1);
        EXPECT_EQ(server.requests().size(), before);
    }
    EXPECT_TRUE(
        loggedStart("FirmwareChecker::checkFirmware refused address without https:http://127.0.0.1:"));
    EXPECT_TRUE(loggedStart("FirmwareChecker::reportSuccessfulUpload refused address without https:"));

    // A folder that cannot be written: logged as a failure, nothing left behind.
    recorder.reset();
    log.listener.entries.clear();
    const QString missing = firmwareFolder() + "/missing";
    ASSERT_TRUE(run(&FirmwareChecker::checkFirmware, missing));
    EXPECT_EQ(recorder.networkErrors, 2);
    EXPECT_TRUE(logged("FirmwareChecker::downloadFinished unable to write firmware file:fresh32.pmimg"));
    EXPECT_FALSE(logged("FirmwareChecker::downloadFinished wrote firmware file:fresh32.pmimg"));
    EXPECT_FALSE(QDir(missing).exists());
    EXPECT_TRUE(recorder.chosen.empty());
}

TEST_F(FirmwareCheckerTest, TheUploadReportNamesInstallationMeterImageAndTime)
{
    trustServer();
    serve("/rss", 200, "");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);

    ASSERT_TRUE(run(&FirmwareChecker::reportSuccessfulUpload));

    EXPECT_EQ(recorder.networkErrors, 0);
    EXPECT_TRUE(recorder.chosen.empty());
    EXPECT_TRUE(answeredOn.empty()) << "the report needs no hardware revision";
    ASSERT_EQ(server.requests().size(), 1);
    const HttpsTestServer::Request& request = server.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/rss");
    EXPECT_EQ(request.headers.value("authorization"),
              "Basic " + QByteArray(UUID.toLatin1() + ":" + MORTAL_PASSWORD).toBase64());
    EXPECT_EQ(request.headers.value("user-agent"), "Pelotune PC");
    EXPECT_EQ(request.headers.value("content-type"), "application/x-www-form-urlencoded");
    const QList<QByteArray> fields = request.body.split(',');
    ASSERT_EQ(fields.size(), 4);
    EXPECT_EQ(fields[0], UUID.toLatin1());
    EXPECT_EQ(fields[1], "123456") << "the serial number, in decimal";
    EXPECT_EQ(fields[2], "release31.pmimg");
    const QDateTime sent =
        QLocale::system().toDateTime(QString::fromLatin1(fields[3]), "ddd MMM d hh:mm:ss yyyy");
    ASSERT_TRUE(sent.isValid()) << fields[3].toStdString();
    EXPECT_GE(sent, before);
    EXPECT_LE(sent, QDateTime::currentDateTime());

    // A failed report is a network error too.
    recorder.reset();
    serve("/rss", 500, "");
    ASSERT_TRUE(run(&FirmwareChecker::reportSuccessfulUpload));
    EXPECT_EQ(recorder.networkErrors, 1);
    EXPECT_TRUE(loggedStart("FirmwareChecker::reportFinished http error:"));

    // A server that takes the report and closes the connection unanswered has it once: the report is
    // not posted again behind the job's back, and the job tells of the failure.
    recorder.reset();
    log.listener.entries.clear();
    HttpsTestServer::Response closed;
    closed.fault = HttpsTestServer::Response::Fault::CloseConnection;
    server.setResponse("/rss", closed);
    const qsizetype reportsBefore = server.requests().size();
    ASSERT_TRUE(run(&FirmwareChecker::reportSuccessfulUpload));
    EXPECT_EQ(server.requests().size(), reportsBefore + 1);
    EXPECT_EQ(recorder.networkErrors, 1);
    EXPECT_TRUE(loggedStart("FirmwareChecker::reportFinished http error:"));
}

TEST(HardwareRevisionQueryTest, AJobWaitingForAnAnswerIsFreedWhenThePageGoes)
{
    int answers = 0;
    auto query = std::make_shared<HardwareRevisionQuery>([&] {
        ++answers;
        return 42;
    });
    EXPECT_EQ(query->ask(), 42) << "asked on the page's own thread, answered at once";

    int fromThread = -1;
    QThread* asker = QThread::create([&] { fromThread = query->ask(); });
    asker->start();
    // The page goes before it has answered: the waiting job gets 0, and nothing of the page is called.
    while (!asker->isFinished()) {
        QThread::msleep(5);
        query->detach();
    }
    asker->wait();
    delete asker;
    QCoreApplication::processEvents();
    EXPECT_EQ(fromThread, 0);
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(query->ask(), 0);
}

} // namespace
