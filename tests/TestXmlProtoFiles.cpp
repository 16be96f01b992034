// Whole-file reading and writing: sector padding, the ".data" fallback and the
// trailing line feeds.
#include "FileOperation.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

class TestXmlProtoFiles : public QObject
{
    Q_OBJECT

private slots:
    void writeThenRead_data()
    {
        QTest::addColumn<int>("oldSize"); // -1: no file yet
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("expectedSize");
        QTest::newRow("shrink 1000 to 300: never below the old size") << 1000 << 300 << 1024;
        QTest::newRow("fresh file") << -1 << 20 << 512;
        QTest::newRow("exactly one sector") << -1 << 512 << 512;
        QTest::newRow("one byte over a sector") << -1 << 513 << 1024;
        QTest::newRow("grow 100 to 700") << 100 << 700 << 1024;
        QTest::newRow("old file larger") << 1537 << 10 << 2048;
    }
    void writeThenRead()
    {
        QFETCH(int, oldSize);
        QFETCH(int, length);
        QFETCH(int, expectedSize);
        const QString path = m_dir.path() + "/Setup.xml";
        QFile::remove(path);
        if (oldSize >= 0)
            QVERIFY(tst::writeBytes(path, QByteArray(oldSize, 'o')));
        std::string content;
        for (int i = 0; i < length; ++i)
            content += char('a' + i % 26);
        QVERIFY(writeFile(path.toStdString(), content + "\n\n"));
        QCOMPARE(tst::readBytes(path), QByteArray::fromStdString(content) + QByteArray(expectedSize - length, '\n'));
        std::string back;
        QVERIFY(readFile(back, path.toStdString()));
        QCOMPARE(back, content);
    }

    void writeRefusals()
    {
        const QString path = m_dir.path() + "/empty.xml";
        QVERIFY(!writeFile(path.toStdString(), ""));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!writeFile(m_dir.path().toStdString(), "x")); // a folder
        QVERIFY(!writeFile((m_dir.path() + "/missing/dir/f.xml").toStdString(), "x"));
        QVERIFY(writeFile(path.toStdString(), "\n\n")); // line feeds only: kept whole
        QCOMPARE(tst::readBytes(path), QByteArray(512, '\n'));
    }

    void readFallback_data()
    {
        QTest::addColumn<QString>("primary"); // "-": no Setup.xml
        QTest::addColumn<bool>("data");       // Setup.data holds "data"
        QTest::addColumn<QString>("expected"); // "" = failure, content untouched
        QTest::newRow("primary") << "primary\n\n" << true << "primary";
        QTest::newRow("missing primary, data") << "-" << true << "data";
        QTest::newRow("empty primary, data") << "" << true << "data";
        QTest::newRow("empty primary, no data") << "" << false << "";
        QTest::newRow("nothing") << "-" << false << "";
    }
    void readFallback()
    {
        QFETCH(QString, primary);
        QFETCH(bool, data);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        if (primary != "-")
            QVERIFY(tst::writeBytes(dir.path() + "/Setup.xml", primary.toUtf8()));
        if (data)
            QVERIFY(tst::writeBytes(dir.path() + "/Setup.data", "data"));
        std::string content = "untouched";
        QCOMPARE(readFile(content, (dir.path() + "/Setup.xml").toStdString()), !expected.isEmpty());
        QCOMPARE(QString::fromStdString(content), expected.isEmpty() ? QString("untouched") : expected);
        // A fallback named by the caller replaces the ".data" one.
        QVERIFY(tst::writeBytes(dir.path() + "/other.txt", "other"));
        QVERIFY(readFile(content, (dir.path() + "/none.xml").toStdString(), (dir.path() + "/other.txt").toStdString()));
        QCOMPARE(content, std::string("other"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestXmlProtoFiles)
#include "TestXmlProtoFiles.moc"
