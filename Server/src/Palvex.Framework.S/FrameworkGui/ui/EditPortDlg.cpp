#include "EditPortDlg.h"

#include "ui_EditPortDlg.h"

#include "CheckCorretLineEdit.h"
#include "TipWidget.h"
#include "WaringDlg.h"
#include "controller/XMLConfigManager.h"
#include "logical/CheckPort.h"
#include "logical/PortApply.h"
#include "logical/ProductType.h"
#include "logical/SmsPlugin.h"

#include <Base/Singleton.h>
#include <Base/StringUtil.h>

#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>


namespace serverframework {

namespace {

// Field ids of the duplicate test.
constexpr int kHttpFieldId = 0;
constexpr int kTamsaCmsFieldId = 1;
constexpr int kAmsFieldId = 2;
constexpr int kMqttFieldId = 3;
constexpr int kSsFieldId = 4;
constexpr int kVideoFieldId = 5;
constexpr int kVideoVicFieldId = 6;
constexpr int kAudioFieldId = 7;
constexpr int kPlaybackFieldId = 8;
constexpr int kVideoWallFieldId = 9;
constexpr int kSmsFieldId = 10;
constexpr int kNoDuplicateTest = -1;

constexpr int kHeightExtern = 448;
constexpr int kHeightPlain = 268;

int portValue(const CCheckCorretLineEdit* field)
{
    return field->text().toInt(nullptr, 10);
}

XMLConfigManager& portConfig()
{
    return Base::CSingleton<XMLConfigManager>::Instance();
}

} // namespace

CEditPortDlg::CEditPortDlg(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint)
    , ui(new Ui::EditPortDlg)
{
    ui->setupUi(this);

    // Never shown: the TamsaCMS row only carries its value, the check box only
    // the external-access flag.
    ui->m_WebServerLabel->hide();
    ui->m_TamsaLineEdit->hide();
    setExternRowsVisible(false);

    setCodeTexts();

    const QList<CCheckCorretLineEdit*> fields = findChildren<CCheckCorretLineEdit*>();
    for (CCheckCorretLineEdit* field : fields) {
        field->clear();
    }
    ui->m_pChkEnabled->setChecked(false);
    onEnableChecked();

    QFile qss(QStringLiteral(":/Qss/Qss/ServerFramework.qss"));
    if (qss.open(QIODevice::ReadOnly)) {
        setStyleSheet(QString::fromLatin1(qss.readAll()));
    }
    qss.close();
    fitCaptions(); // in the style sheet's font

    connect(ui->m_TitleCloseBtn, &QPushButton::clicked, this, &CEditPortDlg::onCloseDialog);
    connect(ui->m_CloseBtn, &QPushButton::clicked, this, &CEditPortDlg::onCloseDialog);
    connect(ui->m_ConfirmBtn, &QPushButton::clicked, this, &CEditPortDlg::onModifyPort);
    connect(ui->m_pChkEnabled, &QCheckBox::stateChanged, this, &CEditPortDlg::onEnableChecked);

    const struct {
        CCheckCorretLineEdit* field;
        void (CEditPortDlg::*check)(QString);
        void (CEditPortDlg::*tip)(bool);
    } wiring[] = {
        {ui->m_HttpPortLineEdit, &CEditPortDlg::onUpdateHttpLine, &CEditPortDlg::onShowHttpTipWidget},
        {ui->m_VideoWallPortLineEdit, &CEditPortDlg::onUpdateVideoWallHttpLine, nullptr},
        {ui->m_TamsaLineEdit, &CEditPortDlg::onUpdateTamsaCMSLine, &CEditPortDlg::onShowTamsaTipWidget},
        {ui->m_pLineEditAlarm40Port, &CEditPortDlg::onUpdateTamsaAMSLine, &CEditPortDlg::onShowAMSTipWidget},
        {ui->m_pLineEditAlarm50Port, &CEditPortDlg::onUpdateTamsa50Line, &CEditPortDlg::onShowAMS50TipWidget},
        {ui->m_pLineEditImageServerPort, &CEditPortDlg::onUpdateTamsaSSLine, &CEditPortDlg::onShowTamsaSSTipWidget},
        {ui->m_pLineEditTamsaIP, &CEditPortDlg::onUpdateTamsaIPLine, &CEditPortDlg::onShowTamsaIPTipWidget},
        {ui->m_pLineEditTamsaVideoPort, &CEditPortDlg::onUpdateTamsaVideoPort, &CEditPortDlg::onShowTamsaVideoTipWidget},
        {ui->m_pLineEditTamsaVideoPortVIC, &CEditPortDlg::onUpdateTamsaVideoPortVIC, &CEditPortDlg::onShowTamsaVideoTipWidgetVIC},
        {ui->m_pLineEditTamsaAudioPort, &CEditPortDlg::onUpdateTamsaAudioPort, &CEditPortDlg::onShowTamsaAudioTipWidget},
        {ui->m_pLineEditTamsaPlaybackPort, &CEditPortDlg::onUpdateTamsaPlaybackPort, &CEditPortDlg::onShowTamsaPlaybackTipWidget},
    };
    for (const auto& w : wiring) {
        connect(w.field, &CCheckCorretLineEdit::signalText, this, w.check);
        if (w.tip) {
            connect(w.field, &CCheckCorretLineEdit::signalShowTip, this, w.tip);
        }
    }
    // The video wall and SMS fields have no tip slot of their own in the
    // dialog's interface: their bubbles are wired here.
    connect(ui->m_VideoWallPortLineEdit, &CCheckCorretLineEdit::signalShowTip, this,
            [this](bool bShow) { showTip(ui->m_VideoWallPortLineEdit, TipVideoWall, bShow); });
    connect(ui->m_pSMSPortLineEdit, &CCheckCorretLineEdit::signalShowTip, this,
            [this](bool bShow) { showTip(ui->m_pSMSPortLineEdit, TipSms, bShow); });

    claimedPorts = CCheckPort::instance().claimedPorts;

    for (int i = 0; i < TipCount; ++i) {
        CTipWidget* tip = new CTipWidget(nullptr);
        tip->hide();
        tipWidgets.append(tip);
    }
}

CEditPortDlg::~CEditPortDlg()
{
    qDeleteAll(tipWidgets);
    delete ui;
}

void CEditPortDlg::setCodeTexts()
{
    ui->m_CloseBtn->setText(tr("UndoMerge"));
    ui->m_HttpPortLabel->setText(tr("HTTPPortNo"));
    ui->m_WebServerLabel->setText(tr("TamsaPort"));
    ui->m_VideoWallPortLabel->setText(tr("VideoWallPortNo"));
    ui->m_pLabalSMSPort->setText(tr("SMSPortNo"));
    fitCaptions();
}

// All captions share one width, at least the form's 120 pixels and enough
// for the longest text of the current language; the upper rows and the
// lower grid are both centred, so their fields line up.
void CEditPortDlg::fitCaptions()
{
    const QList<QLabel*> captions{
        ui->m_HttpPortLabel, ui->m_VideoWallPortLabel, ui->m_pLabalSMSPort, ui->m_WebServerLabel,
        ui->m_pLabelEnabled, ui->m_pLabelTamsaIP, ui->m_pLabelAlarm40Port, ui->m_pLabelAlarm50Port,
        ui->m_pLabelImageServerPort, ui->m_pLabelTamsaVideoPort, ui->m_pLabelTamsaVideoPortVIC,
        ui->m_pLabelTamsaAudioPort, ui->m_pLabelTamsaPlaybackPort};
    int width = 120;
    for (QLabel* caption : captions) {
        caption->ensurePolished();
        width = qMax(width, caption->sizeHint().width());
    }
    for (QLabel* caption : captions)
        caption->setFixedWidth(width);
}

void CEditPortDlg::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setCodeTexts();
    }
    QDialog::changeEvent(event);
}

