// The main window's page stack, its Back and Help buttons, its boxes and its log file.
#include "Screenshot.h"
#include "WindowRig.h"

#include "app/Implementer.h"
#include "app/TouchableLabel.h"

#include <QDesktopServices>
#include <QFile>
#include <QGraphicsView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <limits>

using apptest::TestPage;
using apptest::WindowRig;

namespace {

// The window's message boxes still open, by title.
QMessageBox* openBox(Pelotune& window, const QString& title)
{
    for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
        if (box->isVisible() && box->windowTitle() == title) {
            return box;
        }
    }
    return nullptr;
}

class WindowTest : public testing::Test
{
protected:
    void SetUp() override { rig.start(); }

    // Pushes a test page as a meter's page would be pushed.
    TestPage* push()
    {
        auto* page = new TestPage(rig.window.get());
        rig.window->addStackedWidget(page);
        return page;
    }

    void clickHelp()
    {
        rig.button("helpButton")->click();
        WindowRig::flush();
    }

    WindowRig rig;
};

TEST_F(WindowTest, StartsOnTheMenuWithBackHiddenAndTheLogoShown)
{
    EXPECT_EQ(rig.stack()->count(), 2);
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
    EXPECT_TRUE(rig.button("backButton")->isHidden());
    EXPECT_EQ(rig.window->windowTitle(), "Pelotune Zuridi");
    EXPECT_TRUE(rig.button("aboutButton")->isEnabled());

    auto* view = rig.window->findChild<QGraphicsView*>("graphicsView");
    ASSERT_NE(view->scene(), nullptr);
    ASSERT_EQ(view->scene()->items().size(), 1);
    EXPECT_EQ(view->scene()->itemsBoundingRect().size(), QPixmap(":png/velonix.png").size());
    EXPECT_FALSE(QPixmap(":png/velonix.png").isNull());
}

TEST_F(WindowTest, BackAndHelpFollowTheTopPage)
{
    // The list was current when the first page came: going back from it still lands on the menu.
    rig.stack()->setCurrentIndex(1);
    TestPage* first = push();
    EXPECT_EQ(rig.currentPage(), first);
    EXPECT_FALSE(rig.button("backButton")->isHidden());
    clickHelp();
    EXPECT_EQ(first->helps, 1);

    TestPage* second = push();
    clickHelp();
    EXPECT_EQ(second->helps, 1);
    EXPECT_EQ(first->helps, 1) << "Help reaches only the top page";

    rig.button("backButton")->click();
    WindowRig::flush();
    EXPECT_EQ(rig.stack()->count(), 3);
    EXPECT_EQ(rig.stack()->currentIndex(), 2);
    EXPECT_FALSE(rig.button("backButton")->isHidden());
    clickHelp();
    EXPECT_EQ(first->helps, 2);

    QPointer<TestPage> gone = first;
    rig.button("backButton")->click();
    WindowRig::flush();
    EXPECT_EQ(rig.stack()->count(), 2);
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
    EXPECT_TRUE(rig.button("backButton")->isHidden());
    EXPECT_TRUE(gone.isNull()) << "a page taken off the stack is deleted";
    clickHelp();
    ASSERT_EQ(rig.urls.urls().size(), 1u);
    EXPECT_EQ(rig.urls.urls()[0].toString(), "https://help.example.com/pelotune/pelotune.html");

    // Back with only the menu and the list changes nothing.
    rig.window->backClicked();
    EXPECT_EQ(rig.stack()->count(), 2);
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
}

TEST_F(WindowTest, APageThatRefusesToCloseKeepsItsPlaceAndAllBackPersists)
{
    TestPage* bottom = push();
    TestPage* top = push();
    top->refusals = 2;

    rig.window->backClicked();
    EXPECT_EQ(rig.stack()->count(), 4);
    EXPECT_EQ(rig.currentPage(), top);
    EXPECT_FALSE(rig.button("backButton")->isHidden());
    clickHelp();
    EXPECT_EQ(top->helps, 1);
    EXPECT_EQ(bottom->helps, 0);

    // One more refusal, then the page gives in; allBack goes on until the menu and list are left.
    rig.window->allBack();
    EXPECT_EQ(rig.stack()->count(), 2);
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
    EXPECT_TRUE(rig.button("backButton")->isHidden());

    rig.window->allBack();
    EXPECT_EQ(rig.stack()->count(), 2);
}

