// Ordering of configuration version texts.
#include "DatabaseUpdate/DBVersion.h"
#include "DatabaseUpdate/DataEncryptionMgr.h"

#include "Base/Singleton.h"

#include <QtTest>

using DatabaseUpdate::CDBVersion;

class TestDBVersion : public QObject
{
    Q_OBJECT

private slots:
    void greater_data();
    void greater();
    void defaultAESParams();
};

void TestDBVersion::greater_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::addColumn<bool>("greater");
    QTest::addColumn<bool>("less");
    QTest::newRow("1.10 > 1.9") << "1.10" << "1.9" << true << false;
    QTest::newRow("1.1 > 1.0.9") << "1.1" << "1.0.9" << true << false;
    QTest::newRow("missing component is 0") << "1.0" << "1" << false << false;
    QTest::newRow("1.0.1 > 1") << "1.0.1" << "1" << true << false;
    QTest::newRow("equal") << "2.3.4" << "2.3.4" << false << false;
    QTest::newRow("empty is below every version") << "0" << "" << true << false;
    QTest::newRow("empty vs empty") << "" << "" << false << false;
    QTest::newRow("smaller") << "1.9" << "1.10" << false << true;
    QTest::newRow("huge component") << "1.99999999999999999999999" << "1.5" << true << false;
}

void TestDBVersion::greater()
{
    QFETCH(QString, left);
    QFETCH(QString, right);
    QFETCH(bool, greater);
    QFETCH(bool, less);
    const CDBVersion a(left.toStdString());
    const CDBVersion b(right.toStdString());
    QCOMPARE(a > b, greater);
    QCOMPARE(a < b, less);
    QCOMPARE(a == b, !greater && !less);
}

void TestDBVersion::defaultAESParams()
{
    const auto& params = Base::CSingleton<DatabaseUpdate::CDataEncryptionMgr>::Instance().GetDefaultAESParams();
    QVERIFY(!params.key.empty());
    QVERIFY(&params == &Base::CSingleton<DatabaseUpdate::CDataEncryptionMgr>::Instance().GetDefaultAESParams());
}

QTEST_GUILESS_MAIN(TestDBVersion)
#include "TestDBVersion.moc"
