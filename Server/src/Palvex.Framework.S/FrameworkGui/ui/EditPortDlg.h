#pragma once
// The port settings dialog: every port of the hosted services, checked live
// against the other main fields, the claimed ports and the machine's ports in
// use; its confirm button checks them once more against the ports in use now
// and writes what changed (onModifyPort). Why a field is refused shows in a
// bubble beside it: while the mouse is over its mark, and without the mouse
// when the field loses the focus, when confirm is pressed, and at once when
// typing is refused.

#include "FramelessDrag.h"
#include "logical/PortValues.h"

#include <QDialog>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>

class QEvent;
class QHideEvent;
class QMouseEvent;
class QMoveEvent;

namespace Ui {
class EditPortDlg;
}

namespace serverframework {

class CCheckCorretLineEdit;
class CTipWidget;

class CEditPortDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CEditPortDlg(QWidget* parent = nullptr);
    ~CEditPortDlg() override;

    // Replaces the claimed ports; call it before the fillers, which run the checks.
    void setClaimedPorts(const QMap<int, bool>& ports);

    // Fillers: each sets the field's text, which runs the field's live check.
    void setHttpPortText(const QString& port);
    void setVideoWallPortText(const QString& port);
    void setVideoWallPortValue(int port);
    void setSmsPortValue(int port);
    void setTamsaCMSPortText(const QString& port);
    void setTamsaAMSPortText(const QString& port);
    void setTamsaMQTTPortText(const QString& port);
    void setTamsaSSPortText(const QString& port);
    void setTamsaVideoPortText(const QString& port);
    void setTamsaVideoVICPortText(const QString& port);
    void setTamsaAudioPortText(const QString& port);
    void setTamsaPlaybackPortText(const QString& port);
    void setExternIPAddress(const QString& ip);

    void setExternEnabled(bool enabled);
    bool isExternEnabled() const;
    // Shows or hides the whole external-access block (check box, IP and ports).
    void setExternRowsVisible(bool visible);
    // Says above the fields that the HTTP port equals the hidden TamsaCMS port.
    void showHttpEqualsTamsaReason();
    // Says above the fields that the configured HTTP port cannot be used at
    // start: held by holder (empty when no program could be named).
    void showHttpPortHeldReason(int port, const QString& holder);

    void getHttpAndCmsPorts(int& http, int& cms) const;
    void getExternPorts(int& ams, int& mqtt, int& ss, int& video, int& vic, int& audio, int& playback) const;

    // Fills every port field: TamsaCMS and the external-access ports first,
    // then the video wall and SMS ports, and the HTTP port last, so that its
    // check sees the fields it must differ from.
    void setPorts(const PortValues& values);
    // What the fields and the check box hold now.
    PortValues shownValues() const;

    // Bubble texts, bubbles 1 to 10.
    void setHttpTipText(const QString& text);
    void setTamsaTipText(const QString& text);
    void setAMSTipText(const QString& text);
    void setAMS50TipText(const QString& text);
    void setTamsaSSTipText(const QString& text);
    void setTamsaIPTipText(const QString& text);
    void setTamsaVideoTipText(const QString& text);
    void setTamsaVideoVICTipText(const QString& text);
    void setTamsaAudioTipText(const QString& text);
    void setTamsaPlaybackTipText(const QString& text);

    // True when value equals the text of another port field that must differ
    // from field fieldId: the HTTP (id 0), TamsaCMS (1), video wall (9) and
    // SMS (10) fields differ from every port field, the device-access fields
    // (2 to 8) from those four only.
    bool isDuplicatePort(const QString& value, int fieldId) const;
    // Four dot-separated parts of 0..255, the first one 1..222.
    static bool isValidIPv4(const QString& text);

public slots:
    void onCloseDialog();
    void onModifyPort();
    void onUpdateHttpLine(QString strPort);
    void onUpdateVideoWallHttpLine(QString strPort);
    void onUpdateTamsaCMSLine(QString strPort);
    void onUpdateTamsaAMSLine(QString strPort);
    void onUpdateTamsa50Line(QString strPort);
    void onUpdateTamsaSSLine(QString strPort);
    void onUpdateTamsaIPLine(QString strIP);
    void onUpdateTamsaVideoPort(QString strPort);
    void onUpdateTamsaVideoPortVIC(QString strPort);
    void onUpdateTamsaAudioPort(QString strPort);
    void onUpdateTamsaPlaybackPort(QString strPort);
    void onShowHttpTipWidget(bool bShow);
    void onShowTamsaTipWidget(bool bShow);
    void onShowAMSTipWidget(bool bShow);
    void onShowAMS50TipWidget(bool bShow);
    void onShowTamsaSSTipWidget(bool bShow);
    void onShowTamsaIPTipWidget(bool bShow);
    void onShowTamsaVideoTipWidget(bool bShow);
    void onShowTamsaVideoTipWidgetVIC(bool bShow);
    void onShowTamsaAudioTipWidget(bool bShow);
    void onShowTamsaPlaybackTipWidget(bool bShow);
    void onEnableChecked();

protected:
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum TipIndex {
        TipHttp = 0,
        TipTamsa,
        TipAms,
        TipAms50,
        TipSs,
        TipIp,
        TipVideo,
        TipVideoVic,
        TipAudio,
        TipPlayback,
        TipVideoWall,
        TipSms,
        TipCount
    };

    // A port field with its live check.
    struct PortField
    {
        CCheckCorretLineEdit* field;
        int id;         // its id in the duplicate test
        int tip;        // its bubble
        bool main;      // differs from every other port field
        bool testsHeld; // refused when a process holds the port (not the SMS
                        // field: its plug-in holds its own port)
    };

    const PortField& portField(int id) const;
    // The live check of one field; the field on the other side of a
    // duplicate, before and after the change, is checked again.
    void onPortChanged(int id);
    void checkPort(const PortField& f);
    void checkIp();
    // Every check once more, against the ports held now.
    void recheckAll();
    // The field's state: valid, or invalid for that reason.
    void setReason(CCheckCorretLineEdit* field, int tip, const QString& reason);
    void setTipText(int tip, const QString& text);
    // Hover (bShow) or its end: the bubble of an invalid field.
    void showTip(CCheckCorretLineEdit* field, int tip, bool bShow);
    // Shows the bubble without the mouse until the field is valid again.
    void pinTip(int tip, const QString& text);
    void onInputRefused(int tip, const QString& attempt);
    void onFocusOut(CCheckCorretLineEdit* field, int tip);
    // Places the shown bubbles right of their fields, top to bottom, none
    // over another.
    void layoutTips();
    void setCodeTexts();
    void fitCaptions();
    // The fields the confirm button needs valid.
    QList<CCheckCorretLineEdit*> requiredFields() const;

    Ui::EditPortDlg* ui;
    CFramelessDrag drag;
    QMap<int, bool> claimedPorts;
    QVector<PortField> portFields;
    QVector<CTipWidget*> tipWidgets;
    QVector<CCheckCorretLineEdit*> tipFields; // the field each bubble explains
    QVector<QString> reasons;                 // each bubble's check result
    QVector<bool> pinned;                     // shown without the mouse
    QVector<bool> refusal;                    // showing a refused input
    QMap<int, QString> checkedTexts;          // each port field's text at its last check
};

} // namespace serverframework
