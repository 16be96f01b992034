// The warning dialog and the service management window rendered with each
// shipped skin and language, the skins
// switched as the host switches them: the styles, images and texts come from
// the built .rcc and .qm files. Each rendering is saved under
// <build>/screenshots/ for a look by eye.

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "CheckCorretLineEdit.h"
#include "EditPortDlg.h"
#include "MainWindow.h"
#include "SimpleProperties.h"
#include "XMLConfigManager.h"
#include "SkinLoader.h"
#include "TestScratch.h"
#include "TestShippedContent.h"
#include "TestSupport.h"
#include "WaringDlg.h"

#include <QAbstractButton>

using namespace content;

class TestShippedContentScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void warningDialog_data();
    void warningDialog();
    void skinsGiveDifferentTitleBars();
    void serviceManagementWindow_data();
    void serviceManagementWindow();
    void portSettingsDialog_data();
    void portSettingsDialog();

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

void TestShippedContentScreens::serviceManagementWindow_data()
{
    QTest::addColumn<QString>("skin");
    QTest::addColumn<QString>("language");
    for (const QString& skin : skinFolders()) {
        for (const char* language : {"English", "Chinese", "zh_TW"})
            QTest::newRow(qPrintable(skin + "-" + language)) << skin << QString::fromLatin1(language);
    }
}

// Every caption and button reads a translation, not its key, and is wide
// enough for its text.
void TestShippedContentScreens::serviceManagementWindow()
{
    QFETCH(QString, skin);
    QFETCH(QString, language);
    QVERIFY(serverframework::loadSkin((skin + QStringLiteral("Skin")).toStdString(), TAVRIN_BUILD_DIR "/Server/rcc"));
    const auto translators = loadLanguage(QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations"), language);
    QVERIFY(!translators.empty());
    for (const auto& translator : translators)
        QCoreApplication::installTranslator(translator.get());

    {
        Base::CSingleton<serverframework::XMLConfigManager>::Instance().httpPort = 16100;
        serverframework::SimpleProperties::Instance().addProperty(serverframework::kRtspPortKey, "554");
        QTemporaryDir data;
        serverframework::CMainWindowOptions options;
        options.isAdmin = false;
        options.systemDatabase = data.filePath(QStringLiteral("System"));
        serverframework::CMainWindow window(nullptr, options);
        for (int i = 0; i < 90061; ++i) // one day, one hour, one minute and one second
            window.onUpdateTime();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.grab().toImage().save(m_shots + QStringLiteral("/MainWindow-%1-%2.png").arg(skin, language)));

        const QStringList keys{"ServiceManagement", "HTTPPortNo", "videoWallPort", "SMSPort", "Started",
                               "ModifyPort",        "RunTime"};
        for (const char* name : {"label", "m_HttpLabel", "label_11", "label_2", "m_state", "m_state_2", "m_state_3",
                                 "m_EditBtn", "m_timeName", "m_timeShow", "m_AppName", "m_HTTPport",
                                 "m_TamsaCMSPort", "m_SMSPortLabel"}) {
            QWidget* widget = window.findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY2(widget && widget->isVisible(), name);
            const auto* label = qobject_cast<QLabel*>(widget);
            const QString text = label ? label->text() : qobject_cast<QAbstractButton*>(widget)->text();
            QVERIFY2(!keys.contains(text.trimmed()) && !text.contains(QLatin1String("Sky")), qPrintable(QStringLiteral("%1: %2").arg(name, text)));
            QVERIFY2(widget->width() >= widget->sizeHint().width(),
                     qPrintable(QStringLiteral("%1 clipped: %2 < %3").arg(name).arg(widget->width()).arg(
                         widget->sizeHint().width())));
            QVERIFY2(window.rect().contains(QRect(widget->mapTo(&window, QPoint()), widget->size())), name);
        }
    }

    for (const auto& translator : translators)
        QCoreApplication::removeTranslator(translator.get());
}

void TestShippedContentScreens::portSettingsDialog_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("external");
    for (const char* language : {"English", "Chinese", "zh_TW"})
        QTest::newRow(language) << QString::fromLatin1(language) << false;
    for (const char* language : {"English", "Chinese"})
        QTest::newRow(QByteArray(language) + " external") << QString::fromLatin1(language) << true;
}

// The captions of the upper rows fit their texts; with external access on
// (product type 0) the eleven rows and the buttons fit without overlapping.
void TestShippedContentScreens::portSettingsDialog()
{
    QFETCH(QString, language);
    QFETCH(bool, external);
    QVERIFY(serverframework::loadSkin("GreyRedSkin", TAVRIN_BUILD_DIR "/Server/rcc"));
    const auto translators = loadLanguage(QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations"), language);
    QVERIFY(!translators.empty());
    for (const auto& translator : translators)
        QCoreApplication::installTranslator(translator.get());
    {
        serverframework::CEditPortDlg dialog;
        if (external) {
            dialog.setExternRowsVisible(true);
            dialog.setExternEnabled(true);
        }
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.grab().toImage().save(
            m_shots + QStringLiteral("/EditPortDlg-%1%2.png").arg(language, external ? "-external" : "")));
        // Visible fields, captions and buttons: inside the dialog, none overlapping another.
        QList<QRect> boxes;
        QStringList names;
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            const bool item = qobject_cast<serverframework::CCheckCorretLineEdit*>(w) || qobject_cast<QPushButton*>(w)
                              || (qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->text().isEmpty());
            bool inField = false;
            for (QWidget* up = w->parentWidget(); up; up = up->parentWidget())
                inField = inField || up->inherits("serverframework::CCheckCorretLineEdit");
            if (!item || inField || !w->isVisible())
                continue;
            const QRect box(w->mapTo(&dialog, QPoint()), w->size());
            QVERIFY2(dialog.rect().contains(box), qPrintable(w->objectName()));
            for (int i = 0; i < boxes.size(); ++i)
                QVERIFY2(!boxes.at(i).intersects(box), qPrintable(names.at(i) + " overlaps " + w->objectName()));
            boxes << box;
            names << w->objectName();
        }
        for (const char* name : {"m_HttpPortLabel", "m_VideoWallPortLabel", "m_pLabalSMSPort"}) {
            auto* caption = dialog.findChild<QLabel*>(QString::fromLatin1(name));
            QVERIFY2(caption && caption->isVisible(), name);
            QVERIFY2(caption->width() >= caption->sizeHint().width(),
                     qPrintable(QStringLiteral("%1 clipped: %2 < %3 for \"%4\"")
                                    .arg(name)
                                    .arg(caption->width())
                                    .arg(caption->sizeHint().width())
                                    .arg(caption->text())));
            QVERIFY(dialog.rect().contains(QRect(caption->mapTo(&dialog, QPoint()), caption->size())));
        }
    }
    for (const auto& translator : translators)
        QCoreApplication::removeTranslator(translator.get());
}

SCRATCH_TEST_MAIN(QApplication, TestShippedContentScreens)

#include "TestShippedContentScreens.moc"
