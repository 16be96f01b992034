#include "EditPortDlg.h"

#include "ui_EditPortDlg.h"

#include "CheckCorretLineEdit.h"
#include "DialogPlacement.h"
#include "RightTipButton.h"
#include "StyleSheet.h"
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
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPushButton>

#include <algorithm>
#include <climits>

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
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint)
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

    setStyleSheet(skinStyleSheet());
    fitCaptions(); // in the style sheet's font

    connect(ui->m_TitleCloseBtn, &QPushButton::clicked, this, &CEditPortDlg::onCloseDialog);
    connect(ui->m_CloseBtn, &QPushButton::clicked, this, &CEditPortDlg::onCloseDialog);
    connect(ui->m_ConfirmBtn, &QPushButton::clicked, this, &CEditPortDlg::onModifyPort);
    connect(ui->m_pChkEnabled, &QCheckBox::stateChanged, this, &CEditPortDlg::onEnableChecked);

    portFields = {
        {ui->m_HttpPortLineEdit, kHttpFieldId, TipHttp, true, true},
        {ui->m_TamsaLineEdit, kTamsaCmsFieldId, TipTamsa, true, true},
        {ui->m_pLineEditAlarm40Port, kAmsFieldId, TipAms, false, true},
        {ui->m_pLineEditAlarm50Port, kMqttFieldId, TipAms50, false, true},
        {ui->m_pLineEditImageServerPort, kSsFieldId, TipSs, false, true},
        {ui->m_pLineEditTamsaVideoPort, kVideoFieldId, TipVideo, false, true},
        {ui->m_pLineEditTamsaVideoPortVIC, kVideoVicFieldId, TipVideoVic, false, true},
        {ui->m_pLineEditTamsaAudioPort, kAudioFieldId, TipAudio, false, true},
        {ui->m_pLineEditTamsaPlaybackPort, kPlaybackFieldId, TipPlayback, false, true},
        {ui->m_VideoWallPortLineEdit, kVideoWallFieldId, TipVideoWall, true, true},
        {ui->m_pSMSPortLineEdit, kSmsFieldId, TipSms, true, false},
    };
    const struct
    {
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
        {ui->m_pLineEditTamsaVideoPort, &CEditPortDlg::onUpdateTamsaVideoPort,
         &CEditPortDlg::onShowTamsaVideoTipWidget},
        {ui->m_pLineEditTamsaVideoPortVIC, &CEditPortDlg::onUpdateTamsaVideoPortVIC,
         &CEditPortDlg::onShowTamsaVideoTipWidgetVIC},
        {ui->m_pLineEditTamsaAudioPort, &CEditPortDlg::onUpdateTamsaAudioPort,
         &CEditPortDlg::onShowTamsaAudioTipWidget},
        {ui->m_pLineEditTamsaPlaybackPort, &CEditPortDlg::onUpdateTamsaPlaybackPort,
         &CEditPortDlg::onShowTamsaPlaybackTipWidget},
    };
    for (const auto& w : wiring) {
        connect(w.field, &CCheckCorretLineEdit::signalText, this, w.check);
        if (w.tip) {
            connect(w.field, &CCheckCorretLineEdit::signalShowTip, this, w.tip);
        }
    }
    // The SMS field has no slot of its own in the dialog's interface, the
    // video wall and SMS fields no tip slot: wired here.
    connect(ui->m_pSMSPortLineEdit, &CCheckCorretLineEdit::signalText, this, [this] { onPortChanged(kSmsFieldId); });
    connect(ui->m_VideoWallPortLineEdit, &CCheckCorretLineEdit::signalShowTip, this,
            [this](bool bShow) { showTip(ui->m_VideoWallPortLineEdit, TipVideoWall, bShow); });
    connect(ui->m_pSMSPortLineEdit, &CCheckCorretLineEdit::signalShowTip, this,
            [this](bool bShow) { showTip(ui->m_pSMSPortLineEdit, TipSms, bShow); });

    claimedPorts = CCheckPort::instance().claimedPorts;

    tipFields.fill(nullptr, TipCount);
    for (const PortField& f : qAsConst(portFields))
        tipFields[f.tip] = f.field;
    tipFields[TipIp] = ui->m_pLineEditTamsaIP;
    reasons.resize(TipCount);
    pinned.fill(false, TipCount);
    refusal.fill(false, TipCount);
    for (int i = 0; i < TipCount; ++i) {
        // A window of its own, kept above the dialog by the window manager.
        CTipWidget* tip = new CTipWidget(this);
        tip->hide();
        tipWidgets.append(tip);
        CCheckCorretLineEdit* field = tipFields.at(i);
        connect(field, &CCheckCorretLineEdit::signalInputRefused, this,
                [this, i](const QString& attempt) { onInputRefused(i, attempt); });
        connect(field, &CCheckCorretLineEdit::signalFocusOut, this, [this, field, i] { onFocusOut(field, i); });
    }
}

