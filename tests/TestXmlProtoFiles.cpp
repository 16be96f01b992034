// Whole-file reading and writing: the padding arithmetic, the ".data"
// fallback and the trailing line feeds.
#include "FileOperation.h"
#include "TestScratch.h"
#include "TestSupport.h"

#include <QFile>
#include <QtTest>

#include <memory>

class TestXmlProtoFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void padding_data();
    void padding();
    void writeThenRead_data();
    void writeThenRead();
    void writeNothingFails();
    void readFallback_data();
    void readFallback();
    void readFailureLeavesContent();

private:
    std::unique_ptr<ScratchHome> m_env;
};

void TestXmlProtoFiles::init()
{
    m_env = std::make_unique<ScratchHome>(ScratchHome::WithDrive);
}

void TestXmlProtoFiles::padding_data()
{
    QTest::addColumn<int>("contentLength");
    QTest::addColumn<int>("trailingLineFeeds");
    QTest::addColumn<qulonglong>("currentSize");
    QTest::addColumn<int>("expectedLength");
    QTest::newRow("1000 byte file, 300 bytes") << 300 << 0 << 1000ull << 1024;
    QTest::newRow("new file, 1 byte") << 1 << 0 << 0ull << 512;
    QTest::newRow("exactly one sector") << 512 << 0 << 0ull << 512;
    QTest::newRow("one byte over a sector") << 513 << 0 << 0ull << 1024;
    QTest::newRow("line feeds cut before sizing") << 512 << 3 << 0ull << 512;
    QTest::newRow("old file larger") << 10 << 0 << 1537ull << 2048;
    QTest::newRow("nothing to write") << 0 << 0 << 0ull << 0;
}

void TestXmlProtoFiles::padding()
{
    QFETCH(int, contentLength);
    QFETCH(int, trailingLineFeeds);
    QFETCH(qulonglong, currentSize);
    QFETCH(int, expectedLength);
    const std::string content = std::string(contentLength, 'a') + std::string(trailingLineFeeds, '\n');
    const std::string padded = comm_method::paddedFileContent(content, currentSize);
    QCOMPARE(int(padded.size()), expectedLength);
    if (expectedLength > 0) {
        QCOMPARE(padded.substr(0, contentLength), std::string(contentLength, 'a'));
        QVERIFY(padded.find_first_not_of('\n', contentLength) == std::string::npos);
    }
}

void TestXmlProtoFiles::writeThenRead_data()
{
    QTest::addColumn<int>("oldSize");
    QTest::addColumn<int>("newLength");
    QTest::addColumn<int>("expectedSize");
    QTest::newRow("shrink 1000 to 300") << 1000 << 300 << 1024;
    QTest::newRow("fresh file") << -1 << 20 << 512;
    QTest::newRow("grow 100 to 700") << 100 << 700 << 1024;
}

void TestXmlProtoFiles::writeThenRead()
{
    QFETCH(int, oldSize);
    QFETCH(int, newLength);
    QFETCH(int, expectedSize);
    const QString path = m_env->path() + "/Setup.xml";
    if (oldSize >= 0)
        QVERIFY(tst::writeBytes(path, QByteArray(oldSize, 'o')));
    std::string content;
    for (int i = 0; i < newLength; ++i)
        content += char('a' + i % 26);
    QVERIFY(writeFile(path.toStdString(), content + "\n\n"));

    const QByteArray onDisk = tst::readBytes(path);
    QCOMPARE(onDisk.size(), expectedSize);
    QCOMPARE(onDisk.left(newLength), QByteArray::fromStdString(content));
    QCOMPARE(onDisk.mid(newLength), QByteArray(expectedSize - newLength, '\n'));

    std::string back;
    QVERIFY(readFile(back, path.toStdString()));
    QCOMPARE(back, content);
}

void TestXmlProtoFiles::writeNothingFails()
{
    const QString path = m_env->path() + "/empty.xml";
    QVERIFY(!writeFile(path.toStdString(), ""));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!writeFile(m_env->path().toStdString(), "x")); // a folder
    QVERIFY(!writeFile((m_env->path() + "/missing/dir/f.xml").toStdString(), "x"));
    // A content of line feeds only is kept whole.
    QVERIFY(writeFile(path.toStdString(), "\n\n"));
    QCOMPARE(tst::readBytes(path), QByteArray(512, '\n'));
}

void TestXmlProtoFiles::readFallback_data()
{
    QTest::addColumn<bool>("primary");     // Setup.xml exists
    QTest::addColumn<bool>("primaryEmpty"); // ... with 0 bytes
    QTest::addColumn<bool>("data");        // Setup.data exists
    QTest::addColumn<QString>("expected"); // "" = failure
    QTest::newRow("primary") << true << false << true << "primary";
    QTest::newRow("missing primary, data") << false << false << true << "data";
    QTest::newRow("empty primary, data") << true << true << true << "data";
    QTest::newRow("empty primary, no data") << true << true << false << "";
    QTest::newRow("nothing") << false << false << false << "";
}

void TestXmlProtoFiles::readFallback()
{
    QFETCH(bool, primary);
    QFETCH(bool, primaryEmpty);
    QFETCH(bool, data);
    QFETCH(QString, expected);
    const QString dir = m_env->path();
    if (primary)
        QVERIFY(tst::writeBytes(dir + "/Setup.xml", primaryEmpty ? QByteArray() : QByteArray("primary\n\n")));
    if (data)
        QVERIFY(tst::writeBytes(dir + "/Setup.data", "data"));
    std::string content = "untouched";
    const bool ok = readFile(content, (dir + "/Setup.xml").toStdString());
    QCOMPARE(ok, !expected.isEmpty());
    QCOMPARE(QString::fromStdString(content), expected.isEmpty() ? QString("untouched") : expected);
}

void TestXmlProtoFiles::readFailureLeavesContent()
{
    const QString dir = m_env->path();
    QVERIFY(tst::writeBytes(dir + "/other.txt", "other"));
    std::string content = "keep";
    QVERIFY(readFile(content, (dir + "/missing.xml").toStdString(), (dir + "/other.txt").toStdString()));
    QCOMPARE(content, std::string("other"));
    content = "keep";
    QVERIFY(!readFile(content, "no-separator.xml"));
    QCOMPARE(content, std::string("keep"));
}

QTEST_GUILESS_MAIN(TestXmlProtoFiles)
#include "TestXmlProtoFiles.moc"
