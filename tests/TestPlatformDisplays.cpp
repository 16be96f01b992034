// Display sizes read from fake sysfs trees.
#include "Platform.h"

#include <QtTest>

class TestPlatformDisplays : public QObject {
    Q_OBJECT
private slots:
    void sizes_data();
    void sizes();
};

void TestPlatformDisplays::sizes_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("expected"); // "WxH" per display, in order

    // A laptop panel plus a disconnected HDMI port; the card node is no display.
    QTest::newRow("one small panel") << "sysfs-small" << "1366x768";
    // Two monitors across two cards, one connector without modes, a plain file beside them.
    QTest::newRow("two large and one without modes") << "sysfs-large" << "1920x1080 2560x1440 0x0";
    QTest::newRow("nothing connected") << "sysfs-none" << "";
    QTest::newRow("no drm folder") << "does-not-exist" << "";
}

void TestPlatformDisplays::sizes()
{
    QFETCH(QString, root);
    QFETCH(QString, expected);

    const std::string sysfsRoot = (QStringLiteral(TAVRIN_TEST_DATA_DIR "/") + root).toStdString();
    QStringList found;
    for (const platform::DisplaySize& size : platform::displaySizes(sysfsRoot))
        found << QStringLiteral("%1x%2").arg(size.width).arg(size.height);
    QCOMPARE(found.join(' '), expected);
}

QTEST_GUILESS_MAIN(TestPlatformDisplays)
#include "TestPlatformDisplays.moc"
