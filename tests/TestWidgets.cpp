// Port field, its validator and status button, the tip bubble, the warning
// dialog (its results and frameless dragging), the server settings read from
// "Setup.xml" with the product names, and the high-DPI decision.

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <tuple>

#include "CheckCorretLineEdit.h"
#include "DpiPolicy.h"
#include "IntValidator.h"
#include "RightTipButton.h"
#include "ServerConfigManager.h"
#include "TipWidget.h"
#include "WaringDlg.h"
#include "TestScratch.h"
#include "TestSupport.h"

using namespace serverframework;

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    // Ports only: empty is accepted while typing; zero, leading zeros or signs, spaces and 65536 are refused.
    void validate()
    {
        const auto I = QValidator::Intermediate, X = QValidator::Invalid;
        const std::pair<QString, QValidator::State> cases[] = {
            {"65535", QValidator::Acceptable}, {"", I}, {"0", X}, {"080", X}, {"+80", X}, {"80 ", X}, {"65536", X}, {"-", X}};
        for (auto [input, expected] : cases) {
            int pos = 0;
            QVERIFY2(CIntValidator(1, 65535).validate(input, pos) == expected, qPrintable(input));
        }
    }

    // Refused characters are not taken; an accepted one is, and reported;
    // the status button looks different when invalid and asks for the bubble.
    void typingAndTheStatusTip()
    {
        CCheckCorretLineEdit field;
        field.setText(QStringLiteral("6553"));
        QSignalSpy textSpy(&field, &CCheckCorretLineEdit::signalText), tipSpy(&field, &CCheckCorretLineEdit::signalShowTip);
        field.lineEdit()->setCursorPosition(4);
        QTest::keyClicks(field.lineEdit(), QStringLiteral("6"));
        QCOMPARE(field.text(), QStringLiteral("6553"));
        QTest::keyClick(field.lineEdit(), Qt::Key_Backspace);
        QTest::keyClicks(field.lineEdit(), QStringLiteral("0"));
        QCOMPARE(field.text(), QStringLiteral("6550"));
        QCOMPARE(textSpy.count(), 2);

        auto look = [&] { return field.tipButton()->styleSheet() + field.lineEdit()->styleSheet(); };
        field.setInvalid(true);
        QVERIFY(!field.isValid());
        const QString invalidLook = look();
        field.setInvalid(false);
        QVERIFY(look() != invalidLook);
        for (QEvent::Type type : {QEvent::Enter, QEvent::Leave}) {
            QEvent event(type);
            QApplication::sendEvent(field.tipButton(), &event);
        }
        QCOMPARE(tipSpy.count(), 2);
        QVERIFY(tipSpy.at(0).at(0).toBool() && !tipSpy.at(1).at(0).toBool());
        field.clear();
        field.setFreeTextMode(); // the address field
        QTest::keyClicks(field.lineEdit(), QStringLiteral("192.168.1.7"));
        QCOMPARE(field.text(), QStringLiteral("192.168.1.7"));
    }

    // The bubble has its own shape: without a compositing manager no corner
    // shows black; its arrow points right, vertically centred.
    void tipWidgetShape()
    {
        CTipWidget tip;
        const QRegion shape = tip.mask();
        QVERIFY(shape.contains(QPoint(20, 40)) && shape.contains(QPoint(236, 40)));
        QVERIFY(!shape.contains(QPoint(0, 0)) && !shape.contains(QPoint(237, 5)) && !shape.contains(QPoint(233, 79)));
    }

    // Confirm answers 1, cancel 0; a confirm-only dialog hides both ways to cancel.
    void execResult()
    {
        const std::tuple<bool, const char*, int> cases[] = {
            {false, "m_ConfirmBtn", 1}, {false, "m_CloseBtn", 0}, {true, "m_ConfirmBtn", 1}};
        for (const auto& answer : cases) {
            CWaringDlg dialog;
            dialog.setConfirmOnly(std::get<0>(answer));
            int cancels = -1;
            QTimer::singleShot(0, [&] {
                cancels = dialog.findChild<QPushButton*>("m_CloseBtn")->isVisible()
                          + dialog.findChild<QPushButton*>("m_TitleCloseBtn")->isVisible();
                QTest::mouseClick(dialog.findChild<QPushButton*>(std::get<1>(answer)), Qt::LeftButton);
            });
            QTimer::singleShot(5000, &dialog, &QDialog::reject);
            QCOMPARE(dialog.exec(), std::get<2>(answer));
            QCOMPARE(cancels, std::get<0>(answer) ? 0 : 2);
        }
    }

    // Dragged by its title area with the left button; the right one does not drag.
    void dragging()
    {
        CWaringDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        const QPoint from = dialog.findChild<QWidget*>(QStringLiteral("titleWidget"))->mapTo(&dialog, QPoint(5, 5));
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseMove, QEvent::MouseButtonRelease}) {
                const QPoint at = type == QEvent::MouseButtonPress ? from : from + QPoint(40, 25);
                QMouseEvent event(type, at, dialog.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button,
                                  type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
                QApplication::sendEvent(&dialog, &event);
            }
            QCOMPARE(dialog.pos(), start + QPoint(40, 25));
        }
    }

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
        QVERIFY(body.isEmpty() || tst::writeBytes(dir.path() + "/Setup.xml", "<?xml version=\"1.0\"?>\n" + body.toUtf8()));
        CServerConfigManager settings(dir.path().toStdString() + "/");
        QTEST(int(settings.translator), "translator");
        QTEST(int(settings.versionType), "versionType");
        QTEST(QString::fromStdString(settings.skin), "skin");
        QTEST(settings.productType, "productType");
        QTEST(QString::fromStdString(settings.productName()), "productName");
    }

    void highDpiDecision_data()
    {
        QTest::addColumn<QVector<QSize>>("displays");
        QTest::addColumn<bool>("scaling");
        QTest::newRow("small second") << QVector<QSize>{{1920, 1080}, {1280, 1024}} << false;
        QTest::newRow("low only") << QVector<QSize>{{1600, 899}} << false;
        QTest::newRow("exact limit") << QVector<QSize>{{1440, 900}} << true;
    }
    void highDpiDecision()
    {
        QFETCH(QVector<QSize>, displays);
        std::vector<platform::DisplaySize> sizes;
        for (const QSize& s : displays)
            sizes.push_back(platform::DisplaySize{s.width(), s.height()});
        QTEST(wantsHighDpiScaling(sizes), "scaling");
    }

private:
    static QString setup(int translator, int versionType, const QString& skin, int productType)
    {
        return QStringLiteral("<Configs><Translator><Value>%1</Value></Translator><VersionType><Value>%2</Value></VersionType>"
                              "<Skin><Value>%3</Value></Skin><ProductType><Value>%4</Value></ProductType></Configs>")
            .arg(translator).arg(versionType).arg(skin).arg(productType);
    }

    ScratchHome home;
};

QTEST_MAIN(TestWidgets)
#include "TestWidgets.moc"
