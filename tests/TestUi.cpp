// The ui pieces: port field, tip bubble, warning dialog, "Setup.xml" settings
// and product names, high-DPI decision, languages, skins and their reloading.

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <future>
#include <tuple>

#include "Base/MessageLoop.h"
#include "ui/CheckCorretLineEdit.h"
#include "KestApplication/CommandLine.h"
#include "KestApplication/DpiPolicy.h"
#include "controller/Languages.h"
#include "ui/QssReloadNotifyMgr.h"
#include "ui/RCCLoadManager.h"
#include "ui/RightTipButton.h"
#include "controller/ServerConfigManager.h"
#include "ui/SkinLoader.h"
#include "ui/TipWidget.h"
#include "ui/WaringDlg.h"
#include "TestSupport.h"

using namespace serverframework;
using comm_method::CQssReloadNotifyMgr;

namespace {

const char kQss[] = ":/Qss/Qss/ServerFramework.qss";
const char kGreyOnly[] = ":/FrameworkGui/TrayIcon/Image/only_grey.svg";

// A .qm at qmPath translating, in context, each key of the pairs.
bool makeQm(const QString& qmPath, const QString& context, const QList<QPair<QString, QString>>& messages)
{
    QByteArray ts =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\">\n<context>\n<name>" + context.toUtf8() + "</name>\n";
    for (const auto& message : messages)
        ts += "<message><source>" + message.first.toUtf8() + "</source><translation>" + message.second.toUtf8() + "</translation></message>\n";
    ts += "</context>\n</TS>\n";
    const QString tsPath = qmPath + ".ts";
    const bool ok = tst::writeBytes(tsPath, ts) && tst::run(LRELEASE_EXECUTABLE, {"-silent", tsPath, "-qm", qmPath});
    QFile::remove(tsPath);
    return ok;
}

// A binary .rcc at rccPath holding each (resource path, content) pair; the resource paths start with ":/".
bool makeRcc(const QString& rccPath, const QList<QPair<QString, QByteArray>>& files)
{
    const QString work = rccPath + ".src";
    QByteArray qrc = "<RCC>\n<qresource prefix=\"/\">\n";
    int index = 0;
    for (const auto& file : files) {
        const QString local = QStringLiteral("f%1").arg(index++);
        if (!tst::writeBytes(work + '/' + local, file.second))
            return false;
        qrc += "<file alias=\"" + file.first.mid(2).toUtf8() + "\">" + local.toUtf8() + "</file>\n";
    }
    const QString qrcPath = work + "/skin.qrc";
    const bool ok = tst::writeBytes(qrcPath, qrc + "</qresource>\n</RCC>\n") && tst::run(RCC_EXECUTABLE, {"-binary", qrcPath, "-o", rccPath});
    QDir(work).removeRecursively();
    return ok;
}

// Records the skins it is told of; read only after drainLoop(), which orders the loop thread's writes before the read.
class RecordingObserver : public comm_method::IQssReloadNotifyMgrObserver
{
public:
    void OnQssReload(const Param& param) override
    {
        calls.push_back(param.skinName);
        if (onCall)
            onCall();
    }
    std::vector<std::string> calls;
    std::function<void()> onCall;
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

class TestUi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        rccDir = (dir.path() + "/rcc").toStdString();
        const QString base = dir.path() + "/rcc/";
        QVERIFY(makeRcc(base + "GreyRed/ServerFramework.rcc", {{kQss, "grey"}, {kGreyOnly, "<svg/>"}}));
        QVERIFY(makeRcc(base + "GreyRed/Images.rcc", {{":/FrameworkGui/TrayIcon/Image/a.svg", "a"}}));
        QVERIFY(makeRcc(base + "Blue/ServerFramework.rcc", {{kQss, "blue"}}));
        root = dir.path() + QStringLiteral("/translations/");
        const QString context = QStringLiteral("serverframework::CKestApplication");
        QVERIFY(makeQm(root + "zh_TW/host.qm", context, {{"Information", "資訊"}}));
        QVERIFY(makeQm(root + "English/host.qm", context, {{"Information", "Information"}, {"OnlyEnglish", "English only"}}));
        QVERIFY(makeQm(root + "English/more.qm", context, {{"Second", "Second file"}}));
        QVERIFY(makeQm(root + "Chinese/host.qm", context, {{"Information", "信息"}}));
        QVERIFY(makeQm(root + "top.qm", context, {{"Information", "top level"}}));
        QVERIFY(QDir().mkpath(root + "Greek"));
        tst::writeBytes(root + "Greek/readme.txt", "not a translation");
    }

