// The port settings dialog's live checks, bubbles, IP rules and rows, driven
// like a user: typing into the fields and hovering their status buttons.
// Ports are held for real on loopback before the port snapshot is taken.

#include "TestEditPortDlgLayout.h"

#include "CheckCorretLineEdit.h"
#include "CheckPort.h"
#include "EditPortDlg.h"
#include "RightTipButton.h"
#include "XMLConfigManager.h"

#include <Base/Singleton.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using serverframework::CCheckCorretLineEdit;
using serverframework::CCheckPort;
using serverframework::CEditPortDlg;
using serverframework::CTipWidget;
using serverframework::XMLConfigManager;

using editport_test::hover;
using editport_test::hoverBubble;
using editport_test::portField;
using editport_test::shownBubbles;
using editport_test::typeInto;
using tst::freePort;

namespace {

const char* const kPortFields[] = {
    "m_HttpPortLineEdit", "m_TamsaLineEdit", "m_pLineEditAlarm40Port", "m_pLineEditAlarm50Port",
    "m_pLineEditImageServerPort", "m_pLineEditTamsaVideoPort", "m_pLineEditTamsaVideoPortVIC",
    "m_pLineEditTamsaAudioPort", "m_pLineEditTamsaPlaybackPort",
};

} // namespace

class TestEditPortDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void portCheck_data();
    void portCheck();
    void fieldsNotComparedWithEachOther();
    void fillingAClaimedPortMarksAtOnce();
    void ipRules_data();
    void ipRules();
    void ipField_data();
    void ipField();
    void rows_data();
    void rows();
    void startupFormHidesExternalBlock();
    void closeButtonsReject();

private:
    std::unique_ptr<CEditPortDlg> makeDialog();

    QTcpServer m_heldTcp;
    QTcpServer m_heldNamed;
    QUdpSocket m_heldUdp;
    quint16 m_free[4] = {};
    quint16 m_claimed = 0;
};

void TestEditPortDlg::initTestCase()
{
    for (quint16& port : m_free) {
        port = freePort();
    }
    m_claimed = freePort();
    QVERIFY(m_heldTcp.listen(QHostAddress::LocalHost, 0));
    QVERIFY(m_heldNamed.listen(QHostAddress::LocalHost, 0));
    QVERIFY(m_heldUdp.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QVERIFY(editport_test::setOwnerName(m_heldNamed.serverPort(), "\"portholder\"\r\n"));
    Base::CSingleton<XMLConfigManager>::Instance().productType = 0;
    // The snapshot is taken now, with the three ports held.
    QString name;
    QVERIFY(CCheckPort::instance().IsPortUsed(m_heldTcp.serverPort(), name));
    QVERIFY(!CCheckPort::instance().IsPortUsed(m_free[0], name));
}

std::unique_ptr<CEditPortDlg> TestEditPortDlg::makeDialog()
{
    auto dlg = std::make_unique<CEditPortDlg>(nullptr);
    QMap<int, bool> claimed;
    claimed.insert(m_claimed, true);
    dlg->setClaimedPorts(claimed);
    return dlg;
}

void TestEditPortDlg::portCheck_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("bubble");

    const QString held = QString::number(m_heldTcp.serverPort());
    const QString heldUdp = QString::number(m_heldUdp.localPort());
    const QString named = QString::number(m_heldNamed.serverPort());
    const QString claimed = QString::number(m_claimed);
    const QString wall = QString::number(m_free[1]);
    const QString sms = QString::number(m_free[2]);
    const QString namedText = QString("TheWebServersPort%1IsOccupiedByportholderChangeItToOtherValue").arg(named);

    for (const char* name : kPortFields) {
        const QByteArray tag(name);
        QTest::newRow(tag + " free") << name << QString::number(m_free[0]) << true << QString();
        QTest::newRow(tag + " empty") << name << QString() << false << "PortNumberCannotBeEmpty";
        QTest::newRow(tag + " claimed") << name << claimed << false << "PortCantNotBeTheSame";
        QTest::newRow(tag + " held tcp") << name << held << false << "PortIsOccupied";
        QTest::newRow(tag + " held udp") << name << heldUdp << false << "PortIsOccupied";
        QTest::newRow(tag + " held named") << name << named << false << namedText;
        QTest::newRow(tag + " equals sms") << name << sms << false << "PortCantNotBeTheSame";
        if (tag != "m_HttpPortLineEdit") {
            QTest::newRow(tag + " equals video wall") << name << wall << false << "PortCantNotBeTheSame";
        }
    }
    // The video wall field's messages go to its own bubble.
    QTest::newRow("video wall held") << "m_VideoWallPortLineEdit" << held << false << "PortIsOccupied";
    QTest::newRow("video wall claimed") << "m_VideoWallPortLineEdit" << claimed << false << "PortCantNotBeTheSame";
    QTest::newRow("video wall empty") << "m_VideoWallPortLineEdit" << QString() << false << "PortNumberCannotBeEmpty";
    // ... and it is compared with no other field.
    QTest::newRow("video wall equals sms") << "m_VideoWallPortLineEdit" << sms << true << QString();
}