void CEditPortDlg::setClaimedPorts(const QMap<int, bool>& ports)
{
    claimedPorts = ports;
}

void CEditPortDlg::setHttpPortText(const QString& port)
{
    ui->m_HttpPortLineEdit->setText(port);
}

void CEditPortDlg::setVideoWallPortText(const QString& port)
{
    ui->m_VideoWallPortLineEdit->setText(port);
}

void CEditPortDlg::setVideoWallPortValue(int port)
{
    ui->m_VideoWallPortLineEdit->setText(QString::number(port, 10));
}

void CEditPortDlg::setSmsPortValue(int port)
{
    ui->m_pSMSPortLineEdit->setText(QString::number(port, 10));
}

void CEditPortDlg::setTamsaCMSPortText(const QString& port)
{
    ui->m_TamsaLineEdit->setText(port);
}

void CEditPortDlg::setTamsaAMSPortText(const QString& port)
{
    ui->m_pLineEditAlarm40Port->setText(port);
}

void CEditPortDlg::setTamsaMQTTPortText(const QString& port)
{
    ui->m_pLineEditAlarm50Port->setText(port);
}

void CEditPortDlg::setTamsaSSPortText(const QString& port)
{
    ui->m_pLineEditImageServerPort->setText(port);
}

void CEditPortDlg::setTamsaVideoPortText(const QString& port)
{
    ui->m_pLineEditTamsaVideoPort->setText(port);
}