TEST_F(WindowTest, AllBackLeavesAPageThatNeverGivesInRatherThanHang)
{
    struct Case
    {
        const char* name;
        int refusals;
        int pagesLeft;
    };
    const Case cases[] = {
        {"a page with many steps of its own still goes", Pelotune::kMaxCloseRefusals - 1, 2},
        {"a page that always refuses stays on top, the one under it too", std::numeric_limits<int>::max(), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        push();
        TestPage* top = push();
        top->refusals = c.refusals;

        rig.window->allBack();
        EXPECT_EQ(rig.stack()->count(), c.pagesLeft);
        if (c.pagesLeft > 2) {
            EXPECT_EQ(rig.currentPage(), top);
            EXPECT_FALSE(rig.button("backButton")->isHidden());
            top->refusals = 0;
            rig.window->allBack();
            EXPECT_EQ(rig.stack()->count(), 2);
        }
        WindowRig::flush();
    }
}

TEST_F(WindowTest, APageThatLeavesByItselfLeavesBackAndHelpRight)
{
    TestPage* bottom = push();
    TestPage* top = push();
    delete top;
    EXPECT_EQ(rig.stack()->count(), 3);
    clickHelp();
    EXPECT_EQ(bottom->helps, 1);

    delete bottom;
    EXPECT_TRUE(rig.button("backButton")->isHidden());
    clickHelp();
    EXPECT_EQ(rig.urls.urls().size(), 1u);
}

TEST_F(WindowTest, AllBackTimerGoesBackOnceItFires)
{
    push();
    push();
    rig.window->allBackTimer();
    EXPECT_EQ(rig.stack()->count(), 4) << "nothing happens inside the caller's call";
    QTimer* backTimer = nullptr;
    for (QTimer* timer : rig.window->findChildren<QTimer*>()) {
        if (timer->isSingleShot()) {
            backTimer = timer;
        }
    }
    ASSERT_NE(backTimer, nullptr);
    EXPECT_TRUE(backTimer->isActive());
    EXPECT_EQ(backTimer->interval(), 1000);
    QSignalSpy fired(backTimer, &QTimer::timeout);
    ASSERT_TRUE(fired.wait(3000));
    WindowRig::flush();
    EXPECT_EQ(rig.stack()->count(), 2);
}

TEST_F(WindowTest, HelpTopicsOpenTheirPageUnderTheHelpSite)
{
    struct Case
    {
        const char* topic;
        const char* url;
    };
    const Case cases[] = {
        {"settings", "https://help.example.com/pelotune/settings.html"},
        {"sensorKV7", "https://help.example.com/pelotune/sensorKV7.html"},
        {"calibrateSlope", "https://help.example.com/pelotune/calibrateSlope.html"},
    };
    for (const Case& c : cases) {
        rig.urls.clear();
        rig.window->showHelp(c.topic);
        ASSERT_EQ(rig.urls.urls().size(), 1u) << c.topic;
        EXPECT_EQ(rig.urls.urls()[0].toString(), c.url);
    }
}

// Without a browser the desktop opens nothing: a box on the window says so and gives the address to
// open by hand, shown as it stands.
TEST_F(WindowTest, HelpWithoutABrowserSaysSoAndNamesTheAddress)
{
    QObject refuser;
    QDesktopServices::setUrlHandler("https", &refuser, "noSuchSlot");
    rig.button("helpButton")->click();
    WindowRig::flush();
    QDesktopServices::setUrlHandler("https", &rig.urls, "openUrl");

    QMessageBox* box = openBox(*rig.window, "No web browser found");
    ASSERT_NE(box, nullptr);
    apptest::Screenshot::screen(rig.window.get(), "help-without-a-browser");
    EXPECT_EQ(box->text(), "The help page could not be opened: no web browser is set up to open it.\n\n"
                           "Open this address in a web browser:\n" HELP_URL "/pelotune.html");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_TRUE(rig.urls.urls().empty());

    // With a browser, no box.
    box->button(QMessageBox::Ok)->click();
    WindowRig::flush();
    rig.button("helpButton")->click();
    WindowRig::flush();
    EXPECT_EQ(openBox(*rig.window, "No web browser found"), nullptr);
    EXPECT_EQ(rig.urls.urls().size(), 1u);
}

TEST_F(WindowTest, AboutBoxNamesTheVersionWithoutBlocking)
{
    rig.button("aboutButton")->click();
    QMessageBox* box = openBox(*rig.window, "About");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Pelotune Zuridi version: 1.9");
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_TRUE(box->testAttribute(Qt::WA_DeleteOnClose));

    QPointer<QMessageBox> gone = box;
    box->button(QMessageBox::Ok)->click();
    WindowRig::flush();
    EXPECT_TRUE(gone.isNull());
}

TEST_F(WindowTest, DataFolderIsCreatedWhenMissing)
{
    const QString nested = QString::fromStdString(rig.folder.file("a/b/data"));
    Pelotune window(rig.bench.factory(), nested, [](int) {});
    EXPECT_EQ(window.dataFolder(), nested);
    EXPECT_TRUE(QDir(nested).exists());
}

// The program may be installed anywhere: its files are found from where it runs, never from where
// it was built.
TEST_F(WindowTest, ProgramFilesAreFoundBesideTheRunningProgram)
{
    const QDir program(QCoreApplication::applicationDirPath());
    EXPECT_EQ(QDir(rig.window->appFolder()), program);
    EXPECT_EQ(QDir(rig.window->appResourceFolder()), QDir(program.absoluteFilePath("../share/pelotune")));
    EXPECT_FALSE(rig.window->appResourceFolder().endsWith("/"));
}

TEST(WindowLogTest, LogFileIsCreatedInTheDataFolderAndEmptiedAtEachStart)
{
    WindowRig rig;
    const std::string logFile = rig.folder.file("pelotune.log");
    ASSERT_TRUE(support::writeFile(logFile, "a line of the last run\n"));
    rig.bench.plug(0x1008);
    rig.start();
    rezezaz::core::Log::getInstance()->flush();

    const std::string content = support::readFile(logFile);
    EXPECT_EQ(content.find("a line of the last run"), std::string::npos);
    EXPECT_NE(content.find("ALERT:  Pelotune::setupAntRadio success"), std::string::npos) << content;

    // A second start begins the file again.
    rig.window.reset();
    rig.start();
    rezezaz::core::Log::getInstance()->flush();
    const std::string again = support::readFile(logFile);
    EXPECT_EQ(again.find("Pelotune::setupAntRadio success"), again.rfind("Pelotune::setupAntRadio success"));
}

TEST(WindowLogTest, ASecondInstanceLeavesTheRunningOnesLogAlone)
{
    WindowRig rig;
    rig.bench.plug(0x1008);
    rig.start();
    rezezaz::core::Log::getInstance()->flush();
    const std::string logFile = rig.folder.file("pelotune.log");
    const std::string before = support::readFile(logFile);
    ASSERT_NE(before.find("Pelotune::setupAntRadio success"), std::string::npos);

    // Started twice more on the same data folder while the first runs.
    for (int start = 2; start <= 3; ++start) {
        SCOPED_TRACE(start);
        Pelotune other(rig.bench.factory(), QString::fromStdString(rig.folder.path()), [](int) {});
        rezezaz::core::Log::getInstance()->flush();
        EXPECT_FALSE(QFile::exists(QString::fromStdString(logFile + ".1"))) << "the live log was moved";
        const std::string now = support::readFile(logFile);
        EXPECT_EQ(now.compare(0, before.size(), before), 0) << "the live log was emptied";
    }
    // The first goes on writing where it was.
    rezezaz::core::Log::alert("after the others");
    rezezaz::core::Log::getInstance()->flush();
    EXPECT_NE(support::readFile(logFile).find("after the others"), std::string::npos);

    // Once it has ended, the next start takes the log over as usual.
    rig.window.reset();
    rig.start();
    rezezaz::core::Log::getInstance()->flush();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(logFile + ".1")));
    EXPECT_NE(support::readFile(logFile).find("Pelotune::setupAntRadio success"), std::string::npos);
}

TEST(TouchableLabelTest, PressReportsThePositionAndStopsThere)
{
    QWidget parent;
    parent.resize(200, 100);
    auto* label = new TouchableLabel(&parent);
    label->setGeometry(50, 20, 100, 40);
    QSignalSpy pressed(label, &TouchableLabel::mousePressed);

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(12, 7), label->mapToGlobal(QPointF(12, 7)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &press);

    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed[0][0].toPoint(), QPoint(12, 7));
    EXPECT_TRUE(press.isAccepted()) << "the press does not go on to the parent";
}

} // namespace