CEditPortDlg::~CEditPortDlg()
{
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
        ui->m_HttpPortLabel,          ui->m_VideoWallPortLabel,      ui->m_pLabalSMSPort,
        ui->m_WebServerLabel,         ui->m_pLabelEnabled,           ui->m_pLabelTamsaIP,
        ui->m_pLabelAlarm40Port,      ui->m_pLabelAlarm50Port,       ui->m_pLabelImageServerPort,
        ui->m_pLabelTamsaVideoPort,   ui->m_pLabelTamsaVideoPortVIC, ui->m_pLabelTamsaAudioPort,
        ui->m_pLabelTamsaPlaybackPort};
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
        recheckAll(); // the reasons in the new language
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
        setReason(field, TipIp, tr("IPAddressCannotBeEmpty"));
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
        ui->m_pLabelEnabled,           ui->m_pChkEnabled,
        ui->m_pLabelTamsaIP,           ui->m_pLineEditTamsaIP,
        ui->m_pLabelAlarm40Port,       ui->m_pLineEditAlarm40Port,
        ui->m_pLabelAlarm50Port,       ui->m_pLineEditAlarm50Port,
        ui->m_pLabelImageServerPort,   ui->m_pLineEditImageServerPort,
        ui->m_pLabelTamsaVideoPort,    ui->m_pLineEditTamsaVideoPort,
        ui->m_pLabelTamsaVideoPortVIC, ui->m_pLineEditTamsaVideoPortVIC,
        ui->m_pLabelTamsaAudioPort,    ui->m_pLineEditTamsaAudioPort,
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

void CEditPortDlg::showHttpPortHeldReason(int port, const QString& holder)
{
    ui->m_pLabelReason->setText(holder.isEmpty() ? tr("HttpPort%1CannotBeUsed").arg(port)
                                                 : tr("HttpPort%1IsHeldBy%2").arg(port).arg(holder));
}

void CEditPortDlg::getHttpAndCmsPorts(int& http, int& cms) const
{
    http = portValue(ui->m_HttpPortLineEdit);
    cms = portValue(ui->m_TamsaLineEdit);
}

void CEditPortDlg::getExternPorts(int& ams, int& mqtt, int& ss, int& video, int& vic, int& audio, int& playback) const
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
                   values[ServicePort::TamsaVideo], values[ServicePort::TamsaVideoVIC], values[ServicePort::TamsaAudio],
                   values[ServicePort::TamsaPlayback]);
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
        layoutTips();
    }
}

void CEditPortDlg::setHttpTipText(const QString& text)
{
    setTipText(TipHttp, text);
}
void CEditPortDlg::setTamsaTipText(const QString& text)
{
    setTipText(TipTamsa, text);
}
void CEditPortDlg::setAMSTipText(const QString& text)
{
    setTipText(TipAms, text);
}
void CEditPortDlg::setAMS50TipText(const QString& text)
{
    setTipText(TipAms50, text);
}
void CEditPortDlg::setTamsaSSTipText(const QString& text)
{
    setTipText(TipSs, text);
}
void CEditPortDlg::setTamsaIPTipText(const QString& text)
{
    setTipText(TipIp, text);
}
void CEditPortDlg::setTamsaVideoTipText(const QString& text)
{
    setTipText(TipVideo, text);
}
void CEditPortDlg::setTamsaVideoVICTipText(const QString& text)
{
    setTipText(TipVideoVic, text);
}
void CEditPortDlg::setTamsaAudioTipText(const QString& text)
{
    setTipText(TipAudio, text);
}
void CEditPortDlg::setTamsaPlaybackTipText(const QString& text)
{
    setTipText(TipPlayback, text);
}

const CEditPortDlg::PortField& CEditPortDlg::portField(int id) const
{
    for (const PortField& f : portFields) {
        if (f.id == id)
            return f;
    }
    return portFields.front();
}

