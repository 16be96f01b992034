#pragma once
// The port settings dialog: every port of the hosted services, checked live
// against the other main fields, the claimed ports and the machine's ports in
// use; its confirm button writes what changed (onModifyPort).

#include "FramelessDrag.h"
#include "logical/PortValues.h"

#include <QDialog>
#include <QMap>
#include <QString>
#include <QVector>

class QEvent;
class QMouseEvent;

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

    void getHttpAndCmsPorts(int& http, int& cms) const;
    void getExternPorts(int& ams, int& mqtt, int& ss, int& video, int& vic, int& audio,
                        int& playback) const;

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

    // True when value equals the text of the HTTP (id 0), video wall (id 9) or
    // SMS (id 10) field, leaving out the field fieldId itself.
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

    // fieldId < 0: no comparison with the main fields (the video wall field).
    void checkPortField(CCheckCorretLineEdit* field, int tip, const QString& strPort,
                        int fieldId);
    void setTipText(int tip, const QString& text);
    // Marks the field valid and hides its bubble.
    void markValid(CCheckCorretLineEdit* field, int tip);
    void showTip(CCheckCorretLineEdit* field, int tip, bool bShow);
    void setCodeTexts();
    void fitCaptions();
    // The video wall and SMS fields before anything is written: a port from
    // 1 to 65535, otherwise the field is marked and the reason goes to bubble 1.
    bool checkRequiredPort(CCheckCorretLineEdit* field);
    // The fields the confirm button needs valid; marks what is not.
    bool requiredFieldsValid();

    Ui::EditPortDlg* ui;
    CFramelessDrag drag;
    QMap<int, bool> claimedPorts;
    QVector<CTipWidget*> tipWidgets;
};

} // namespace serverframework
