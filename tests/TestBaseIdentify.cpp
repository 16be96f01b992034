// The identity store: empty store, round trip, owner-only file, damage.
#include "Base/IdentifyUtil.h"

#include "TestSupport.h"

#include <QtTest>

#include <cstddef>
#include <sys/stat.h>

class TestBaseIdentify : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void recordLayout();
    void emptyStoreThenRoundTrip();
    void storeIsOwnerOnly();
    void rewriteReplacesRecord();
    void damagedStoreIsAnError_data();
    void damagedStoreIsAnError();
    void defaultStoreIsUnderXdgDataHome();
    void unusableFolderFails();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    std::string storeDir() const { return (m_dir->path() + "/store").toStdString(); }
};

void TestBaseIdentify::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    qputenv("HOME", m_dir->path().toUtf8());
    qputenv("XDG_DATA_HOME", (m_dir->path() + "/xdg-data").toUtf8());
}

void TestBaseIdentify::cleanup()
{
    Base::IdentifyUtil::ReleaseIdentifyLib();
}

void TestBaseIdentify::recordLayout()
{
    QCOMPARE(sizeof(tagRegCfgInfo), size_t(112));
    QCOMPARE(offsetof(tagRegCfgInfo, encryptMode), size_t(20));
    QCOMPARE(offsetof(tagRegCfgInfo, digest), size_t(40));
    QCOMPARE(offsetof(tagRegCfgInfo, saltKey), size_t(60));
    QCOMPARE(offsetof(tagRegCfgInfo, secretKey), size_t(77));
    QCOMPARE(offsetof(tagRegCfgInfo, keyLength), size_t(96));
    QCOMPARE(offsetof(tagRegCfgInfo, padding), size_t(108));
    const tagRegCfgInfo r;
    QCOMPARE(r.encryptName, "AES");
    QCOMPARE(r.encryptMode, "ECB");
    QCOMPARE(r.digest, "sha256");
    QCOMPARE(r.saltKey, "");
    QCOMPARE(r.secretKey, "");
    QCOMPARE(r.keyLength, 128);
    QCOMPARE(r.authenType, 0);
    QCOMPARE(r.securityLevel, 0);
    QCOMPARE(r.padding, 0);
}

void TestBaseIdentify::emptyStoreThenRoundTrip()
{
    QCOMPARE(Base::IdentifyUtil::InitIdentifyLib(storeDir()), Base::IdentifyUtil::kNoRecord);
    QCOMPARE(Base::IdentifyUtil::InitIdentifyLib(storeDir()), std::uint32_t(0x8000000E));
    tagRegCfgInfo read;
    QCOMPARE(Base::IdentifyUtil::ReadIdentifyInfo(read), Base::IdentifyUtil::kNoRecord);

    tagRegCfgInfo record;
    qstrcpy(record.saltKey, "AbCdEfGhIjKlMnOp");
    qstrcpy(record.secretKey, "0123456789+/abcd");
    record.keyLength = 256;
    record.authenType = 3;
    record.securityLevel = -2;
    record.padding = 7;
    QCOMPARE(Base::IdentifyUtil::WriteIdenteifyInfo(record), Base::IdentifyUtil::kOk);

    QCOMPARE(Base::IdentifyUtil::ReleaseIdentifyLib(), Base::IdentifyUtil::kOk);
    QCOMPARE(Base::IdentifyUtil::InitIdentifyLib(storeDir()), Base::IdentifyUtil::kOk);
    tagRegCfgInfo back;
    std::memset(static_cast<void*>(&back), 0, sizeof back);
    QCOMPARE(Base::IdentifyUtil::ReadIdentifyInfo(back), Base::IdentifyUtil::kOk);
    QCOMPARE(std::memcmp(&back, &record, sizeof record), 0);
    QCOMPARE(back.secretKey, "0123456789+/abcd");
}

