#include "CheckCorretLineEdit.h"

#include <QLineEdit>

#include "IntValidator.h"
#include "RightTipButton.h"
#include "ui_CheckCorretLineEdit.h"

namespace serverframework {

const char* const CCheckCorretLineEdit::kTipValidStyle =
    "QPushButton{image:url(:/FrameworkGui/TrayIcon/Image/line_corret.svg); border:none; }";
const char* const CCheckCorretLineEdit::kTipInvalidStyle =
    "QPushButton{image:url(:/FrameworkGui/TrayIcon/Image/line_no_corret.svg); border:none; }";
const char* const CCheckCorretLineEdit::kEditValidStyle =
    "QLineEdit{color: #666666; background-color: #FAFBFC; border:none;}";
const char* const CCheckCorretLineEdit::kEditInvalidStyle =
    "QLineEdit{border: 1px solid;  border-color: rgb(255, 0, 0); color: #666666; background-color: #FAFBFC;}";

CCheckCorretLineEdit::CCheckCorretLineEdit(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::CheckCorretLineEdit)
{
    ui->setupUi(this);
    ui->m_LineEdit->setValidator(new CIntValidator(1, 65535, ui->m_LineEdit));
    ui->m_LineEdit->setToolTip(QStringLiteral("[1~65535]"));
    ui->m_LineEdit->clear();
    ui->m_TipBtn->setStyleSheet(QLatin1String(kTipValidStyle));
    connect(ui->m_LineEdit, &QLineEdit::textChanged, this, &CCheckCorretLineEdit::signalText);
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
    ui->m_TipBtn->setStyleSheet(QLatin1String(bInvalid ? kTipInvalidStyle : kTipValidStyle));
    ui->m_LineEdit->setStyleSheet(QLatin1String(bInvalid ? kEditInvalidStyle : kEditValidStyle));
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

} // namespace serverframework
