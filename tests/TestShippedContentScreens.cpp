// The service management window and the port settings dialog with the built
// skins and languages: every caption reads a translation and fits its text,
// and with external access on the dialog's rows fit without overlapping.

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "CheckCorretLineEdit.h"
#include "EditPortDlg.h"
#include "MainWindow.h"
#include "SimpleProperties.h"
#include "SkinLoader.h"
#include "TestScratch.h"
#include "TestShippedContent.h"
#include "XMLConfigManager.h"

namespace {

QString clipped(QWidget* w)
{
    return QStringLiteral("%1 clipped: %2 < %3").arg(w->objectName()).arg(w->width()).arg(w->sizeHint().width());
}

bool inside(QWidget* outer, QWidget* w)
{
    return outer->rect().contains(QRect(w->mapTo(outer, QPoint()), w->size()));
}

} // namespace

class TestShippedContentScreens : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QFETCH(QString, skin);
        QFETCH(QString, language);
        QVERIFY(serverframework::loadSkin((skin + "Skin").toStdString(), TAVRIN_BUILD_DIR "/Server/rcc"));
        translators = content::loadLanguage(TAVRIN_BUILD_DIR "/Server/translations", language);
        QVERIFY(!translators.empty());
        for (const auto& translator : translators)
            QCoreApplication::installTranslator(translator.get());
    }

    void cleanup()
    {
        for (const auto& translator : translators)
            QCoreApplication::removeTranslator(translator.get());
        translators.clear();
    }

    void serviceManagementWindow_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("language");
        for (const QString& skin : content::skinFolders()) {
            for (const char* language : {"English", "Chinese", "zh_TW"})
                QTest::newRow(qPrintable(skin + "-" + language)) << skin << QString(language);
        }
    }

    void serviceManagementWindow()
    {
        Base::CSingleton<serverframework::XMLConfigManager>::Instance().httpPort = 16100;
        serverframework::SimpleProperties::Instance().addProperty(serverframework::kRtspPortKey, "554");
        QTemporaryDir data;
        serverframework::CMainWindowOptions options;
        options.systemDatabase = data.filePath("System");
        serverframework::CMainWindow window(nullptr, options);
        for (int i = 0; i < 90061; ++i) // one day, one hour, one minute and one second
            window.onUpdateTime();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QStringList keys{"ServiceManagement", "HTTPPortNo", "videoWallPort", "SMSPort", "Started",
                               "ModifyPort", "RunTime"};
        for (const char* name : {"label", "m_HttpLabel", "label_11", "label_2", "m_state", "m_state_2", "m_state_3",
                                 "m_EditBtn", "m_timeName", "m_timeShow", "m_AppName", "m_HTTPport",
                                 "m_TamsaCMSPort", "m_SMSPortLabel"}) {
            QWidget* w = window.findChild<QWidget*>(name);
            QVERIFY2(w && w->isVisible(), name);
            const auto* label = qobject_cast<QLabel*>(w);
            const QString text = label ? label->text() : qobject_cast<QAbstractButton*>(w)->text();
            QVERIFY2(!keys.contains(text.trimmed()) && !text.contains("Sky"), qPrintable(text));
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(clipped(w)));
            QVERIFY2(inside(&window, w), name);
        }
    }

    void portSettingsDialog_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("external");
        for (const char* language : {"English", "Chinese", "zh_TW"})
            QTest::newRow(language) << "GreyRed" << QString(language) << false;
        for (const char* language : {"English", "Chinese"})
            QTest::newRow(QByteArray(language) + " external") << "GreyRed" << QString(language) << true;
    }

    void portSettingsDialog()
    {
        QFETCH(bool, external);
        serverframework::CEditPortDlg dialog;
        if (external) {
            dialog.setExternRowsVisible(true);
            dialog.setExternEnabled(true);
        }
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // Visible fields, captions and buttons: inside the dialog, none overlapping another.
        QList<QWidget*> placed;
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(w);
            const bool item = qobject_cast<serverframework::CCheckCorretLineEdit*>(w) || qobject_cast<QPushButton*>(w)
                              || (label && !label->text().isEmpty());
            bool inField = false;
            for (QWidget* up = w->parentWidget(); up; up = up->parentWidget())
                inField = inField || up->inherits("serverframework::CCheckCorretLineEdit");
            if (!item || inField || !w->isVisible())
                continue;
            QVERIFY2(inside(&dialog, w), qPrintable(w->objectName()));
            const QRect box(w->mapTo(&dialog, QPoint()), w->size());
            for (QWidget* other : placed)
                QVERIFY2(!QRect(other->mapTo(&dialog, QPoint()), other->size()).intersects(box),
                         qPrintable(other->objectName() + " overlaps " + w->objectName()));
            placed << w;
        }
        for (const char* name : {"m_HttpPortLabel", "m_VideoWallPortLabel", "m_pLabalSMSPort"}) {
            auto* caption = dialog.findChild<QLabel*>(name);
            QVERIFY2(caption && caption->isVisible(), name);
            QVERIFY2(caption->width() >= caption->sizeHint().width(), qPrintable(clipped(caption)));
        }
    }

private:
    std::vector<std::unique_ptr<QTranslator>> translators;
};

SCRATCH_TEST_MAIN(QApplication, TestShippedContentScreens)

#include "TestShippedContentScreens.moc"