void CEditPortDlg::setTamsaVideoVICPortText(const QString& port)
{
    ui->m_pLineEditTamsaVideoPortVIC->setText(port);
}

void CEditPortDlg::setTamsaAudioPortText(const QString& port)
{
    ui->m_pLineEditTamsaAudioPort->setText(port);
}

void CEditPortDlg::setTamsaPlaybackPortText(const QString& port)
{
    ui->m_pLineEditTamsaPlaybackPort->setText(port);
}

void CEditPortDlg::setExternIPAddress(const QString& ip)
{
    CCheckCorretLineEdit* field = ui->m_pLineEditTamsaIP;
    field->setFreeTextMode();
    if (ip == QLatin1String("0.0.0.0")) {
        field->clear();
        setTipText(TipIp, tr("IPAddressCannotBeEmpty"));
        field->setInvalid(true);
        return;
    }
    field->setText(ip);
}

void CEditPortDlg::setExternEnabled(bool enabled)
{
    ui->m_pChkEnabled->setChecked(enabled);
}

bool CEditPortDlg::isExternEnabled() const
{
    return ui->m_pChkEnabled->isChecked();
}

void CEditPortDlg::setExternRowsVisible(bool visible)
{
    QWidget* const block[] = {
        ui->m_pLabelEnabled, ui->m_pChkEnabled,
        ui->m_pLabelTamsaIP, ui->m_pLineEditTamsaIP,
        ui->m_pLabelAlarm40Port, ui->m_pLineEditAlarm40Port,
        ui->m_pLabelAlarm50Port, ui->m_pLineEditAlarm50Port,
        ui->m_pLabelImageServerPort, ui->m_pLineEditImageServerPort,
        ui->m_pLabelTamsaVideoPort, ui->m_pLineEditTamsaVideoPort,
        ui->m_pLabelTamsaVideoPortVIC, ui->m_pLineEditTamsaVideoPortVIC,
        ui->m_pLabelTamsaAudioPort, ui->m_pLineEditTamsaAudioPort,
        ui->m_pLabelTamsaPlaybackPort, ui->m_pLineEditTamsaPlaybackPort,
    };
    for (QWidget* w : block) {
        w->setVisible(visible);
    }
}

void CEditPortDlg::showHttpEqualsTamsaReason()
{
    ui->m_pLabelReason->setText(tr("HttpPortEqualsTamsaPort"));
}

void CEditPortDlg::getHttpAndCmsPorts(int& http, int& cms) const
{
    http = portValue(ui->m_HttpPortLineEdit);
    cms = portValue(ui->m_TamsaLineEdit);
}