void TestBaseIdentify::storeIsOwnerOnly()
{
    Base::IdentifyUtil::InitIdentifyLib(storeDir());
    QCOMPARE(Base::IdentifyUtil::WriteIdenteifyInfo(tagRegCfgInfo()), Base::IdentifyUtil::kOk);
    const std::string path = Base::IdentifyUtil::StoreFilePath();
    QCOMPARE(QString::fromStdString(path).left(int(storeDir().size())), QString::fromStdString(storeDir()));
    struct stat st{};
    QCOMPARE(::stat(path.c_str(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0600);
    // Only the store file is left in the folder (no temporary files).
    QCOMPARE(QDir(QString::fromStdString(storeDir())).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestBaseIdentify::rewriteReplacesRecord()
{
    Base::IdentifyUtil::InitIdentifyLib(storeDir());
    tagRegCfgInfo first;
    qstrcpy(first.saltKey, "first");
    QCOMPARE(Base::IdentifyUtil::WriteIdenteifyInfo(first), Base::IdentifyUtil::kOk);
    ::chmod(Base::IdentifyUtil::StoreFilePath().c_str(), 0644);
    tagRegCfgInfo second;
    qstrcpy(second.saltKey, "second");
    QCOMPARE(Base::IdentifyUtil::WriteIdenteifyInfo(second), Base::IdentifyUtil::kOk);
    tagRegCfgInfo back;
    QCOMPARE(Base::IdentifyUtil::ReadIdentifyInfo(back), Base::IdentifyUtil::kOk);
    QCOMPARE(back.saltKey, "second");
    struct stat st{};
    QCOMPARE(::stat(Base::IdentifyUtil::StoreFilePath().c_str(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0600);
}

void TestBaseIdentify::damagedStoreIsAnError_data()
{
    QTest::addColumn<int>("damage");
    QTest::newRow("truncated") << 0;
    QTest::newRow("record byte flipped") << 1;
    QTest::newRow("extra byte") << 2;
    QTest::newRow("empty file") << 3;
}

void TestBaseIdentify::damagedStoreIsAnError()
{
    QFETCH(int, damage);
    Base::IdentifyUtil::InitIdentifyLib(storeDir());
    QCOMPARE(Base::IdentifyUtil::WriteIdenteifyInfo(tagRegCfgInfo()), Base::IdentifyUtil::kOk);
    const QString store = QString::fromStdString(Base::IdentifyUtil::StoreFilePath());
    QByteArray bytes = tst::readBytes(store);
    QVERIFY(!bytes.isEmpty());
    switch (damage) {
    case 0: bytes.chop(10); break;
    case 1: bytes[20] = char(bytes[20] ^ 0x01); break;
    case 2: bytes.append('x'); break;
    case 3: bytes.clear(); break;
    }
    QVERIFY(tst::writeBytes(store, bytes));

    tagRegCfgInfo back;
    qstrcpy(back.saltKey, "untouched");
    QCOMPARE(Base::IdentifyUtil::ReadIdentifyInfo(back), Base::IdentifyUtil::kStoreError);
    QCOMPARE(back.saltKey, "untouched");
    QVERIFY(Base::IdentifyUtil::InitIdentifyLib(storeDir()) != Base::IdentifyUtil::kOk);
}

void TestBaseIdentify::defaultStoreIsUnderXdgDataHome()
{
    QCOMPARE(Base::IdentifyUtil::InitIdentifyLib(), Base::IdentifyUtil::kNoRecord);
    const QString path = QString::fromStdString(Base::IdentifyUtil::StoreFilePath());
    QVERIFY2(path.startsWith(m_dir->path() + "/xdg-data/"), qPrintable(path));
    QCOMPARE(Base::IdentifyUtil::WriteIdenteifyInfo(tagRegCfgInfo()), Base::IdentifyUtil::kOk);
    QVERIFY(QFile::exists(path));

    // Without XDG_DATA_HOME the folder is ~/.local/share.
    Base::IdentifyUtil::ReleaseIdentifyLib();
    qunsetenv("XDG_DATA_HOME");
    QCOMPARE(Base::IdentifyUtil::InitIdentifyLib(), Base::IdentifyUtil::kNoRecord);
    QVERIFY(QString::fromStdString(Base::IdentifyUtil::StoreFilePath()).startsWith(m_dir->path() + "/.local/share/"));
}

void TestBaseIdentify::unusableFolderFails()
{
    QFile blocker(m_dir->path() + "/file");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const std::string dir = (m_dir->path() + "/file/store").toStdString();
    QCOMPARE(Base::IdentifyUtil::InitIdentifyLib(dir), Base::IdentifyUtil::kStoreError);
}

QTEST_GUILESS_MAIN(TestBaseIdentify)
#include "TestBaseIdentify.moc"
