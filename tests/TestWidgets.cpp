// Port field, its validator and status button, the tip bubble and the
// warning dialog (its results and frameless dragging).

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QSignalSpy>
#include <QtTest>

#include "CheckCorretLineEdit.h"
#include "IntValidator.h"
#include "RightTipButton.h"
#include "TipWidget.h"
#include "WaringDlg.h"
#include "TestScratch.h"

using namespace serverframework;

namespace {

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Press, move by delta, release: the way a user drags.
void drag(QWidget* target, const QPoint& from, const QPoint& delta, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(target, QEvent::MouseButtonPress, from, button, button);
    sendMouse(target, QEvent::MouseMove, from + delta, Qt::NoButton, button);
    sendMouse(target, QEvent::MouseButtonRelease, from + delta, button, Qt::NoButton);
}

QPushButton* button(QWidget& dialog, const QString& name)
{
    return dialog.findChild<QPushButton*>(name);
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void validate_data()
    {
        QTest::addColumn<int>("bottom");
        QTest::addColumn<int>("top");
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("expected");

        const int A = QValidator::Acceptable, I = QValidator::Intermediate, X = QValidator::Invalid;
        QTest::newRow("port max") << 1 << 65535 << "65535" << A;
        QTest::newRow("empty while typing") << 1 << 65535 << "" << I;
        for (const char* refused : {"0", "080", "+80", "80 ", "65536", "-"})
            QTest::newRow(refused) << 1 << 65535 << refused << X;
        QTest::newRow("negative range: lone minus") << -10 << 10 << "-" << I;
        QTest::newRow("negative range: value") << -10 << 10 << "-7" << A;
    }

    void validate()
    {
        QFETCH(int, bottom);
        QFETCH(int, top);
        QFETCH(QString, input);
        QFETCH(int, expected);
        CIntValidator validator(bottom, top);
        int pos = 0;
        QCOMPARE(int(validator.validate(input, pos)), expected);
    }

    // Refused characters are not taken; an accepted one is, and reported.
    void typingAndTheStatusTip()
    {
        CCheckCorretLineEdit field;
        field.setText(QStringLiteral("6553"));
        QSignalSpy textSpy(&field, &CCheckCorretLineEdit::signalText);
        QSignalSpy tipSpy(&field, &CCheckCorretLineEdit::signalShowTip);
        field.lineEdit()->setCursorPosition(4);
        QTest::keyClicks(field.lineEdit(), QStringLiteral("6"));
        QCOMPARE(field.text(), QStringLiteral("6553"));
        QTest::keyClick(field.lineEdit(), Qt::Key_Backspace);
        QTest::keyClicks(field.lineEdit(), QStringLiteral("0"));
        QCOMPARE(field.text(), QStringLiteral("6550"));
        QCOMPARE(textSpy.count(), 2);

        field.setInvalid(true);
        QVERIFY(!field.isValid());
        const QString invalidLook = field.tipButton()->styleSheet() + field.lineEdit()->styleSheet();
        field.setInvalid(false);
        QVERIFY(field.tipButton()->styleSheet() + field.lineEdit()->styleSheet() != invalidLook);
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        for (QEvent::Type type : {QEvent::Enter, QEvent::Leave}) {
            QEvent event(type);
            QApplication::sendEvent(field.tipButton(), &event);
        }
        QCOMPARE(tipSpy.count(), 2);
        QCOMPARE(tipSpy.at(0).at(0).toBool(), true);
        QCOMPARE(tipSpy.at(1).at(0).toBool(), false);
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

    void execResult_data()
    {
        QTest::addColumn<bool>("confirmOnly");
        QTest::addColumn<QString>("buttonName");
        QTest::addColumn<int>("expected");
        QTest::newRow("confirm") << false << "m_ConfirmBtn" << 1;
        QTest::newRow("cancel") << false << "m_CloseBtn" << 0;
        QTest::newRow("confirm only") << true << "m_ConfirmBtn" << 1;
    }
    void execResult()
    {
        QFETCH(bool, confirmOnly);
        QFETCH(QString, buttonName);
        CWaringDlg dialog;
        dialog.setConfirmOnly(confirmOnly);
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* modal = qobject_cast<CWaringDlg*>(QApplication::activeModalWidget());
            if (!modal)
                return;
            answered = true;
            QCOMPARE(button(*modal, "m_CloseBtn")->isVisible(), !confirmOnly);
            QCOMPARE(button(*modal, "m_TitleCloseBtn")->isVisible(), !confirmOnly);
            QTest::mouseClick(button(*modal, buttonName), Qt::LeftButton);
        });
        QTimer::singleShot(5000, &dialog, &QDialog::reject);
        QTEST(dialog.exec(), "expected");
        QVERIFY(answered);
    }

    void dragging()
    {
        CWaringDlg dialog;
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        // The title area does not handle the mouse, so the dialog gets it.
        const QPoint inTitle = dialog.findChild<QWidget*>(QStringLiteral("titleWidget"))->mapTo(&dialog, QPoint(5, 5));
        drag(&dialog, inTitle, QPoint(40, 25));
        QCOMPARE(dialog.pos(), start + QPoint(40, 25));
        drag(&dialog, QPoint(20, 10), QPoint(30, 30), Qt::RightButton);
        QCOMPARE(dialog.pos(), start + QPoint(40, 25));

        QPushButton* close = button(dialog, "m_TitleCloseBtn");
        sendMouse(close, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
        sendMouse(close, QEvent::MouseMove, QPoint(50, 40), Qt::NoButton, Qt::LeftButton);
        QVERIFY(close->isDown());
        QCOMPARE(dialog.pos(), start + QPoint(40, 25)); // the close button swallows moves
    }

private:
    ScratchHome home;
};

QTEST_MAIN(TestWidgets)
#include "TestWidgets.moc"