void CEditPortDlg::getExternPorts(int& ams, int& mqtt, int& ss, int& video, int& vic,
                                  int& audio, int& playback) const
{
    ams = portValue(ui->m_pLineEditAlarm40Port);
    mqtt = portValue(ui->m_pLineEditAlarm50Port);
    ss = portValue(ui->m_pLineEditImageServerPort);
    video = portValue(ui->m_pLineEditTamsaVideoPort);
    vic = portValue(ui->m_pLineEditTamsaVideoPortVIC);
    audio = portValue(ui->m_pLineEditTamsaAudioPort);
    playback = portValue(ui->m_pLineEditTamsaPlaybackPort);
}

void CEditPortDlg::setPorts(const PortValues& values)
{
    const auto text = [&](ServicePort port) { return QString::number(values[port]); };
    setTamsaCMSPortText(text(ServicePort::TamsaCMS));
    setTamsaAMSPortText(text(ServicePort::TamsaAMS));
    setTamsaMQTTPortText(text(ServicePort::TamsaMQTT));
    setTamsaSSPortText(text(ServicePort::TamsaSS));
    setTamsaVideoPortText(text(ServicePort::TamsaVideo));
    setTamsaVideoVICPortText(text(ServicePort::TamsaVideoVIC));
    setTamsaAudioPortText(text(ServicePort::TamsaAudio));
    setTamsaPlaybackPortText(text(ServicePort::TamsaPlayback));
    setVideoWallPortValue(values[ServicePort::VideoWall]);
    setSmsPortValue(values[ServicePort::Rtsp]);
    setHttpPortText(text(ServicePort::Http));
}

PortValues CEditPortDlg::shownValues() const
{
    PortValues values;
    values.productType = portConfig().productType;
    getHttpAndCmsPorts(values[ServicePort::Http], values[ServicePort::TamsaCMS]);
    getExternPorts(values[ServicePort::TamsaAMS], values[ServicePort::TamsaMQTT], values[ServicePort::TamsaSS],
                   values[ServicePort::TamsaVideo], values[ServicePort::TamsaVideoVIC],
                   values[ServicePort::TamsaAudio], values[ServicePort::TamsaPlayback]);
    values[ServicePort::VideoWall] = portValue(ui->m_VideoWallPortLineEdit);
    values[ServicePort::Rtsp] = portValue(ui->m_pSMSPortLineEdit);
    values.externEnabled = isExternEnabled();
    values.externIPAddress = ui->m_pLineEditTamsaIP->text().toStdString();
    return values;
}

void CEditPortDlg::setTipText(int tip, const QString& text)
{
    if (tip >= 0 && tip < tipWidgets.size() && tipWidgets.at(tip)) {
        tipWidgets.at(tip)->setText(text);
    }
}

void CEditPortDlg::markValid(CCheckCorretLineEdit* field, int tip)
{
    field->setInvalid(false);
    if (tip >= 0 && tip < tipWidgets.size()) {
        tipWidgets.at(tip)->hide();
    }
}

void CEditPortDlg::setHttpTipText(const QString& text) { setTipText(TipHttp, text); }
void CEditPortDlg::setTamsaTipText(const QString& text) { setTipText(TipTamsa, text); }
void CEditPortDlg::setAMSTipText(const QString& text) { setTipText(TipAms, text); }
void CEditPortDlg::setAMS50TipText(const QString& text) { setTipText(TipAms50, text); }
void CEditPortDlg::setTamsaSSTipText(const QString& text) { setTipText(TipSs, text); }
void CEditPortDlg::setTamsaIPTipText(const QString& text) { setTipText(TipIp, text); }
void CEditPortDlg::setTamsaVideoTipText(const QString& text) { setTipText(TipVideo, text); }
void CEditPortDlg::setTamsaVideoVICTipText(const QString& text) { setTipText(TipVideoVic, text); }
void CEditPortDlg::setTamsaAudioTipText(const QString& text) { setTipText(TipAudio, text); }
void CEditPortDlg::setTamsaPlaybackTipText(const QString& text) { setTipText(TipPlayback, text); }

