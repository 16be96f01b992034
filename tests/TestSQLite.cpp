// The SQLite access library on a database in a temporary folder.

#include "SQLite/SQLite3Conn.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSQLite : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void openHonoursCreateFlag();
    void errorsAreResults();
    void recordsetOutOfRange();
};

void TestSQLite::roundTrip()
{
    QTemporaryDir dir;
    // A UTF-8 path with non-ASCII characters.
    const std::string path = (dir.path() + QString::fromUtf8("/数据/System")).toStdString();
    QVERIFY(QDir().mkpath(dir.path() + QString::fromUtf8("/数据")));

    CSQLite3Conn conn;
    QVERIFY(conn.Open(path, true, ""));
    QVERIFY(conn.Execute("CREATE TABLE AutoRunConfig (EnableAutoRun INTEGER)"));
    CSQLite3Recordset rs;
    QVERIFY(conn.Execute("SELECT  * FROM AutoRunConfig", rs));
    QVERIFY(!rs.HasRow());

    QVERIFY(conn.Execute("DELETE FROM AutoRunConfig"));
    QVERIFY(conn.Execute("INSERT INTO AutoRunConfig (EnableAutoRun ) VALUES (1) "));
    conn.Close();
    QVERIFY(!conn.IsOpen());

    CSQLite3Conn again;
    QVERIFY(again.Open(path, false, "ignored key"));
    QVERIFY(again.Execute("SELECT  * FROM AutoRunConfig", rs));
    QVERIFY(rs.HasRow());
    QCOMPARE(rs.GetInt(0), 1);
    QCOMPARE(rs.RowCount(), 1);

    QVERIFY(again.Execute("INSERT INTO AutoRunConfig VALUES (0); INSERT INTO AutoRunConfig VALUES (NULL)"));
    QVERIFY(again.Execute("SELECT EnableAutoRun, 'x' FROM AutoRunConfig ORDER BY rowid", rs));
    QCOMPARE(rs.RowCount(), 3);
    QCOMPARE(rs.ColumnCount(), 2);
    QCOMPARE(rs.GetInt(0), 1);
    QCOMPARE(rs.GetString(1), std::string("x"));
    QVERIFY(rs.MoveNext());
    QCOMPARE(rs.GetInt(0), 0);
    QVERIFY(rs.MoveNext());
    QCOMPARE(rs.GetString(0), std::string()); // NULL
    QVERIFY(!rs.MoveNext());
    QVERIFY(!rs.HasRow());
}

void TestSQLite::openHonoursCreateFlag()
{
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/missing.db").toStdString();
    CSQLite3Conn conn;
    QVERIFY(!conn.Open(path, false, ""));
    QVERIFY(!conn.GetLastError().empty());
    QVERIFY(!QFile::exists(QString::fromStdString(path)));
    QVERIFY(!conn.Open("", true, ""));
    QVERIFY(!conn.Open((dir.path() + "/no/such/folder/db").toStdString(), true, ""));
    QVERIFY(conn.Open(path, true, ""));
    QVERIFY(QFile::exists(QString::fromStdString(path)));
}

void TestSQLite::errorsAreResults()
{
    QTemporaryDir dir;
    CSQLite3Conn conn;
    CSQLite3Recordset rs;
    QVERIFY(!conn.Execute("SELECT 1")); // not open
    QVERIFY(!conn.Execute("SELECT 1", rs));
    QVERIFY(!rs.HasRow());

    QVERIFY(conn.Open((dir.path() + "/db").toStdString(), true, ""));
    QVERIFY(!conn.Execute("SELECT * FROM AutoRunConfig", rs)); // no such table
    QVERIFY(conn.GetLastError().find("AutoRunConfig") != std::string::npos);
    QVERIFY(!rs.HasRow());
    QVERIFY(!conn.Execute("THIS IS NOT SQL"));
    QVERIFY(conn.Execute("SELECT 7", rs));
    QCOMPARE(rs.GetInt(0), 7);
    QVERIFY(conn.GetLastError().empty());
}

void TestSQLite::recordsetOutOfRange()
{
    CSQLite3Recordset rs;
    QCOMPARE(rs.GetInt(0), 0);
    QCOMPARE(rs.GetString(-1), std::string());
    rs.AddRow({"5"});
    QCOMPARE(rs.GetInt(0), 5);
    QCOMPARE(rs.GetInt(1), 0);
    QCOMPARE(rs.GetInt(-1), 0);
}

QTEST_GUILESS_MAIN(TestSQLite)
#include "TestSQLite.moc"
