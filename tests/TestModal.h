#pragma once
// Answers modal dialogs from a timer, the way the widget tests stand in for the user while code under test runs a dialog's own event loop.

#include <QApplication>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace tst {

// While it lives, accepts (or rejects) the active modal dialog every 50 ms, recording each dialog once.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(bool accept)
        : m_accept(accept)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { answer(); });
        m_timer.start(50);
    }

    // One entry a dialog: "<class>: <its non-empty label texts, sorted>".
    QStringList seen;

private:
    void answer()
    {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        if (!m_answered.contains(dialog)) {
            m_answered << dialog;
            QStringList texts;
            for (QLabel* label : dialog->findChildren<QLabel*>()) {
                if (!label->text().isEmpty())
                    texts << label->text();
            }
            texts.sort();
            seen << QString("%1: %2").arg(dialog->metaObject()->className(), texts.join(", "));
        }
        QMetaObject::invokeMethod(dialog, m_accept ? "accept" : "reject", Qt::QueuedConnection);
    }

    bool m_accept;
    QTimer m_timer;
    QList<QPointer<QWidget>> m_answered;
};

// Runs run while a timer (every 20 ms) hands the active modal widget to handle; one it does not take is a notice: its
// text is recorded and it is accepted (or rejected). The notices' texts, in order.
inline QStringList answerModals(const std::function<bool(QWidget*)>& handle, const std::function<void()>& run, bool accept = true)
{
    QStringList notices;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && !handle(modal)) {
            const auto* text = modal->findChild<QLabel*>(QStringLiteral("m_WaringText"));
            notices << (text ? text->text() : QString::fromLatin1(modal->metaObject()->className()));
            QMetaObject::invokeMethod(modal, accept ? "accept" : "reject", Qt::QueuedConnection);
        }
    });
    user.start(20);
    run();
    return notices;
}

} // namespace tst