bool CEditPortDlg::isDuplicatePort(const QString& value, int fieldId) const
{
    QStringList others;
    if (fieldId != kHttpFieldId) {
        others << ui->m_HttpPortLineEdit->text();
    }
    // The HTTP port may never equal the TamsaCMS port, shown or not.
    if (fieldId == kHttpFieldId) {
        others << ui->m_TamsaLineEdit->text();
    }
    if (fieldId != kVideoWallFieldId) {
        others << ui->m_VideoWallPortLineEdit->text();
    }
    if (fieldId != kSmsFieldId) {
        others << ui->m_pSMSPortLineEdit->text();
    }
    return others.contains(value, Qt::CaseSensitive);
}

bool CEditPortDlg::isValidIPv4(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 4) {
        return false;
    }
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const uint value = parts.at(i).toUInt(&ok, 10);
        if (!ok || value > 255) {
            return false;
        }
        if (i == 0 && (value < 1 || value > 222)) {
            return false;
        }
    }
    return true;
}

void CEditPortDlg::checkPortField(CCheckCorretLineEdit* field, int tip, const QString& strPort,
                                  int fieldId)
{
    if (field->text().isEmpty()) {
        setTipText(tip, tr("PortNumberCannotBeEmpty"));
        field->setInvalid(true);
        return;
    }
    if (fieldId != kNoDuplicateTest && isDuplicatePort(field->text(), fieldId)) {
        setTipText(tip, tr("PortCantNotBeTheSame"));
        field->setInvalid(true);
        return;
    }
    const int port = strPort.toInt(nullptr, 10);
    if (claimedPorts.contains(port)) {
        setTipText(tip, tr("PortCantNotBeTheSame"));
        field->setInvalid(true);
        return;
    }
    QString processName;
    if (CCheckPort::instance().IsPortUsed(static_cast<unsigned int>(port), processName)) {
        if (!processName.isEmpty()) {
            setTipText(tip, tr("TheWebServersPort%1IsOccupiedBy%2ChangeItToOtherValue")
                                .arg(strPort, processName));
        } else {
            setTipText(tip, tr("PortIsOccupied"));
        }
        field->setInvalid(true);
        return;
    }
    markValid(field, tip);
}

void CEditPortDlg::onCloseDialog()
{
    reject();
}

void CEditPortDlg::onUpdateHttpLine(QString strPort)
{
    checkPortField(ui->m_HttpPortLineEdit, TipHttp, strPort, kHttpFieldId);
}

void CEditPortDlg::onUpdateVideoWallHttpLine(QString strPort)
{
    checkPortField(ui->m_VideoWallPortLineEdit, TipVideoWall, strPort, kNoDuplicateTest);
}

void CEditPortDlg::onUpdateTamsaCMSLine(QString strPort)
{
    checkPortField(ui->m_TamsaLineEdit, TipTamsa, strPort, kTamsaCmsFieldId);
}

void CEditPortDlg::onUpdateTamsaAMSLine(QString strPort)
{
    checkPortField(ui->m_pLineEditAlarm40Port, TipAms, strPort, kAmsFieldId);
}

void CEditPortDlg::onUpdateTamsa50Line(QString strPort)
{
    checkPortField(ui->m_pLineEditAlarm50Port, TipAms50, strPort, kMqttFieldId);
}

void CEditPortDlg::onUpdateTamsaSSLine(QString strPort)
{
    checkPortField(ui->m_pLineEditImageServerPort, TipSs, strPort, kSsFieldId);
}

void CEditPortDlg::onUpdateTamsaIPLine(QString strIP)
{
    Q_UNUSED(strIP);
    CCheckCorretLineEdit* field = ui->m_pLineEditTamsaIP;
    const QString text = field->text();
    if (text.isEmpty()) {
        setTipText(TipIp, tr("IPAddressCannotBeEmpty"));
        field->setInvalid(true);
    } else if (isValidIPv4(text)) {
        markValid(field, TipIp);
    } else {
        setTipText(TipIp, tr("InvalidIPAddress"));
        field->setInvalid(true);
    }
}

