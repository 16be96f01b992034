// Skin resources and the style sheet reload notification.
#include <QFile>
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

namespace {

const char kQss[] = ":/Qss/Qss/ServerFramework.qss";
const char kGreyOnly[] = ":/FrameworkGui/TrayIcon/Image/only_grey.svg";

class RecordingObserver : public comm_method::IQssReloadNotifyMgrObserver
{
public:
    void OnQssReload(const Param& param) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            skins.push_back(param.skinName);
        }
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

Base::CMessageLoopForNotify& loop()
{
    return Base::CSingleton<Base::CMessageLoopForNotify>::Instance();
}

// Waits until every task posted before has run.
void drainLoop()
{
    auto finished = std::make_shared<std::promise<void>>();
    auto future = finished->get_future();
    QVERIFY(loop().PostTask(Base::CCancelableTask([finished] { finished->set_value(); })));
    QCOMPARE(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

} // namespace

class TestSkins : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        rccDir = (dir.path() + "/rcc").toStdString();
        const QString base = dir.path() + "/rcc/";
        QVERIFY(uitest::makeRcc(base + "GreyRed/ServerFramework.rcc", {{kQss, "grey"}, {kGreyOnly, "<svg/>"}}));
        QVERIFY(uitest::makeRcc(base + "GreyRed/Images.rcc", {{":/FrameworkGui/TrayIcon/Image/a.svg", "a"}}));
        QVERIFY(uitest::makeRcc(base + "Blue/ServerFramework.rcc", {{kQss, "blue"}}));
        QVERIFY(uitest::makeRcc(base + "BlackRed/ServerFramework.rcc", {{kQss, "black"}}));
    }

    // Each step starts from the skin the previous one left.
    void switchResolvesToTheNewSkin()
    {
        auto& manager = UiDataController::CRCCLoadManager::Instance();
        QCOMPARE(QString::fromStdString(skinFolder("BlackRedSkin")), QStringLiteral("BlackRed"));
        QVERIFY(loadSkin("GreyRedSkin", rccDir));
        QVERIFY(loadSkin("GreyRedSkin", rccDir)); // twice: still registered once
        QCOMPARE(tst::readBytes(kQss), QByteArray("grey"));
        QVERIFY(QFile::exists(kGreyOnly));
        QVERIFY(loadSkin("BlueSkin", rccDir));
        QCOMPARE(manager.getCurrentSkin(), std::string("Blue"));
        QCOMPARE(tst::readBytes(kQss), QByteArray("blue"));
        QVERIFY(!QFile::exists(kGreyOnly) && !QFile::exists(":/FrameworkGui/TrayIcon/Image/a.svg"));
        QVERIFY(!loadSkin("GreyRed", rccDir)); // a folder name is no skin name
        QCOMPARE(tst::readBytes(kQss), QByteArray("blue"));
        QVERIFY(loadSkin("NeutralSkin", rccDir)); // no folder: nothing registered
        QVERIFY(!QFile::exists(kQss));
    }

    // The suite's callback loads the skin of the program folder and tells
    // every observer.
    void suiteCallbackLoadsAndNotifies()
    {
        RecordingObserver observer;
        CQssReloadNotifyMgr::Instance().AddObserver(&observer);
        registerRccCallback("BlueSkin", nullptr);
        drainLoop();
        CQssReloadNotifyMgr::Instance().RemoveObserver(&observer);
        QCOMPARE(observer.calls(), std::vector<std::string>{"BlueSkin"});
        QCOMPARE(UiDataController::CRCCLoadManager::Instance().getCurrentSkin(), std::string("Blue"));
    }

    // Observers are called on the loop thread, once each; one removed before
    // or during a pass (or with its manager gone) is not called, and removing
    // from another thread waits for a call under way.
    void notifiesObserversOnTheLoopThread()
    {
        auto manager = std::make_unique<CQssReloadNotifyMgr>();
        RecordingObserver first, second, third, orphan;
        std::thread::id calledOn;
        first.onCall = [&] {
            calledOn = std::this_thread::get_id();
            manager->RemoveObserver(&second); // during the pass: not called, then or later
        };
        for (auto* observer : {&first, &second, &third, &first})
            manager->AddObserver(observer);
        QVERIFY(manager->NotifyQssReload("BlueSkin"));
        drainLoop();
        QVERIFY(calledOn != std::thread::id() && calledOn != std::this_thread::get_id());

        // With the loop held, removed before the queued task runs.
        std::promise<void> gate;
        auto released = gate.get_future().share();
        QVERIFY(loop().PostTask(Base::CCancelableTask([released] { released.wait(); })));
        first.onCall = nullptr;
        QVERIFY(manager->NotifyQssReload("GreyRedSkin"));
        manager->RemoveObserver(&third);
        {
            CQssReloadNotifyMgr gone;
            gone.AddObserver(&orphan);
            QVERIFY(gone.NotifyQssReload("BlueSkin"));
        }
        gate.set_value();
        drainLoop();
        QCOMPARE(first.calls(), (std::vector<std::string>{"BlueSkin", "GreyRedSkin"}));
        QVERIFY(second.calls().empty() && orphan.calls().empty());
        QCOMPARE(third.calls().size(), size_t(1));

        std::promise<void> entered;
        std::atomic<bool> finished{false};
        first.onCall = [&] {
            entered.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            finished = true;
        };
        QVERIFY(manager->NotifyQssReload("BlueSkin"));
        entered.get_future().wait();
        manager->RemoveObserver(&first);
        QVERIFY(finished);
        drainLoop();
    }

private:
    QTemporaryDir dir;
    std::string rccDir;
};

QTEST_MAIN(TestSkins)
#include "TestSkins.moc"
