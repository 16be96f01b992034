// The language table and the loading and switching of translators; skin
// resources and the style sheet reload notification.
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <atomic>
#include <future>

#include "Base/MessageLoop.h"
#include "Languages.h"
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


QString translated(const char* key)
{
    return QCoreApplication::translate("serverframework::CKestApplication", key);
}
} // namespace

class TestSkinsAndLanguages : public QObject
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
        root = dir.path() + QStringLiteral("/translations/");
        const QString context = QStringLiteral("serverframework::CKestApplication");
        QVERIFY(uitest::makeQm(root + "zh_TW/host.qm", context, {{"Information", "資訊"}}));
        QVERIFY(uitest::makeQm(root + "English/host.qm", context,
                               {{"Information", "Information"}, {"OnlyEnglish", "English only"}}));
        QVERIFY(uitest::makeQm(root + "English/more.qm", context, {{"Second", "Second file"}}));
        QVERIFY(uitest::makeQm(root + "Chinese/host.qm", context, {{"Information", "信息"}}));
        QVERIFY(uitest::makeQm(root + "top.qm", context, {{"Information", "top level"}}));
        QVERIFY(QDir().mkpath(root + "Greek"));
        tst::writeBytes(root + "Greek/readme.txt", "not a translation");
    }

    void table()
    {
        // index, folder, language, country
        const QList<std::tuple<int, QString, int, int>> rows = {
            {0, "English", QLocale::English, QLocale::UnitedStates}, {11, "zh_TW", QLocale::Chinese, QLocale::Taiwan},
            {36, "Indonesia", QLocale::Indonesian, QLocale::Indonesia}};
        for (const auto& [index, name, language, country] : rows) {
            QCOMPARE(languageName(index), name);
            QCOMPARE(int(languageLocale(index).language()), language);
            QCOMPARE(int(languageLocale(index).country()), country);
        }
        for (int index : {37, -1}) {
            QVERIFY(languageName(index).isEmpty());
            QCOMPARE(languageLocale(index), QLocale());
        }
    }

    void loadsTheLanguageFolder_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zh_TW") << 11 << 1 << "資訊";
        QTest::newRow("English, two files") << 0 << 2 << "Information";
        QTest::newRow("above the table: top folder") << 40 << 1 << "top level";
        QTest::newRow("folder without .qm") << 2 << 0 << "Information";
    }

    void loadsTheLanguageFolder()
    {
        QFETCH(int, index);
        QFETCH(int, files);
        QFETCH(QString, expected);
        const QVector<QTranslator*> translators = loadTranslators(index, root);
        QCOMPARE(translators.size(), files);
        for (QTranslator* translator : translators)
            QVERIFY(!translator->isEmpty());
        QCOMPARE(translated("Information"), expected);
        for (QTranslator* translator : translators) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QCOMPARE(translated("Information"), QStringLiteral("Information"));
    }

    void switchRemovesOldTranslators()
    {
        QVector<QTranslator*> current = loadTranslators(0, root);
        QCOMPARE(translated("OnlyEnglish"), QStringLiteral("English only"));
        QCOMPARE(translated("Second"), QStringLiteral("Second file"));

        const QVector<QTranslator*> old = current;
        current = switchTranslators(1, root, current);
        QCOMPARE(current.size(), 1);
        QCOMPARE(translated("Information"), QStringLiteral("信息"));
        // Nothing of the old language survives.
        QCOMPARE(translated("OnlyEnglish"), QStringLiteral("OnlyEnglish"));
        QCOMPARE(translated("Second"), QStringLiteral("Second"));
        // Removed, not deleted: the old objects are still usable.
        QCOMPARE(old.at(0)->translate("serverframework::CKestApplication", "OnlyEnglish"),
                 QStringLiteral("English only"));

        current = switchTranslators(11, root, current);
        QCOMPARE(translated("Information"), QStringLiteral("資訊"));
        current = switchTranslators(2, root, current);
        QVERIFY(current.isEmpty());
        QCOMPARE(translated("Information"), QStringLiteral("Information"));
        qDeleteAll(old);
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
    QString root;
};

QTEST_MAIN(TestSkinsAndLanguages)
#include "TestSkinsAndLanguages.moc"
