// Skin resources and the style sheet reload notification.
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <future>

#include "Base/MessageLoop.h"
#include "QssReloadNotifyMgr.h"
#include "RCCLoadManager.h"
#include "SkinLoader.h"
#include "TestUiTools.h"

using namespace serverframework;
using comm_method::CQssReloadNotifyMgr;
using comm_method::IQssReloadNotifyMgrObserver;

namespace {

const char kQss[] = ":/Qss/Qss/ServerFramework.qss";

class RecordingObserver : public IQssReloadNotifyMgrObserver
{
public:
    void OnQssReload(const Param& param) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        skins.push_back(param.skinName);
        if (onCall)
            onCall();
    }
    std::vector<std::string> calls()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return skins;
    }
    std::function<void()> onCall;

private:
    std::mutex mutex;
    std::vector<std::string> skins;
};

// Holds the notification thread until release() so that tests can act while
// a notification is queued behind it.
class LoopBlocker
{
public:
    LoopBlocker()
    {
        auto released = gate.get_future().share();
        auto started = std::make_shared<std::promise<void>>();
        auto running = started->get_future();
        QVERIFY(Base::CSingleton<Base::CMessageLoopForNotify>::Instance().PostTask(
            Base::CCancelableTask([released, started] {
                started->set_value();
                released.wait();
            })));
        running.wait();
    }
    ~LoopBlocker() { release(); }
    void release()
    {
        if (!done) {
            done = true;
            gate.set_value();
        }
    }

private:
    std::promise<void> gate;
    bool done = false;
};

