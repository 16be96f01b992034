// The warning dialog rendered with each shipped skin and language, the skins
// switched as the host switches them: the styles, images and texts come from
// the built .rcc and .qm files. Each rendering is saved under
// <build>/screenshots/ for a look by eye.

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "SkinLoader.h"
#include "TestShippedContent.h"
#include "WaringDlg.h"

using namespace content;

class TestShippedContentScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void warningDialog_data();
    void warningDialog();
    void skinsGiveDifferentTitleBars();

private:
    QString m_shots;
    QMap<QString, QRgb> m_titleColours;
};

void TestShippedContentScreens::initTestCase()
{
    m_shots = QStringLiteral(TAVRIN_BUILD_DIR "/screenshots");
    QVERIFY(QDir().mkpath(m_shots));
}

void TestShippedContentScreens::warningDialog_data()
{
    QTest::addColumn<QString>("skin");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("confirmText");
    QTest::addColumn<QString>("cancelText");
    for (const QString& skin : skinFolders()) {
        QTest::newRow(qPrintable(skin + "-English")) << skin << "English" << "OK" << "Cancel";
        QTest::newRow(qPrintable(skin + "-Chinese")) << skin << "Chinese" << "确定" << "取消";
    }
}

void TestShippedContentScreens::warningDialog()
{
    QFETCH(QString, skin);
    QFETCH(QString, language);
    QFETCH(QString, confirmText);
    QFETCH(QString, cancelText);

    QVERIFY(serverframework::loadSkin((skin + QStringLiteral("Skin")).toStdString(), TAVRIN_BUILD_DIR "/Server/rcc"));
    const QRgb accent = QImage(QStringLiteral(":/FrameworkGui/TrayIcon/Image/server 24.png")).pixel(12, 2);
    const auto translators = loadLanguage(QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations"), language);
    QVERIFY(!translators.empty());
    for (const auto& translator : translators)
        QCoreApplication::installTranslator(translator.get());

    {
        serverframework::CWaringDlg dialog;
        dialog.setTitleText(QCoreApplication::translate("serverframework::CMainWindow", "Tip"));
        dialog.setIconPixmap(QPixmap(QStringLiteral(":/FrameworkGui/TrayIcon/Image/notice_Icon.svg")));
        dialog.setWaringText(QCoreApplication::translate("serverframework::CMainWindow", "Saved.PleaseRestartClient"));
        dialog.setConfirmOnly(false);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        auto* confirm = dialog.findChild<QPushButton*>(QStringLiteral("m_ConfirmBtn"));
        auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("m_CloseBtn"));
        auto* icon = dialog.findChild<QLabel*>(QStringLiteral("m_icon"));
        QVERIFY(confirm && cancel && icon);
        QCOMPARE(confirm->text(), confirmText);
        QCOMPARE(cancel->text(), cancelText);
        QVERIFY(!icon->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(!dialog.styleSheet().isEmpty());

        const QImage shot = dialog.grab().toImage();
        QVERIFY(shot.save(m_shots + QStringLiteral("/WaringDlg-%1-%2.png").arg(skin, language)));

        // The confirm button is painted in a colour of its own, not the dialog's.
        const QPoint inConfirm = confirm->mapTo(&dialog, QPoint(4, confirm->height() / 2));
        const QRgb background = shot.pixel(dialog.width() / 2, dialog.height() - 4);
        QVERIFY(shot.pixel(inConfirm) != background);
        m_titleColours.insert(skin, shot.pixel(4, 4));

        // The notice icon is the current skin's, not one of an earlier skin.
        const QRgb iconFill = shot.pixel(icon->mapTo(&dialog, QPoint(20, 36)));
        QVERIFY2(qAbs(qRed(iconFill) - qRed(accent)) <= 2 && qAbs(qGreen(iconFill) - qGreen(accent)) <= 2
                     && qAbs(qBlue(iconFill) - qBlue(accent)) <= 2,
                 qPrintable(QStringLiteral("icon %1, skin accent %2").arg(iconFill, 0, 16).arg(accent, 0, 16)));
    }

    for (const auto& translator : translators)
        QCoreApplication::removeTranslator(translator.get());
}

void TestShippedContentScreens::skinsGiveDifferentTitleBars()
{
    QCOMPARE(m_titleColours.size(), skinFolders().size());
    const QList<QRgb> colours = m_titleColours.values();
    QCOMPARE(QSet<QRgb>(colours.begin(), colours.end()).size(), skinFolders().size());
}

SCRATCH_TEST_MAIN(QApplication, TestShippedContentScreens)

#include "TestShippedContentScreens.moc"