void TestEditPortDlg::portCheck()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, typed);
    QFETCH(bool, valid);
    QFETCH(QString, bubble);

    auto dlg = makeDialog();
    dlg->setVideoWallPortValue(m_free[1]);
    dlg->setSmsPortValue(m_free[2]);
    dlg->show();
    CCheckCorretLineEdit* f = portField(*dlg, fieldName.toLatin1().constData());
    QVERIFY(f);
    // The HTTP field holds a message of its own that no other field overwrites.
    CCheckCorretLineEdit* http = portField(*dlg, "m_HttpPortLineEdit");
    if (f != http) {
        http->setText(QString::number(m_free[0]));
        http->setText(QString());
    }
    f->setText(QString::number(m_free[3]));
    QVERIFY(f->isValid());
    typeInto(f, typed);
    QCOMPARE(f->text(), typed);
    QCOMPARE(f->isValid(), valid);
    QCOMPARE(hoverBubble(f), bubble);
    if (f != http) {
        QCOMPARE(hoverBubble(http), QStringLiteral("PortNumberCannotBeEmpty"));
    }
    // A bubble under the pointer goes as soon as its field turns valid.
    hover(f, QEvent::Enter);
    typeInto(f, QString::number(m_free[3]));
    QVERIFY(f->isValid());
    QCOMPARE(shownBubbles(), QStringList());
    hover(f, QEvent::Leave);
}

// The video wall port with HTTP, the device access ports with each other.
void TestEditPortDlg::fieldsNotComparedWithEachOther()
{
    auto dlg = makeDialog();
    dlg->setVideoWallPortValue(m_free[0]);
    dlg->setHttpPortText(QString::number(m_free[0]));
    QVERIFY(!portField(*dlg, "m_HttpPortLineEdit")->isValid());
    dlg->setVideoWallPortText(QString::number(m_free[0]));
    QVERIFY(portField(*dlg, "m_VideoWallPortLineEdit")->isValid());
    dlg->setTamsaAMSPortText(QString::number(m_free[3]));
    dlg->setTamsaMQTTPortText(QString::number(m_free[3]));
    QVERIFY(portField(*dlg, "m_pLineEditAlarm40Port")->isValid());
    QVERIFY(portField(*dlg, "m_pLineEditAlarm50Port")->isValid());
    QVERIFY(!dlg->isDuplicatePort(QString::number(m_free[3]), 2));
}

void TestEditPortDlg::fillingAClaimedPortMarksAtOnce()
{
    auto dlg = makeDialog();
    dlg->setHttpPortText(QString::number(m_claimed));
    CCheckCorretLineEdit* http = portField(*dlg, "m_HttpPortLineEdit");
    QVERIFY(!http->isValid());
    QVERIFY(!dlg->isVisible());
    dlg->show();
    QCOMPARE(hoverBubble(http), QString("PortCantNotBeTheSame"));
    // Hovering a valid field shows nothing.
    typeInto(http, QString::number(m_free[0]));
    QVERIFY(http->isValid());
    QCOMPARE(hoverBubble(http), QString());
}

void TestEditPortDlg::ipRules_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "1.2.3.4" << true;
    QTest::newRow("network address") << "10.0.0.0" << true;
    QTest::newRow("broadcast") << "192.168.1.255" << true;
    QTest::newRow("highest first part") << "222.255.255.255" << true;
    QTest::newRow("first part zero") << "0.1.2.3" << false;
    QTest::newRow("first part 223") << "223.1.1.1" << false;
    QTest::newRow("first part 255") << "255.1.1.1" << false;
    QTest::newRow("three parts") << "1.2.3" << false;
    QTest::newRow("trailing dot") << "1.2.3.4." << false;
    QTest::newRow("empty part") << "1..3.4" << false;
    QTest::newRow("part above 255") << "1.2.3.256" << false;
    QTest::newRow("letters") << "1.2.x.4" << false;
    QTest::newRow("negative part") << "1.2.-3.4" << false;
    QTest::newRow("empty") << "" << false;
}

void TestEditPortDlg::ipRules()
{
    QFETCH(QString, ip);
    QFETCH(bool, valid);
    QCOMPARE(CEditPortDlg::isValidIPv4(ip), valid);
}

void TestEditPortDlg::ipField_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("typed"); // null: nothing typed
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("bubble");
    QTest::newRow("valid") << "10.0.0.1" << "192.168.0.7" << true << QString();
    QTest::newRow("five parts") << "10.0.0.1" << "1.2.3.4." << false << "InvalidIPAddress";
    QTest::newRow("host name") << "10.0.0.1" << "server" << false << "InvalidIPAddress";
    QTest::newRow("empty") << "10.0.0.1" << "" << false << "IPAddressCannotBeEmpty";
    QTest::newRow("configured null address") << "0.0.0.0" << QString() << false << "IPAddressCannotBeEmpty";
}

