// Ordering of configuration version texts.
#include "DatabaseUpdate/DBVersion.h"

#include <QtTest>

using DatabaseUpdate::CDBVersion;

class TestDBVersion : public QObject
{
    Q_OBJECT

private slots:
    void order_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("order"); // 1: left > right, 0: equal, -1: left < right
        QTest::newRow("1.10 > 1.9") << "1.10" << "1.9" << 1;
        QTest::newRow("1.1 > 1.0.9") << "1.1" << "1.0.9" << 1;
        QTest::newRow("missing component is 0") << "1.0" << "1" << 0;
        QTest::newRow("1.0.1 > 1") << "1.0.1" << "1" << 1;
        QTest::newRow("1.2 < 1.2.1") << "1.2" << "1.2.1" << -1;
        QTest::newRow("equal") << "2.3.4" << "2.3.4" << 0;
        QTest::newRow("empty is below every version") << "0" << "" << 1;
        QTest::newRow("empty vs empty") << "" << "" << 0;
        QTest::newRow("huge component") << "1.99999999999999999999999" << "1.5" << 1;
    }
    void order()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, order);
        const CDBVersion a(left.toStdString());
        const CDBVersion b(right.toStdString());
        QCOMPARE(a > b, order > 0);
        QCOMPARE(a < b, order < 0);
        QCOMPARE(a == b, order == 0);
    }
};

QTEST_GUILESS_MAIN(TestDBVersion)
#include "TestDBVersion.moc"
