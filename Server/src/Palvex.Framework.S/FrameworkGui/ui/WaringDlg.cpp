#include "WaringDlg.h"

#include <QMouseEvent>

#include "StyleSheet.h"
#include "ui_WaringDlg.h"

namespace serverframework {

CWaringDlg::CWaringDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint)
    , ui(new Ui::WaringDlg)
{
    ui->setupUi(this);
    setFixedSize(360, 198);
    connect(ui->m_TitleCloseBtn, &QPushButton::clicked, this, &CWaringDlg::onCancelBtnClicked);
    connect(ui->m_CloseBtn, &QPushButton::clicked, this, &CWaringDlg::onCancelBtnClicked);
    connect(ui->m_ConfirmBtn, &QPushButton::clicked, this, &CWaringDlg::onConfirmBtnClcked);
    ui->m_ConfirmBtn->setText(tr("Confirm"));
    ui->m_CloseBtn->setText(tr("UndoMerge"));
    ui->m_WaringText->setWordWrap(true);
    ui->m_icon->setPixmap(QPixmap(QStringLiteral(":/FrameworkGui/TrayIcon/Image/confirm_Icon.svg")));
    setStyleSheet(skinStyleSheet());
}

CWaringDlg::~CWaringDlg() = default;

void CWaringDlg::setTitleText(const QString& text)
{
    ui->label->setText(text);
}

void CWaringDlg::setIconPixmap(const QPixmap& pixmap)
{
    ui->m_icon->setPixmap(pixmap);
}

void CWaringDlg::setWaringText(const QString& text)
{
    ui->m_WaringText->setText(text);
    ui->m_WaringText->setStyleSheet(QStringLiteral("font-size:15px"));
}

void CWaringDlg::setConfirmOnly(bool bConfirmOnly)
{
    ui->m_TitleCloseBtn->setVisible(!bConfirmOnly);
    ui->m_CloseBtn->setVisible(!bConfirmOnly);
}

void CWaringDlg::onCancelBtnClicked()
{
    reject();
}

void CWaringDlg::onConfirmBtnClcked()
{
    accept();
}

void CWaringDlg::mousePressEvent(QMouseEvent* event)
{
    drag.press(this, event);
}

void CWaringDlg::mouseMoveEvent(QMouseEvent* event)
{
    drag.move(this, event);
}

void CWaringDlg::mouseReleaseEvent(QMouseEvent* event)
{
    drag.release(event);
}

} // namespace serverframework
