// The application object in-process: refused as a second instance (the
// primary is a copy of this test started with "--primary"), the tool-tip
// hook, and the high-DPI decision.
#include "KestApplication.h"
#include "DpiPolicy.h"
#include "TestModal.h"
#include "TestScratch.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

using serverframework::CKestApplication;

static int runPrimary(int argc, char** argv)
{
    SingleApplication app(argc, argv, false, SingleApplication::PerUser, 1000);
    std::printf("primary=%d\n", app.isPrimary() ? 1 : 0);
    std::fflush(stdout);
    QObject::connect(&app, &SingleApplication::instanceStarted, [&app] {
        std::printf("instanceStarted\n");
        std::fflush(stdout);
        QTimer::singleShot(200, &app, &QCoreApplication::quit);
    });
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    return app.isPrimary() ? app.exec() : 1;
}

class TestKestApplication : public QObject
{
    Q_OBJECT
public:
    TestKestApplication(CKestApplication& app, FILE* primary) : app(app), primary(primary) {}

private slots:
    void secondInstanceIsRefused()
    {
        QVERIFY(primary);
        QVERIFY(!app.isPrimary());
        tst::ModalAnswerer answerer(true);
        QVERIFY(!app.init());
        QVERIFY2(answerer.labels.contains("TheServiceIsAlreadyStarted"), qPrintable(answerer.seen.join('|')));
        QVERIFY2(answerer.labels.contains("Tavrin.Framework.S"), qPrintable(answerer.seen.join('|')));
        app.abortStart();
        QVERIFY(!app.isServicesUp());

        // The primary was told about us.
        char line[64] = {};
        bool announced = false;
        while (std::fgets(line, sizeof(line), primary)) {
            if (QByteArray(line).trimmed() == "instanceStarted")
                announced = true;
        }
        QVERIFY(announced);
    }

    void toolTipsShowOwnText()
    {
        QPushButton button("Restart the services");
        QLineEdit edit("8080");
        QHelpEvent onButton(QEvent::ToolTip, QPoint(1, 1), QPoint(10, 10));
        QVERIFY(app.notify(&button, &onButton));
        QTRY_COMPARE(QToolTip::text(), QString("Restart the services"));
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        app.notify(&edit, &onButton);
        QVERIFY(QToolTip::text() != QString("8080"));
    }

    void highDpiDecision_data()
    {
        QTest::addColumn<QVector<QSize>>("displays");
        QTest::addColumn<bool>("scaling");
        QTest::newRow("one small") << QVector<QSize>{{1366, 768}} << false;
        QTest::newRow("small second") << QVector<QSize>{{1920, 1080}, {1280, 1024}} << false;
        QTest::newRow("low only") << QVector<QSize>{{1600, 899}} << false;
        QTest::newRow("exact limit") << QVector<QSize>{{1440, 900}} << true;
        QTest::newRow("negative ignored") << QVector<QSize>{{-1, 768}} << true;
    }

    void highDpiDecision()
    {
        QFETCH(QVector<QSize>, displays);
        QFETCH(bool, scaling);
        std::vector<platform::DisplaySize> sizes;
        for (const QSize& s : displays)
            sizes.push_back(platform::DisplaySize{s.width(), s.height()});
        QCOMPARE(serverframework::wantsHighDpiScaling(sizes), scaling);
    }

private:
    CKestApplication& app;
    FILE* primary;
};

int main(int argc, char** argv)
{
    if (argc >= 2 && qstrcmp(argv[1], "--primary") == 0)
        return runPrimary(argc, argv);

    ScratchHome home;

    // The primary: a copy of this program, which reports its verdict and
    // then every notice it gets.
    const QByteArray command = "'" + QByteArray(argv[0]).replace("'", "'\\''") + "' --primary";
    FILE* primary = popen(command.constData(), "r");
    char line[64] = {};
    if (!primary || !std::fgets(line, sizeof(line), primary) || QByteArray(line).trimmed() != "primary=1") {
        std::fprintf(stderr, "the primary copy did not start\n");
        return 1;
    }

    int result = 0;
    {
        CKestApplication app(argc, argv);
        TestKestApplication test(app, primary);
        result = QTest::qExec(&test, argc, argv);
    }
    pclose(primary);
    return result;
}

#include "TestKestApplication.moc"