// Waits until every task posted before has run.
void drainLoop()
{
    auto finished = std::make_shared<std::promise<void>>();
    auto future = finished->get_future();
    QVERIFY(Base::CSingleton<Base::CMessageLoopForNotify>::Instance().PostTask(
        Base::CCancelableTask([finished] { finished->set_value(); })));
    QCOMPARE(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

} // namespace

class TestSkins : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        rccDir = (dir.path() + "/rcc").toStdString();
        const QString base = dir.path() + "/rcc/";
        QVERIFY(uitest::makeRcc(base + "GreyRed/ServerFramework.rcc",
                                {{kQss, "grey"}, {":/FrameworkGui/TrayIcon/Image/only_grey.svg", "<svg/>"}}));
        QVERIFY(uitest::makeRcc(base + "GreyRed/Images.rcc", {{":/FrameworkGui/TrayIcon/Image/a.svg", "a"}}));
        QVERIFY(uitest::makeRcc(base + "Blue/ServerFramework.rcc", {{kQss, "blue"}}));
        QVERIFY(uitest::makeRcc(base + "BlackRed/ServerFramework.rcc", {{kQss, "black"}}));
        QVERIFY(tst::writeBytes(base + "Blue/notes.txt", "ignored"));
    }

    void skinTable_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("folder");
        QTest::newRow("BlackRedSkin") << "BlackRedSkin" << "BlackRed";
        QTest::newRow("GreyRedSkin") << "GreyRedSkin" << "GreyRed";
        QTest::newRow("BlueSkin") << "BlueSkin" << "Blue";
        QTest::newRow("NeutralSkin") << "NeutralSkin" << "Neutral";
        QTest::newRow("folder name") << "GreyRed" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("case differs") << "blueskin" << "";
    }

    void skinTable()
    {
        QFETCH(QString, skin);
        QFETCH(QString, folder);
        QCOMPARE(QString::fromStdString(skinFolder(skin.toStdString())), folder);
    }

    void listsOnlyRccFilesSorted()
    {
        auto& manager = UiDataController::CRCCLoadManager::Instance();
        manager.setRccDir(rccDir);
        const auto files = manager.listRccFiles("GreyRed");
        QCOMPARE(int(files.size()), 2);
        QCOMPARE(QString::fromStdString(files[0]), QString::fromStdString(rccDir + "/GreyRed/Images.rcc"));
        QCOMPARE(QString::fromStdString(files[1]), QString::fromStdString(rccDir + "/GreyRed/ServerFramework.rcc"));
        QCOMPARE(int(manager.listRccFiles("Blue").size()), 1);
        QVERIFY(manager.listRccFiles("Nowhere").empty());
    }

    // Kept in this order: each step starts from the skin the previous left.
    void switchResolvesToTheNewSkin()
    {
        auto& manager = UiDataController::CRCCLoadManager::Instance();
        QVERIFY(!QFile::exists(kQss));

        QVERIFY(loadSkin("GreyRedSkin", rccDir));
        QCOMPARE(manager.getCurrentSkin(), std::string("GreyRed"));
        QCOMPARE(uitest::readResource(kQss), QByteArray("grey"));
        QVERIFY(QFile::exists(":/FrameworkGui/TrayIcon/Image/only_grey.svg"));

        QVERIFY(loadSkin("BlueSkin", rccDir));
        QCOMPARE(manager.getCurrentSkin(), std::string("Blue"));
        QCOMPARE(uitest::readResource(kQss), QByteArray("blue"));
        QVERIFY(!QFile::exists(":/FrameworkGui/TrayIcon/Image/only_grey.svg"));
        QVERIFY(!QFile::exists(":/FrameworkGui/TrayIcon/Image/a.svg"));
    }

    void folderNameDoesNothing()
    {
        auto& manager = UiDataController::CRCCLoadManager::Instance();
        QVERIFY(loadSkin("BlackRedSkin", rccDir));
        QVERIFY(!loadSkin("GreyRed", rccDir));
        QCOMPARE(manager.getCurrentSkin(), std::string("BlackRed"));
        QCOMPARE(uitest::readResource(kQss), QByteArray("black"));
    }

    void loadingTwiceRegistersAgain()
    {
        auto& manager = UiDataController::CRCCLoadManager::Instance();
        QVERIFY(loadSkin("GreyRedSkin", rccDir));
        QVERIFY(loadSkin("GreyRedSkin", rccDir));
        QCOMPARE(uitest::readResource(kQss), QByteArray("grey"));
        // Registered once, not twice: one switch removes every file.
        QVERIFY(loadSkin("BlueSkin", rccDir));
        QVERIFY(!QFile::exists(":/FrameworkGui/TrayIcon/Image/only_grey.svg"));
        QCOMPARE(uitest::readResource(kQss), QByteArray("blue"));
        QCOMPARE(manager.getCurrentSkin(), std::string("Blue"));
    }

    void missingSkinFolderRegistersNothing()
    {
        QVERIFY(loadSkin("NeutralSkin", rccDir));
        QCOMPARE(UiDataController::CRCCLoadManager::Instance().getCurrentSkin(), std::string("Neutral"));
        QVERIFY(!QFile::exists(kQss));
    }

    void shippedSkinsHoldEveryPath_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("BlackRed") << "BlackRedSkin";
        QTest::newRow("GreyRed") << "GreyRedSkin";
        QTest::newRow("Blue") << "BlueSkin";
        QTest::newRow("Neutral") << "NeutralSkin";
    }

    void shippedSkinsHoldEveryPath()
    {
        QFETCH(QString, skin);
        // The first load may fail to unregister a skin an earlier case took
        // from another folder; loading again starts from this folder's files.
        loadSkin(skin.toStdString(), TAVRIN_BUILD_DIR "/Server/rcc");
        QVERIFY(loadSkin(skin.toStdString(), TAVRIN_BUILD_DIR "/Server/rcc"));
        const QString image = QStringLiteral(":/FrameworkGui/TrayIcon/Image/");
        for (const char* name : {"confirm_Icon.svg", "ic_close_dis.svg", "ic_edit_nor.svg", "ic_min_dis.svg",
                                 "ic_start.svg", "line_corret.svg", "line_no_corret.svg", "notice_Icon.svg",
                                 "notselect_nor.svg", "select_nor.svg"}) {
            QIcon icon(image + name);
            QVERIFY2(!icon.pixmap(QSize(16, 16)).isNull(), name);
        }
        const QImage tray(image + "server 24.png");
        QCOMPARE(tray.size(), QSize(24, 24));
        const QString qss = QString::fromLatin1(uitest::readResource(kQss));
        QVERIFY(qss.contains(QStringLiteral("QPushButton#m_ConfirmBtn")));
        QVERIFY(!qss.contains(QLatin1Char('@')));
    }

    void notifiesObserversOnTheLoopThread()
    {
        CQssReloadNotifyMgr manager;
        RecordingObserver first, second;
        std::thread::id calledOn;
        first.onCall = [&] { calledOn = std::this_thread::get_id(); };
        manager.AddObserver(&first);
        manager.AddObserver(&second);
        manager.AddObserver(&first);
        QVERIFY(manager.NotifyQssReload("BlueSkin"));
        drainLoop();
        QCOMPARE(first.calls(), std::vector<std::string>{"BlueSkin"});
        QCOMPARE(second.calls(), std::vector<std::string>{"BlueSkin"});
        QVERIFY(calledOn != std::thread::id());
        QVERIFY(calledOn != std::this_thread::get_id());
    }

    void observerRemovedWhileQueuedIsNotCalled()
    {
        CQssReloadNotifyMgr manager;
        RecordingObserver kept, removed;
        manager.AddObserver(&kept);
        manager.AddObserver(&removed);
        {
            LoopBlocker blocker;
            QVERIFY(manager.NotifyQssReload("GreyRedSkin"));
            manager.RemoveObserver(&removed);
        }
        drainLoop();
        QCOMPARE(kept.calls().size(), size_t(1));
        QVERIFY(removed.calls().empty());
    }

    void observerRemovedDuringThePassIsNotCalled()
    {
        CQssReloadNotifyMgr manager;
        RecordingObserver first, second, third;
        // The first observer removes the second while the pass is running.
        first.onCall = [&] { manager.RemoveObserver(&second); };
        manager.AddObserver(&first);
        manager.AddObserver(&second);
        manager.AddObserver(&third);
        QVERIFY(manager.NotifyQssReload("BlueSkin"));
        drainLoop();
        QCOMPARE(first.calls().size(), size_t(1));
        QVERIFY(second.calls().empty());
        QCOMPARE(third.calls().size(), size_t(1));

        // Dropped for good: the next notification does not reach it either.
        first.onCall = nullptr;
        QVERIFY(manager.NotifyQssReload("GreyRedSkin"));
        drainLoop();
        QVERIFY(second.calls().empty());
        QCOMPARE(first.calls().size(), size_t(2));
    }

    void removeFromAnotherThreadWaitsForTheCall()
    {
        CQssReloadNotifyMgr manager;
        RecordingObserver slow;
        std::promise<void> entered;
        std::atomic<bool> finished{false};
        slow.onCall = [&] {
            entered.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            finished = true;
        };
        manager.AddObserver(&slow);
        QVERIFY(manager.NotifyQssReload("BlueSkin"));
        entered.get_future().wait();
        manager.RemoveObserver(&slow);
        QVERIFY(finished);
        drainLoop();
    }

    void managerGoneBeforeTheTaskRuns()
    {
        RecordingObserver observer;
        {
            LoopBlocker blocker;
            CQssReloadNotifyMgr manager;
            manager.AddObserver(&observer);
            QVERIFY(manager.NotifyQssReload("BlueSkin"));
        }
        drainLoop();
        QVERIFY(observer.calls().empty());
    }

private:
    QTemporaryDir dir;
    std::string rccDir;
};

QTEST_MAIN(TestSkins)
#include "TestSkins.moc"
