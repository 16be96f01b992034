// The warning dialog: buttons, results of exec() and frameless dragging.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "ClosePushBtn.h"
#include "WaringDlg.h"

using namespace serverframework;

namespace {

// Sends a press at a child, moves by delta with the given buttons, then
// releases, in the way a user drags; returns nothing, the caller checks pos().
void sendMouse(QWidget* target, QEvent::Type type, const QPoint& local, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void drag(QWidget* target, const QPoint& from, const QPoint& delta, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(target, QEvent::MouseButtonPress, from, button, button);
    sendMouse(target, QEvent::MouseMove, from + delta, Qt::NoButton, button);
    sendMouse(target, QEvent::MouseButtonRelease, from + delta, button, Qt::NoButton);
}

} // namespace

class TestWaringDlg : public QObject
{
    Q_OBJECT

private slots:
    void layoutAndTexts()
    {
        CWaringDlg dialog;
        QCOMPARE(dialog.size(), QSize(360, 198));
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        dialog.setTitleText(QStringLiteral("Caution"));
        dialog.setWaringText(QStringLiteral("TheServiceIsAlreadyStarted"));
        auto* title = dialog.findChild<QLabel*>(QStringLiteral("label"));
        auto* text = dialog.findChild<QLabel*>(QStringLiteral("m_WaringText"));
        QVERIFY(title && text);
        QCOMPARE(title->text(), QStringLiteral("Caution"));
        QCOMPARE(text->text(), QStringLiteral("TheServiceIsAlreadyStarted"));
        QCOMPARE(text->styleSheet(), QStringLiteral("font-size:15px"));
        QVERIFY(text->wordWrap());
        QCOMPARE(button(dialog, "m_ConfirmBtn")->text(), QStringLiteral("Confirm"));
        QCOMPARE(button(dialog, "m_CloseBtn")->text(), QStringLiteral("UndoMerge"));
    }

    void confirmOnly_data()
    {
        QTest::addColumn<bool>("confirmOnly");
        QTest::newRow("confirm only") << true;
        QTest::newRow("confirm and cancel") << false;
    }

    void confirmOnly()
    {
        QFETCH(bool, confirmOnly);
        CWaringDlg dialog;
        dialog.setConfirmOnly(confirmOnly);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(button(dialog, "m_ConfirmBtn")->isVisible());
        QCOMPARE(button(dialog, "m_CloseBtn")->isVisible(), !confirmOnly);
        QCOMPARE(button(dialog, "m_TitleCloseBtn")->isVisible(), !confirmOnly);
    }

    void execResult_data()
    {
        QTest::addColumn<QString>("buttonName");
        QTest::addColumn<int>("expected");
        QTest::newRow("confirm") << "m_ConfirmBtn" << 1;
        QTest::newRow("cancel") << "m_CloseBtn" << 0;
        QTest::newRow("title close") << "m_TitleCloseBtn" << 0;
    }

    void execResult()
    {
        QFETCH(QString, buttonName);
        QFETCH(int, expected);
        CWaringDlg dialog;
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* modal = qobject_cast<CWaringDlg*>(QApplication::activeModalWidget());
            if (!modal)
                return;
            answered = true;
            QTest::mouseClick(button(*modal, buttonName.toLatin1().constData()), Qt::LeftButton);
        });
        QTimer::singleShot(5000, &dialog, &QDialog::reject);
        QCOMPARE(dialog.exec(), expected);
        QVERIFY(answered);
    }

    void dragByTitleMoves()
    {
        CWaringDlg dialog;
        QVERIFY(showAt100(dialog));
        const QPoint start = dialog.pos();
        // The title area does not handle the mouse, so the dialog gets it.
        QWidget* title = dialog.findChild<QWidget*>(QStringLiteral("titleWidget"));
        QVERIFY(title);
        const QPoint inTitle = title->mapTo(&dialog, QPoint(5, 5));
        drag(&dialog, inTitle, QPoint(40, 25));
        QCOMPARE(dialog.pos(), start + QPoint(40, 25));
    }

    void dragOnCloseButtonDoesNotMove()
    {
        CWaringDlg dialog;
        QVERIFY(showAt100(dialog));
        const QPoint start = dialog.pos();
        QPushButton* close = button(dialog, "m_TitleCloseBtn");
        QVERIFY(qobject_cast<CClosePushBtn*>(close));
        sendMouse(close, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
        sendMouse(close, QEvent::MouseMove, QPoint(50, 40), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(dialog.pos(), start);
        QVERIFY(close->isDown());
        sendMouse(close, QEvent::MouseButtonRelease, QPoint(50, 40), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(dialog.pos(), start);
    }

    void otherButtonsDoNotDrag()
    {
        CWaringDlg dialog;
        QVERIFY(showAt100(dialog));
        const QPoint start = dialog.pos();
        drag(&dialog, QPoint(20, 10), QPoint(30, 30), Qt::RightButton);
        QCOMPARE(dialog.pos(), start);

        // After a finished left drag, a move with another button held does
        // not move the window: release ends the drag.
        drag(&dialog, QPoint(20, 10), QPoint(10, 0));
        const QPoint afterDrag = dialog.pos();
        QCOMPARE(afterDrag, start + QPoint(10, 0));
        sendMouse(&dialog, QEvent::MouseMove, QPoint(60, 60), Qt::NoButton, Qt::RightButton);
        QCOMPARE(dialog.pos(), afterDrag);
    }

private:
    static bool showAt100(CWaringDlg& dialog)
    {
        dialog.move(100, 100);
        dialog.show();
        return QTest::qWaitForWindowExposed(&dialog);
    }

    static QPushButton* button(CWaringDlg& dialog, const char* name)
    {
        return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    }
};

QTEST_MAIN(TestWaringDlg)
#include "TestWaringDlg.moc"
