// The application's high-DPI decision from the display sizes. (A second
// instance's refusal is tested on the installed host, in TestHostProcess.)
#include "DpiPolicy.h"

#include <QtTest>

class TestKestApplication : public QObject
{
    Q_OBJECT

private slots:
    void highDpiDecision_data()
    {
        QTest::addColumn<QVector<QSize>>("displays");
        QTest::addColumn<bool>("scaling");
        QTest::newRow("small second") << QVector<QSize>{{1920, 1080}, {1280, 1024}} << false;
        QTest::newRow("low only") << QVector<QSize>{{1600, 899}} << false;
        QTest::newRow("exact limit") << QVector<QSize>{{1440, 900}} << true;
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
};

QTEST_GUILESS_MAIN(TestKestApplication)
#include "TestKestApplication.moc"
