#include "EditPort.h"

#include "StyleSheet.h"
#include "ui_EditPort.h"

#include <QIntValidator>
#include <QMouseEvent>

namespace serverframework {

CEditPort::CEditPort(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint)
    , ui(new Ui::EditPort)
{
    ui->setupUi(this);
    setFixedSize(467, 385);
    for (QLineEdit* port : {ui->m_HttpPortLineEdit, ui->m_WebSocketPortLineEdit}) {
        port->setValidator(new QIntValidator(1, 65535, this));
        port->setToolTip(QStringLiteral("[1~65535]"));
    }
    clearFields();
    connect(ui->m_TitleCloseBtn, &QPushButton::clicked, this, &CEditPort::onCloseDialog);
    connect(ui->m_CloseBtn, &QPushButton::clicked, this, &CEditPort::onCloseDialog);
    connect(ui->m_ConfirmBtn, &QPushButton::clicked, this, &CEditPort::onModifyPort);
    connect(ui->m_pChkEnabled, &QCheckBox::stateChanged, this, &CEditPort::onEnableChecked);
    onEnableChecked();
    setStyleSheet(skinStyleSheet());
}

CEditPort::~CEditPort() = default;

void CEditPort::clearFields()
{
    ui->m_HttpPortLineEdit->clear();
    ui->m_WebSocketPortLineEdit->clear();
    ui->m_pChkEnabled->setChecked(false);
    ui->m_pLineEditIP->clear();
    ui->m_pLineEditAlarm40Port->clear();
    ui->m_pLineEditAlarm50Port->clear();
    ui->m_pLineEditImageServerPort->clear();
}

void CEditPort::setPorts(const QString& http, const QString& webSocket)
{
    ui->m_HttpPortLineEdit->setText(http);
    ui->m_WebSocketPortLineEdit->setText(webSocket);
}

void CEditPort::getPorts(QString& http, QString& webSocket) const
{
    http = ui->m_HttpPortLineEdit->text();
    webSocket = ui->m_WebSocketPortLineEdit->text();
}

void CEditPort::onCloseDialog()
{
    reject();
}

void CEditPort::onModifyPort()
{
    if (ui->m_HttpPortLineEdit->text().isEmpty() || ui->m_WebSocketPortLineEdit->text().isEmpty())
        return;
    accept();
}

void CEditPort::onEnableChecked()
{
    const bool shown = ui->m_pChkEnabled->isChecked();
    for (QWidget* row : std::initializer_list<QWidget*>{ui->m_pLabelIP, ui->m_pLineEditIP, ui->m_pLabelAlarm40Port,
                                                        ui->m_pLineEditAlarm40Port, ui->m_pLabelAlarm50Port,
                                                        ui->m_pLineEditAlarm50Port, ui->m_pLabelImageServerPort,
                                                        ui->m_pLineEditImageServerPort})
        row->setVisible(shown);
}

void CEditPort::mousePressEvent(QMouseEvent* event)
{
    drag.press(this, event);
}

void CEditPort::mouseMoveEvent(QMouseEvent* event)
{
    drag.move(this, event);
}

void CEditPort::mouseReleaseEvent(QMouseEvent* event)
{
    drag.release(event);
}

} // namespace serverframework