void TestEditPortDlg::ipField()
{
    QFETCH(QString, configured);
    QFETCH(QString, typed);
    QFETCH(bool, valid);
    QFETCH(QString, bubble);
    auto dlg = makeDialog();
    dlg->setExternIPAddress(configured);
    dlg->setExternEnabled(true);
    dlg->show();
    CCheckCorretLineEdit* ip = portField(*dlg, "m_pLineEditTamsaIP");
    if (!typed.isNull())
        typeInto(ip, typed);
    QCOMPARE(ip->text(), typed.isNull() ? QString() : typed);
    QCOMPARE(ip->isValid(), valid);
    QCOMPARE(hoverBubble(ip), bubble);
}

void TestEditPortDlg::rows_data()
{
    QTest::addColumn<int>("productType");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("commonRows");
    QTest::addColumn<bool>("videoRows");
    QTest::newRow("type 0 external") << 0 << true << 448 << true << true;
    QTest::newRow("type 0 plain") << 0 << false << 268 << false << false;
    QTest::newRow("type 1 external") << 1 << true << 448 << true << false;
    QTest::newRow("type 3 external") << 3 << true << 448 << true << false;
    QTest::newRow("type 2 plain") << 2 << false << 268 << false << false;
}

void TestEditPortDlg::rows()
{
    QFETCH(int, productType);
    QFETCH(bool, enabled);
    QFETCH(int, height);
    QFETCH(bool, commonRows);
    QFETCH(bool, videoRows);

    Base::CSingleton<XMLConfigManager>::Instance().productType = productType;
    auto dlg = makeDialog();
    QCOMPARE(dlg->height(), 268);
    dlg->setExternEnabled(enabled);
    dlg->show();
    QCOMPARE(dlg->height(), height);
    QCOMPARE(dlg->isExternEnabled(), enabled);

    const auto shown = [&](const char* name) {
        QWidget* w = dlg->findChild<QWidget*>(name);
        return w && w->isVisible();
    };
    for (const char* name : {"m_HttpPortLineEdit", "m_HttpPortLabel", "m_VideoWallPortLineEdit",
                             "m_VideoWallPortLabel", "m_pSMSPortLineEdit", "m_pLabalSMSPort"}) {
        QVERIFY2(shown(name), name);
    }
    for (const char* name : {"m_TamsaLineEdit", "m_WebServerLabel", "m_pChkEnabled", "m_pLabelEnabled"}) {
        QVERIFY2(!shown(name), name);
    }
    for (const char* name : {"m_pLineEditTamsaIP", "m_pLabelTamsaIP", "m_pLineEditAlarm40Port",
                             "m_pLabelAlarm40Port", "m_pLineEditAlarm50Port", "m_pLabelAlarm50Port",
                             "m_pLineEditImageServerPort", "m_pLabelImageServerPort",
                             "m_pLineEditTamsaVideoPortVIC", "m_pLabelTamsaVideoPortVIC",
                             "m_pLineEditTamsaAudioPort", "m_pLabelTamsaAudioPort"}) {
        QVERIFY2(shown(name) == commonRows, name);
    }
    for (const char* name : {"m_pLineEditTamsaVideoPort", "m_pLabelTamsaVideoPort",
                             "m_pLineEditTamsaPlaybackPort", "m_pLabelTamsaPlaybackPort"}) {
        QVERIFY2(shown(name) == videoRows, name);
    }
    Base::CSingleton<XMLConfigManager>::Instance().productType = 0;
}

void TestEditPortDlg::startupFormHidesExternalBlock()
{
    auto dlg = makeDialog();
    dlg->setExternEnabled(true);
    dlg->setExternRowsVisible(false);
    dlg->show();
    QCOMPARE(dlg->height(), 448);
    const QList<QLabel*> labels = dlg->findChildren<QLabel*>();
    int visibleLabels = 0;
    for (QLabel* label : labels) {
        visibleLabels += label->isVisible() && !label->text().isEmpty() ? 1 : 0;
    }
    // The title and the three upper rows.
    QCOMPARE(visibleLabels, 4);
}

void TestEditPortDlg::closeButtonsReject()
{
    for (const char* button : {"m_CloseBtn", "m_TitleCloseBtn"}) {
        auto dlg = makeDialog();
        dlg->show();
        QSignalSpy finished(dlg.get(), &QDialog::finished);
        QTest::mouseClick(dlg->findChild<QPushButton*>(button), Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 0);
    }
}

EDITPORT_TEST_MAIN(TestEditPortDlg)

#include "TestEditPortDlg.moc"