void CEditPortDlg::onUpdateTamsaVideoPort(QString strPort)
{
    checkPortField(ui->m_pLineEditTamsaVideoPort, TipVideo, strPort, kVideoFieldId);
}

void CEditPortDlg::onUpdateTamsaVideoPortVIC(QString strPort)
{
    checkPortField(ui->m_pLineEditTamsaVideoPortVIC, TipVideoVic, strPort, kVideoVicFieldId);
}

void CEditPortDlg::onUpdateTamsaAudioPort(QString strPort)
{
    checkPortField(ui->m_pLineEditTamsaAudioPort, TipAudio, strPort, kAudioFieldId);
}

void CEditPortDlg::onUpdateTamsaPlaybackPort(QString strPort)
{
    checkPortField(ui->m_pLineEditTamsaPlaybackPort, TipPlayback, strPort, kPlaybackFieldId);
}

void CEditPortDlg::showTip(CCheckCorretLineEdit* field, int tip, bool bShow)
{
    if (tip < 0 || tip >= tipWidgets.size()) {
        return;
    }
    CTipWidget* bubble = tipWidgets.at(tip);
    if (!bShow || field->isValid()) {
        bubble->hide();
        return;
    }
    // Left of the field, the bubble's arrow pointing at the field's middle.
    const QPoint topLeft = field->mapTo(this, QPoint(0, 0));
    const QPoint at(topLeft.x() - bubble->width(),
                    topLeft.y() + (field->height() - bubble->height()) / 2);
    bubble->move(mapToGlobal(at));
    bubble->show();
}

void CEditPortDlg::onShowHttpTipWidget(bool bShow)
{
    showTip(ui->m_HttpPortLineEdit, TipHttp, bShow);
}

void CEditPortDlg::onShowTamsaTipWidget(bool bShow)
{
    showTip(ui->m_TamsaLineEdit, TipTamsa, bShow);
}

void CEditPortDlg::onShowAMSTipWidget(bool bShow)
{
    showTip(ui->m_pLineEditAlarm40Port, TipAms, bShow);
}

void CEditPortDlg::onShowAMS50TipWidget(bool bShow)
{
    showTip(ui->m_pLineEditAlarm50Port, TipAms50, bShow);
}

void CEditPortDlg::onShowTamsaSSTipWidget(bool bShow)
{
    showTip(ui->m_pLineEditImageServerPort, TipSs, bShow);
}

void CEditPortDlg::onShowTamsaIPTipWidget(bool bShow)
{
    showTip(ui->m_pLineEditTamsaIP, TipIp, bShow);
}

void CEditPortDlg::onShowTamsaVideoTipWidget(bool bShow)
{
    showTip(ui->m_pLineEditTamsaVideoPort, TipVideo, bShow);
}

void CEditPortDlg::onShowTamsaVideoTipWidgetVIC(bool bShow)
{
    showTip(ui->m_pLineEditTamsaVideoPortVIC, TipVideoVic, bShow);
}

void CEditPortDlg::onShowTamsaAudioTipWidget(bool bShow)
{
    showTip(ui->m_pLineEditTamsaAudioPort, TipAudio, bShow);
}

void CEditPortDlg::onShowTamsaPlaybackTipWidget(bool bShow)
{
    showTip(ui->m_pLineEditTamsaPlaybackPort, TipPlayback, bShow);
}