bool CEditPortDlg::isDuplicatePort(const QString& value, int fieldId) const
{
    const bool main = portField(fieldId).main;
    for (const PortField& other : portFields) {
        if (other.id != fieldId && (main || other.main) && other.field->text() == value)
            return true;
    }
    return false;
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

void CEditPortDlg::setReason(CCheckCorretLineEdit* field, int tip, const QString& reason)
{
    reasons[tip] = reason;
    field->setInvalid(!reason.isEmpty());
    if (refusal.at(tip))
        return; // a refused input stays shown until the field loses the focus
    if (reason.isEmpty()) {
        pinned[tip] = false;
        tipWidgets.at(tip)->hide();
    }
    setTipText(tip, reason);
}

void CEditPortDlg::checkPort(const PortField& f)
{
    const QString text = f.field->text();
    checkedTexts[f.id] = text;
    const int port = Base::StringUtil::ParsePort(text.toStdString());
    QString reason;
    QString holder;
    if (text.isEmpty())
        reason = tr("PortNumberCannotBeEmpty");
    else if (port < 0)
        reason = tr("PortNumberMustBeFrom1To65535");
    else if (isDuplicatePort(text, f.id) || claimedPorts.contains(port))
        reason = tr("PortCantNotBeTheSame");
    else if (f.testsHeld && CCheckPort::instance().IsPortUsed(static_cast<unsigned int>(port), holder))
        reason = holder.isEmpty() ? tr("PortIsOccupied")
                                  : tr("TheWebServersPort%1IsOccupiedBy%2ChangeItToOtherValue").arg(text, holder);
    setReason(f.field, f.tip, reason);
}

void CEditPortDlg::onPortChanged(int id)
{
    const PortField& changed = portField(id);
    const QString before = checkedTexts.value(id);
    checkPort(changed);
    // A duplicate marks both fields, and clears on both.
    for (const PortField& other : qAsConst(portFields)) {
        const QString text = other.field->text();
        if (other.id != id && (changed.main || other.main) && !text.isEmpty()
            && (text == before || text == changed.field->text()))
            checkPort(other);
    }
}

void CEditPortDlg::checkIp()
{
    const QString text = ui->m_pLineEditTamsaIP->text();
    setReason(ui->m_pLineEditTamsaIP, TipIp,
              text.isEmpty()      ? tr("IPAddressCannotBeEmpty")
              : isValidIPv4(text) ? QString()
                                  : tr("InvalidIPAddress"));
}

void CEditPortDlg::recheckAll()
{
    for (const PortField& f : qAsConst(portFields))
        checkPort(f);
    checkIp();
}

void CEditPortDlg::onCloseDialog()
{
    reject();
}

void CEditPortDlg::onUpdateHttpLine(QString /*strPort*/)
{
    onPortChanged(kHttpFieldId);
}

void CEditPortDlg::onUpdateVideoWallHttpLine(QString /*strPort*/)
{
    onPortChanged(kVideoWallFieldId);
}

void CEditPortDlg::onUpdateTamsaCMSLine(QString /*strPort*/)
{
    onPortChanged(kTamsaCmsFieldId);
}

void CEditPortDlg::onUpdateTamsaAMSLine(QString /*strPort*/)
{
    onPortChanged(kAmsFieldId);
}

void CEditPortDlg::onUpdateTamsa50Line(QString /*strPort*/)
{
    onPortChanged(kMqttFieldId);
}

void CEditPortDlg::onUpdateTamsaSSLine(QString /*strPort*/)
{
    onPortChanged(kSsFieldId);
}

void CEditPortDlg::onUpdateTamsaIPLine(QString /*strIP*/)
{
    checkIp();
}

void CEditPortDlg::onUpdateTamsaVideoPort(QString /*strPort*/)
{
    onPortChanged(kVideoFieldId);
}

void CEditPortDlg::onUpdateTamsaVideoPortVIC(QString /*strPort*/)
{
    onPortChanged(kVideoVicFieldId);
}

void CEditPortDlg::onUpdateTamsaAudioPort(QString /*strPort*/)
{
    onPortChanged(kAudioFieldId);
}

void CEditPortDlg::onUpdateTamsaPlaybackPort(QString /*strPort*/)
{
    onPortChanged(kPlaybackFieldId);
}

void CEditPortDlg::showTip(CCheckCorretLineEdit* field, int tip, bool bShow)
{
    if (tip < 0 || tip >= tipWidgets.size() || pinned.at(tip)) {
        return;
    }
    CTipWidget* bubble = tipWidgets.at(tip);
    bubble->setVisible(bShow && !field->isValid());
    layoutTips();
}

void CEditPortDlg::pinTip(int tip, const QString& text)
{
    pinned[tip] = true;
    tipWidgets.at(tip)->setText(text);
    tipWidgets.at(tip)->show();
    layoutTips();
}

void CEditPortDlg::onInputRefused(int tip, const QString& attempt)
{
    refusal[tip] = true;
    pinTip(tip, tr("PortInput%1Refused").arg(attempt));
}

void CEditPortDlg::onFocusOut(CCheckCorretLineEdit* field, int tip)
{
    refusal[tip] = false;
    if (!field->isValid()) {
        pinTip(tip, reasons.at(tip));
        return;
    }
    pinned[tip] = false;
    tipWidgets.at(tip)->hide();
}

// Right of the field's mark, the arrow at the field's middle; a bubble that
// would cover the one above moves down below it.
void CEditPortDlg::layoutTips()
{
    QList<int> shown;
    for (int tip = 0; tip < tipWidgets.size(); ++tip) {
        if (tipWidgets.at(tip)->isVisible())
            shown << tip;
    }
    std::sort(shown.begin(), shown.end(), [this](int a, int b) {
        return tipFields.at(a)->mapTo(this, QPoint()).y() < tipFields.at(b)->mapTo(this, QPoint()).y();
    });
    int below = INT_MIN;
    for (const int tip : qAsConst(shown)) {
        CTipWidget* bubble = tipWidgets.at(tip);
        const QWidget* mark = tipFields.at(tip)->tipButton();
        const QPoint at =
            mapToGlobal(mark->mapTo(this, QPoint(mark->width(), (mark->height() - bubble->height()) / 2)));
        const QPoint placed(at.x() + 2, std::max(at.y(), below + 2));
        bubble->move(placed);
        below = placed.y() + bubble->height();
    }
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
        ui->m_pLabelTamsaIP,           ui->m_pLineEditTamsaIP,
        ui->m_pLabelAlarm40Port,       ui->m_pLineEditAlarm40Port,
        ui->m_pLabelAlarm50Port,       ui->m_pLineEditAlarm50Port,
        ui->m_pLabelImageServerPort,   ui->m_pLineEditImageServerPort,
        ui->m_pLabelTamsaVideoPortVIC, ui->m_pLineEditTamsaVideoPortVIC,
        ui->m_pLabelTamsaAudioPort,    ui->m_pLineEditTamsaAudioPort,
    };
    for (QWidget* w : rows) {
        w->setVisible(checked);
    }

    QWidget* const productZeroRows[] = {
        ui->m_pLabelTamsaVideoPort,
        ui->m_pLineEditTamsaVideoPort,
        ui->m_pLabelTamsaPlaybackPort,
        ui->m_pLineEditTamsaPlaybackPort,
    };
    const bool video = servesVideo(portConfig().productType);
    for (QWidget* w : productZeroRows) {
        w->setVisible(video && checked);
    }
}

