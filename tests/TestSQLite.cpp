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
    void roundTrip()
    {
        QTemporaryDir dir;
        const std::string path = (dir.path() + QString::fromUtf8("/数据/System")).toStdString();
        QVERIFY(QDir().mkpath(dir.path() + QString::fromUtf8("/数据")));
        CSQLite3Conn conn;
        CSQLite3Recordset rs;
        QVERIFY(!conn.Open(path, false, "")); // not created without the flag
        QVERIFY(!QFile::exists(QString::fromStdString(path)));
        QVERIFY(conn.Open(path, true, ""));
        QVERIFY(conn.Execute("CREATE TABLE AutoRunConfig (EnableAutoRun INTEGER)"));
        QVERIFY(conn.Execute("INSERT INTO AutoRunConfig VALUES (1); INSERT INTO AutoRunConfig VALUES (NULL)"));
        conn.Close();

        CSQLite3Conn again;
        QVERIFY(again.Open(path, false, "ignored key"));
        QVERIFY(again.Execute("SELECT EnableAutoRun, 'x' FROM AutoRunConfig ORDER BY rowid", rs));
        QCOMPARE(rs.RowCount(), 2);
        QCOMPARE(rs.GetInt(0), 1);
        QCOMPARE(rs.GetString(1), std::string("x"));
        QVERIFY(rs.MoveNext());
        QCOMPARE(rs.GetString(0), std::string()); // NULL
        QVERIFY(!rs.MoveNext());
        QVERIFY(!rs.HasRow());

        QVERIFY(!again.Execute("SELECT * FROM Missing", rs));
        QVERIFY(again.GetLastError().find("Missing") != std::string::npos);
        QVERIFY(!rs.HasRow());
        QVERIFY(!again.Open((dir.path() + "/no/such/folder/db").toStdString(), true, ""));
    }
};

QTEST_GUILESS_MAIN(TestSQLite)
#include "TestSQLite.moc"