void CEditPortDlg::onEnableChecked()
{
    const bool checked = ui->m_pChkEnabled->isChecked();
    setFixedHeight(checked ? kHeightExtern : kHeightPlain);

    QWidget* const rows[] = {
        ui->m_pLabelTamsaIP, ui->m_pLineEditTamsaIP,
        ui->m_pLabelAlarm40Port, ui->m_pLineEditAlarm40Port,
        ui->m_pLabelAlarm50Port, ui->m_pLineEditAlarm50Port,
        ui->m_pLabelImageServerPort, ui->m_pLineEditImageServerPort,
        ui->m_pLabelTamsaVideoPortVIC, ui->m_pLineEditTamsaVideoPortVIC,
        ui->m_pLabelTamsaAudioPort, ui->m_pLineEditTamsaAudioPort,
    };
    for (QWidget* w : rows) {
        w->setVisible(checked);
    }

    QWidget* const productZeroRows[] = {
        ui->m_pLabelTamsaVideoPort, ui->m_pLineEditTamsaVideoPort,
        ui->m_pLabelTamsaPlaybackPort, ui->m_pLineEditTamsaPlaybackPort,
    };
    const bool video = servesVideo(portConfig().productType);
    for (QWidget* w : productZeroRows) {
        w->setVisible(video && checked);
    }
}

bool CEditPortDlg::checkRequiredPort(CCheckCorretLineEdit* field)
{
    const QString text = field->text();
    const int tip = field == ui->m_pSMSPortLineEdit ? TipSms : TipVideoWall;
    if (Base::StringUtil::ParsePort(text.toStdString()) != -1) {
        // The SMS field has no live check: a corrected value loses its mark
        // here. The video wall field keeps what its live check decided.
        if (tip == TipSms) {
            markValid(field, tip);
        }
        return true;
    }
    setTipText(tip, text.isEmpty() ? tr("PortNumberCannotBeEmpty")
                                       : tr("PortNumberMustBeFrom1To65535"));
    field->setInvalid(true);
    return false;
}

// Nothing is written while a required field is invalid: the dialog stays
// open with the fields marked.
bool CEditPortDlg::requiredFieldsValid()
{
    const int productType = portConfig().productType;
    const bool httpOnly = choosesHttpOnly(productType);
    bool valid = checkRequiredPort(ui->m_VideoWallPortLineEdit);
    if (!httpOnly)
        valid = checkRequiredPort(ui->m_pSMSPortLineEdit) && valid;
    if (!valid || !ui->m_HttpPortLineEdit->isValid() || (!httpOnly && !ui->m_TamsaLineEdit->isValid()))
        return false;
    if (httpOnly || !isExternEnabled())
        return true;
    QList<CCheckCorretLineEdit*> required = {
        ui->m_pLineEditAlarm40Port, ui->m_pLineEditAlarm50Port,      ui->m_pLineEditImageServerPort,
        ui->m_pLineEditTamsaIP,     ui->m_pLineEditTamsaVideoPortVIC, ui->m_pLineEditTamsaAudioPort,
    };
    if (servesVideo(productType))
        required << ui->m_pLineEditTamsaVideoPort << ui->m_pLineEditTamsaPlaybackPort;
    for (const CCheckCorretLineEdit* field : required) {
        if (!field->isValid())
            return false;
    }
    return true;
}

void CEditPortDlg::onModifyPort()
{
    if (!requiredFieldsValid())
        return;
    switch (CPortApply(portConfig(), CSmsPlugin::configPath()).apply(shownValues())) {
    case CPortApply::Result::Unchanged:
        reject();
        return;
    case CPortApply::Result::Applied:
        accept();
        return;
    case CPortApply::Result::Failed:
        // Nothing restarts and the dialog stays open, so the user may try
        // again or cancel.
        CWaringDlg notice(this);
        notice.setTitleText(tr("Caution"));
        notice.setConfirmOnly(true);
        notice.setWaringText(tr("PortSettingsNotSaved"));
        notice.exec();
        return;
    }
}

void CEditPortDlg::mousePressEvent(QMouseEvent* event)
{
    drag.press(this, event);
}

void CEditPortDlg::mouseMoveEvent(QMouseEvent* event)
{
    drag.move(this, event);
}

void CEditPortDlg::mouseReleaseEvent(QMouseEvent* event)
{
    drag.release(event);
}

} // namespace serverframework
