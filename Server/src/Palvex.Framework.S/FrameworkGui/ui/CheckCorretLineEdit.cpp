#include "CheckCorretLineEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>

#include "IntValidator.h"
#include "RightTipButton.h"
#include "StyleSheet.h"
#include "ui_CheckCorretLineEdit.h"

namespace serverframework {

CCheckCorretLineEdit::CCheckCorretLineEdit(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::CheckCorretLineEdit)
{
    ui->setupUi(this);
    ui->m_LineEdit->setValidator(new CIntValidator(1, 65535, ui->m_LineEdit));
    ui->m_LineEdit->setToolTip(QStringLiteral("[1~65535]"));
    ui->m_LineEdit->clear();
    ui->m_LineEdit->installEventFilter(this);
    connect(ui->m_LineEdit, &QLineEdit::textChanged, this, &CCheckCorretLineEdit::signalText);
    connect(ui->m_LineEdit, &QLineEdit::inputRejected, this, [this] { emit signalInputRefused(attempt); });
    connect(ui->m_TipBtn, &CRightTipButton::signalShowTip, this, &CCheckCorretLineEdit::signalShowTip);
    setFixedSize(326, 32);
}

CCheckCorretLineEdit::~CCheckCorretLineEdit() = default;

QString CCheckCorretLineEdit::text() const
{
    return ui->m_LineEdit->text();
}

void CCheckCorretLineEdit::setText(const QString& text)
{
    ui->m_LineEdit->setText(text);
}

void CCheckCorretLineEdit::clear()
{
    ui->m_LineEdit->clear();
}

void CCheckCorretLineEdit::setInvalid(bool bInvalid)
{
    valid = !bInvalid;
    setStyleProperty(ui->m_LineEdit, "invalid", bInvalid);
    setStyleProperty(ui->m_TipBtn, "invalid", bInvalid);
}

void CCheckCorretLineEdit::setFreeTextMode()
{
    ui->m_LineEdit->setValidator(nullptr);
    ui->m_LineEdit->setToolTip(QString());
    ui->m_LineEdit->clear();
}

QLineEdit* CCheckCorretLineEdit::lineEdit() const
{
    return ui->m_LineEdit;
}

CRightTipButton* CCheckCorretLineEdit::tipButton() const
{
    return ui->m_TipBtn;
}

// Remembers what a key press or paste would make of the text, so that a
// refusal can say what was refused.
bool CCheckCorretLineEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->m_LineEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString typed = key->matches(QKeySequence::Paste) ? QGuiApplication::clipboard()->text() : key->text();
        if (!typed.isEmpty()) {
            QLineEdit* edit = ui->m_LineEdit;
            const int from = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
            const int length = edit->hasSelectedText() ? edit->selectedText().size() : 0;
            attempt = edit->text().replace(from, length, typed);
        }
    } else if (watched == ui->m_LineEdit && event->type() == QEvent::FocusOut) {
        emit signalFocusOut();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace serverframework