QList<CCheckCorretLineEdit*> CEditPortDlg::requiredFields() const
{
    const int productType = portConfig().productType;
    if (choosesHttpOnly(productType))
        return {ui->m_HttpPortLineEdit, ui->m_VideoWallPortLineEdit};
    QList<CCheckCorretLineEdit*> required{ui->m_HttpPortLineEdit, ui->m_TamsaLineEdit, ui->m_VideoWallPortLineEdit,
                                          ui->m_pSMSPortLineEdit};
    if (isExternEnabled()) {
        required << ui->m_pLineEditAlarm40Port << ui->m_pLineEditAlarm50Port << ui->m_pLineEditImageServerPort
                 << ui->m_pLineEditTamsaIP << ui->m_pLineEditTamsaVideoPortVIC << ui->m_pLineEditTamsaAudioPort;
        if (servesVideo(productType))
            required << ui->m_pLineEditTamsaVideoPort << ui->m_pLineEditTamsaPlaybackPort;
    }
    return required;
}

// The ports are checked once more against what the machine holds now; while
// a required field is invalid nothing is written, the dialog stays open and
// every invalid field shows why.
void CEditPortDlg::onModifyPort()
{
    CCheckPort::instance().refreshSnapshot();
    recheckAll();
    bool refused = false;
    for (CCheckCorretLineEdit* field : requiredFields()) {
        if (field->isValid())
            continue;
        const int tip = tipFields.indexOf(field);
        if (field == ui->m_TamsaLineEdit) { // never shown: said above the fields
            ui->m_pLabelReason->setText(ui->m_WebServerLabel->text() + QStringLiteral(": ") + reasons.at(tip));
        } else {
            refusal[tip] = false;
            pinTip(tip, reasons.at(tip));
            if (!refused)
                field->lineEdit()->setFocus();
        }
        refused = true;
    }
    if (refused)
        return;
    switch (CPortApply(portConfig(), CSmsPlugin::configPath()).apply(shownValues())) {
    case CPortApply::Result::Unchanged: reject(); return;
    case CPortApply::Result::Applied: accept(); return;
    case CPortApply::Result::Failed:
        // Nothing restarts and the dialog stays open, so the user may try
        // again or cancel.
        CWaringDlg notice(this);
        notice.setTitleText(tr("Caution"));
        notice.setConfirmOnly(true);
        notice.setWaringText(tr("PortSettingsNotSaved"));
        placeDialog(&notice, this);
        notice.exec();
        return;
    }
}

void CEditPortDlg::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    layoutTips();
}

void CEditPortDlg::hideEvent(QHideEvent* event)
{
    for (CTipWidget* tip : qAsConst(tipWidgets))
        tip->hide();
    QDialog::hideEvent(event);
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