    // Ports only, typed: a leading zero, signs, spaces and values above 65535 are not taken, each refusal saying what the text would have become, and
    // a field can be emptied. An invalid field looks different; the address field takes any text.
    void typing()
    {
        const std::tuple<const char*, const char*, const char*> cases[] = {
            {"65535", "65535", ""}, {"65536", "6553", "65536"}, {"080", "80", "0"}, {"+8 0-", "80", "80-"}, {"7\b", "", ""}};
        for (const auto& [typed, shown, refused] : cases) {
            CCheckCorretLineEdit field;
            QSignalSpy refusals(&field, &CCheckCorretLineEdit::signalInputRefused);
            QTest::keyClicks(field.lineEdit(), typed);
            QCOMPARE(field.text(), QString(shown));
            QCOMPARE(refusals.isEmpty() ? QString() : refusals.last().at(0).toString(), QString(refused));
        }
        CCheckCorretLineEdit field;
        auto look = [&] { return field.tipButton()->property("invalid").toBool() + field.lineEdit()->property("invalid").toInt(); };
        field.setInvalid(true);
        QCOMPARE(look(), 2);
        field.setInvalid(false);
        QCOMPARE(look(), 0);
        field.setFreeTextMode(); // the address field
        QTest::keyClicks(field.lineEdit(), QStringLiteral("192.168.1.7"));
        QCOMPARE(field.text(), QStringLiteral("192.168.1.7"));
    }

    // The bubble has its own shape: without a compositing manager no corner shows black; its arrow points left,
    // vertically centred; it grows with its text.
    void tipWidgetShape()
    {
        CTipWidget tip;
        const int h = tip.height();
        const QRegion shape = tip.mask();
        QVERIFY(shape.contains(QPoint(2, h / 2)) && shape.contains(QPoint(250, h / 2)));
        QVERIFY(!shape.contains(QPoint(0, 0)) && !shape.contains(QPoint(2, 3)) && !shape.contains(QPoint(259, h - 1)));
        tip.setText(QString(300, QLatin1Char('x')).replace(QLatin1Char('x'), QStringLiteral("word ")));
        QVERIFY(tip.height() > h);
    }

    // Confirm answers 1, cancel 0; a confirm-only dialog hides both ways to cancel.
    void execResult()
    {
        const std::tuple<bool, const char*, int> cases[] = {{false, "m_ConfirmBtn", 1}, {false, "m_CloseBtn", 0}, {true, "m_ConfirmBtn", 1}};
        for (const auto& answer : cases) {
            CWaringDlg dialog;
            dialog.setConfirmOnly(std::get<0>(answer));
            int cancels = -1;
            QTimer::singleShot(0, [&] {
                cancels = dialog.findChild<QPushButton*>("m_CloseBtn")->isVisible() + dialog.findChild<QPushButton*>("m_TitleCloseBtn")->isVisible();
                QTest::mouseClick(dialog.findChild<QPushButton*>(std::get<1>(answer)), Qt::LeftButton);
            });
            QTimer::singleShot(5000, &dialog, &QDialog::reject);
            QCOMPARE(dialog.exec(), std::get<2>(answer));
            QCOMPARE(cancels, std::get<0>(answer) ? 0 : 2);
        }
    }

