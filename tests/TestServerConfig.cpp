// Server settings read from "Setup.xml" and the product names.
#include <QTemporaryDir>
#include <QtTest>

#include "ServerConfigManager.h"
#include "TestScratch.h"
#include "TestUiTools.h"

using serverframework::CServerConfigManager;

class TestServerConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(home.isValid()); }

    void settings_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("translator");
        QTest::addColumn<int>("versionType");
        QTest::addColumn<QString>("skin");
        QTest::addColumn<int>("productType");
        QTest::addColumn<QString>("productName");

        QTest::newRow("all set") << setup(1, 1, "BlueSkin", 4) << 1 << 1 << "BlueSkin" << 4 << "Orbelle VS";
        QTest::newRow("second brand AC") << setup(0, 1, "GreyRedSkin", 1) << 0 << 1 << "GreyRedSkin" << 1 << "Orbelle AC";
        QTest::newRow("Brevant 10, second brand") << setup(0, 1, "x", 10) << 0 << 1 << "x" << 10 << "Orbelle Brevant";
        QTest::newRow("product 7: bare brand") << setup(0, 0, "x", 7) << 0 << 0 << "x" << 7 << "Palvex";
        QTest::newRow("version 2: first brand") << setup(0, 2, "x", 0) << 0 << 2 << "x" << 0 << "Palvex";
        QTest::newRow("everything absent") << "<Configs/>" << 65535 << 65535 << "" << -1 << "Palvex";
        QTest::newRow("no file") << "" << 0 << 0 << "GreyRedSkin" << 0 << "Palvex";
    }

    void settings()
    {
        QFETCH(QString, body);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(body.isEmpty() || tst::writeBytes(dir.path() + "/Setup.xml", "<?xml version=\"1.0\"?>\n" + body.toUtf8()));
        CServerConfigManager settings(dir.path().toStdString() + "/");
        QTEST(int(settings.translator), "translator");
        QTEST(int(settings.versionType), "versionType");
        QTEST(QString::fromStdString(settings.skin), "skin");
        QTEST(settings.productType, "productType");
        QTEST(QString::fromStdString(settings.productName()), "productName");
    }

private:
    static QString setup(int translator, int versionType, const QString& skin, int productType)
    {
        return QStringLiteral("<Configs><Translator><Value>%1</Value></Translator>"
                              "<VersionType><Value>%2</Value></VersionType>"
                              "<Skin><Value>%3</Value></Skin>"
                              "<ProductType><Value>%4</Value></ProductType></Configs>")
            .arg(translator).arg(versionType).arg(skin).arg(productType);
    }

    ScratchHome home;
};

QTEST_MAIN(TestServerConfig)
#include "TestServerConfig.moc"
