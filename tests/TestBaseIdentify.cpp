// The identity store: empty store, round trip into an owner-only file, the
// default folder, and damage.
#include "Base/IdentifyUtil.h"

#include "TestSupport.h"

#include <QtTest>

#include <sys/stat.h>

using namespace Base::IdentifyUtil;

class TestBaseIdentify : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        qputenv("HOME", m_dir->path().toUtf8());
        qputenv("XDG_DATA_HOME", (m_dir->path() + "/xdg-data").toUtf8());
    }
    void cleanup() { ReleaseIdentifyLib(); }

    void emptyStoreThenRoundTrip()
    {
        QCOMPARE(InitIdentifyLib(storeDir()), kNoRecord);
        QCOMPARE(InitIdentifyLib(storeDir()), std::uint32_t(0x8000000E)); // already initialised
        tagRegCfgInfo record;
        QCOMPARE(ReadIdentifyInfo(record), kNoRecord);
        for (const char* salt : {"first", "AbCdEfGhIjKlMnOp"}) {
            qstrcpy(record.saltKey, salt);
            record.securityLevel = -2;
            ::chmod(StoreFilePath().c_str(), 0644); // a rewrite makes it owner-only again
            QCOMPARE(WriteIdenteifyInfo(record), kOk);
        }
        QCOMPARE(ReleaseIdentifyLib(), kOk);
        QCOMPARE(InitIdentifyLib(storeDir()), kOk);
        tagRegCfgInfo back;
        std::memset(static_cast<void*>(&back), 0, sizeof back);
        QCOMPARE(ReadIdentifyInfo(back), kOk);
        QCOMPARE(std::memcmp(&back, &record, sizeof record), 0);
        struct stat st{};
        QCOMPARE(::stat(StoreFilePath().c_str(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
        QCOMPARE(QDir(QString::fromStdString(storeDir())).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void damagedStoreIsAnError_data()
    {
        QTest::addColumn<int>("damage");
        QTest::newRow("truncated") << 0;
        QTest::newRow("record byte flipped") << 1;
        QTest::newRow("extra byte") << 2;
        QTest::newRow("empty file") << 3;
    }
    void damagedStoreIsAnError()
    {
        QFETCH(int, damage);
        InitIdentifyLib(storeDir());
        QCOMPARE(WriteIdenteifyInfo(tagRegCfgInfo()), kOk);
        const QString store = QString::fromStdString(StoreFilePath());
        QByteArray bytes = tst::readBytes(store);
        if (damage == 0)
            bytes.chop(10);
        else if (damage == 1)
            bytes[20] = char(bytes[20] ^ 0x01);
        else if (damage == 2)
            bytes.append('x');
        else
            bytes.clear();
        QVERIFY(tst::writeBytes(store, bytes));
        tagRegCfgInfo back;
        qstrcpy(back.saltKey, "untouched");
        QCOMPARE(ReadIdentifyInfo(back), kStoreError);
        QCOMPARE(back.saltKey, "untouched");
        QVERIFY(InitIdentifyLib(storeDir()) != kOk);
    }

    void storeFolder()
    {
        QCOMPARE(InitIdentifyLib(), kNoRecord);
        QVERIFY(QString::fromStdString(StoreFilePath()).startsWith(m_dir->path() + "/xdg-data/"));
        ReleaseIdentifyLib();
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(InitIdentifyLib(), kNoRecord);
        QVERIFY(QString::fromStdString(StoreFilePath()).startsWith(m_dir->path() + "/.local/share/"));
        ReleaseIdentifyLib();
        QVERIFY(tst::writeBytes(m_dir->path() + "/file", "x"));
        QCOMPARE(InitIdentifyLib((m_dir->path() + "/file/store").toStdString()), kStoreError);
    }

private:
    std::string storeDir() const { return (m_dir->path() + "/store").toStdString(); }
    QScopedPointer<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestBaseIdentify)
#include "TestBaseIdentify.moc"
