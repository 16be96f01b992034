// The warning dialog: buttons, results of exec() and frameless dragging.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "WaringDlg.h"

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

class TestWaringDlg : public QObject
{
    Q_OBJECT

private slots:
    void execResult_data()
    {
        QTest::addColumn<bool>("confirmOnly");
        QTest::addColumn<QString>("buttonName");
        QTest::addColumn<int>("expected");
        QTest::newRow("confirm") << false << "m_ConfirmBtn" << 1;
        QTest::newRow("cancel") << false << "m_CloseBtn" << 0;
        QTest::newRow("title close") << false << "m_TitleCloseBtn" << 0;
        QTest::newRow("confirm only") << true << "m_ConfirmBtn" << 1;
    }
    void execResult()
    {
        QFETCH(bool, confirmOnly);
        QFETCH(QString, buttonName);
        CWaringDlg dialog;
        dialog.setConfirmOnly(confirmOnly);
        dialog.setTitleText(QStringLiteral("Caution"));
        dialog.setWaringText(QStringLiteral("TheServiceIsAlreadyStarted"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("m_WaringText"))->text(), QStringLiteral("TheServiceIsAlreadyStarted"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("Caution"));
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
        sendMouse(&dialog, QEvent::MouseMove, QPoint(60, 60), Qt::NoButton, Qt::RightButton); // drag ended
        QCOMPARE(dialog.pos(), start + QPoint(40, 25));

        QPushButton* close = button(dialog, "m_TitleCloseBtn");
        sendMouse(close, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
        sendMouse(close, QEvent::MouseMove, QPoint(50, 40), Qt::NoButton, Qt::LeftButton);
        QVERIFY(close->isDown());
        sendMouse(close, QEvent::MouseButtonRelease, QPoint(50, 40), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(dialog.pos(), start + QPoint(40, 25)); // the close button swallows moves
    }
};

QTEST_MAIN(TestWaringDlg)
#include "TestWaringDlg.moc"