    // Dragged by its title area with the left button; the right one does not drag.
    void dragging()
    {
        CWaringDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        const QPoint from = dialog.findChild<QWidget*>(QStringLiteral("titleWidget"))->mapTo(&dialog, QPoint(5, 5));
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseMove, QEvent::MouseButtonRelease}) {
                const QPoint at = type == QEvent::MouseButtonPress ? from : from + QPoint(40, 25);
                QMouseEvent event(type, at, dialog.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button,
                                  type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
                QApplication::sendEvent(&dialog, &event);
            }
            QCOMPARE(dialog.pos(), start + QPoint(40, 25));
        }
    }

    void settings_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("read"); // translator, version type, skin, product type: product name
        QTest::newRow("all set") << setup(1, 1, "BlueSkin", 4) << "1 1 BlueSkin 4: Orbelle VS";
        QTest::newRow("second brand AC") << setup(0, 1, "GreyRedSkin", 1) << "0 1 GreyRedSkin 1: Orbelle AC";
        QTest::newRow("Brevant 10, second brand") << setup(0, 1, "x", 10) << "0 1 x 10: Orbelle Brevant";
        QTest::newRow("product 7: bare brand") << setup(0, 0, "x", 7) << "0 0 x 7: Palvex";
        QTest::newRow("version 2: first brand") << setup(0, 2, "x", 0) << "0 2 x 0: Palvex";
        QTest::newRow("everything absent") << "<Configs/>"
                                           << "65535 65535  -1: Palvex";
        QTest::newRow("no file") << ""
                                 << "0 0 GreyRedSkin 0: Palvex";
    }
    void settings()
    {
        QFETCH(QString, body);
        QTemporaryDir dir;
        QVERIFY(body.isEmpty() || tst::writeBytes(dir.path() + "/Setup.xml", "<?xml version=\"1.0\"?>\n" + body.toUtf8()));
        CServerConfigManager s(dir.path().toStdString() + "/");
        QTEST(QString("%1 %2 %3 %4: %5")
                  .arg(int(s.translator))
                  .arg(int(s.versionType))
                  .arg(s.skin.c_str())
                  .arg(s.productType)
                  .arg(s.productName().c_str()),
              "read");
    }

    // Scaling only when every display is at least 1440 x 900.
    void highDpiDecision()
    {
        const std::pair<std::vector<platform::DisplaySize>, bool> rows[] = {
            {{{1920, 1080}, {1280, 1024}}, false}, {{{1600, 899}}, false}, {{{1440, 900}}, true}};
        for (const auto& [sizes, scaling] : rows)
            QVERIFY2(wantsHighDpiScaling(sizes) == scaling, std::to_string(sizes.back().height).c_str());
    }

    // What the command line asks for; anything but the three options is an error naming what was not understood.
    void commandLine()
    {
        using Action = CCommandLine::Action;
        const std::tuple<QStringList, Action, QString> rows[] = {
            {{}, Action::Run, ""},
            {{"--help"}, Action::Help, "--quit"},
            {{"-v"}, Action::Version, "host 1."},
            {{"--quit"}, Action::Quit, ""},
            {{"start"}, Action::Error, "Unexpected argument 'start'."},
            {{"--bogus"}, Action::Error, "bogus"},
        };
        for (const auto& [arguments, action, text] : rows) {
            const CCommandLine line(QStringList{"/opt/host"} + arguments);
            QVERIFY2(line.action() == action && line.text().contains(text), qPrintable(line.text()));
        }
    }

    void table()
    {
        // index, folder, language, country
        const QList<std::tuple<int, QString, int, int>> rows = {{0, "English", QLocale::English, QLocale::UnitedStates},
                                                                {11, "zh_TW", QLocale::Chinese, QLocale::Taiwan},
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

    // Every .qm file of the language's folder is loaded; a switch removes the
    // old language's translators (without deleting them) and loads the new one.
    void switchRemovesOldTranslators()
    {
        QVector<QTranslator*> current = loadTranslators(0, root);
        QCOMPARE(translated("OnlyEnglish"), QStringLiteral("English only"));
        QCOMPARE(translated("Second"), QStringLiteral("Second file"));

        const QVector<QTranslator*> old = current;
        current = switchTranslators(1, root, current);
        QCOMPARE(translated("Information"), QStringLiteral("信息"));
        QCOMPARE(translated("OnlyEnglish"), QStringLiteral("OnlyEnglish"));
        QCOMPARE(translated("Second"), QStringLiteral("Second"));
        QCOMPARE(old.at(0)->translate("serverframework::CKestApplication", "OnlyEnglish"), QStringLiteral("English only"));

        current = switchTranslators(11, root, current);
        QCOMPARE(translated("Information"), QStringLiteral("資訊"));
        current = switchTranslators(40, root, current); // above the table: the top folder
        QCOMPARE(translated("Information"), QStringLiteral("top level"));
        current = switchTranslators(2, root, current); // a folder without .qm files
        QVERIFY(current.isEmpty());
        QCOMPARE(translated("Information"), QStringLiteral("Information"));
        qDeleteAll(old);
    }

    // Each step starts from the skin the previous one left.
    void switchResolvesToTheNewSkin()
    {
        QCOMPARE(QString::fromStdString(skinFolder("BlackRedSkin")), QStringLiteral("BlackRed"));
        QVERIFY(loadSkin("GreyRedSkin", rccDir));
        QVERIFY(loadSkin("GreyRedSkin", rccDir)); // twice: still registered once
        QCOMPARE(tst::readBytes(kQss), QByteArray("grey"));
        QVERIFY(QFile::exists(kGreyOnly));
        QVERIFY(loadSkin("BlueSkin", rccDir));
        QCOMPARE(tst::readBytes(kQss), QByteArray("blue"));
        QVERIFY(!QFile::exists(kGreyOnly) && !QFile::exists(":/FrameworkGui/TrayIcon/Image/a.svg"));
        QVERIFY(!loadSkin("GreyRed", rccDir)); // a folder name is no skin name
        QCOMPARE(tst::readBytes(kQss), QByteArray("blue"));
        QVERIFY(loadSkin("NeutralSkin", rccDir)); // no folder: nothing registered
        QVERIFY(!QFile::exists(kQss));
    }

    // The suite's callback loads the skin of the program folder and tells every observer.
    void suiteCallbackLoadsAndNotifies()
    {
        RecordingObserver observer;
        CQssReloadNotifyMgr::Instance().AddObserver(&observer);
        registerRccCallback("BlueSkin", nullptr);
        drainLoop();
        CQssReloadNotifyMgr::Instance().RemoveObserver(&observer);
        QCOMPARE(observer.calls, std::vector<std::string>{"BlueSkin"});
        QCOMPARE(UiDataController::CRCCLoadManager::Instance().getCurrentSkin(), std::string("Blue"));
    }

    // Observers are called on the loop thread, once each; one removed before or during a pass (or with its manager
    // gone) is not called, and removing from another thread waits for a call under way.
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
        QCOMPARE(first.calls, (std::vector<std::string>{"BlueSkin", "GreyRedSkin"}));
        QVERIFY(second.calls.empty() && orphan.calls.empty());
        QCOMPARE(third.calls.size(), size_t(1));

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
    static QString setup(int translator, int versionType, const QString& skin, int productType)
    {
        return QStringLiteral("<Configs><Translator><Value>%1</Value></Translator><VersionType><Value>%2</Value></VersionType>"
                              "<Skin><Value>%3</Value></Skin><ProductType><Value>%4</Value></ProductType></Configs>")
            .arg(translator)
            .arg(versionType)
            .arg(skin)
            .arg(productType);
    }

    ScratchHome home;
    QTemporaryDir dir;
    std::string rccDir;
    QString root;
};

QTEST_MAIN(TestUi)
#include "TestUi.moc"
