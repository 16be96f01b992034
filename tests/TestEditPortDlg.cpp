// The port settings dialog's live checks, bubbles, IP rules and rows, driven
// like a user: typing into the fields and hovering their status buttons.
// Ports are held for real on loopback before the port snapshot is taken.

#include "TestEditPortDlgLayout.h"

#include "CheckCorretLineEdit.h"
#include "CheckPort.h"
#include "EditPortDlg.h"
#include "XMLConfigManager.h"

#include <Base/Singleton.h>

#include <QApplication>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using serverframework::CCheckCorretLineEdit;
using serverframework::CCheckPort;
using serverframework::CEditPortDlg;
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
    void ipRules_data();
    void ipRules();
    void rows_data();
    void rows();

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
    for (quint16& port : m_free)
        port = freePort();
    m_claimed = freePort();
    QVERIFY(m_heldTcp.listen(QHostAddress::LocalHost, 0));
    QVERIFY(m_heldNamed.listen(QHostAddress::LocalHost, 0));
    QVERIFY(m_heldUdp.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QVERIFY(editport_test::setOwnerName(m_heldNamed.serverPort(), "\"portholder\"\r\n"));
    Base::CSingleton<XMLConfigManager>::Instance().productType = 0;
    // The snapshot is taken now, with the three ports held.
    QString name;
    QVERIFY(CCheckPort::instance().IsPortUsed(m_heldTcp.serverPort(), name));
}

std::unique_ptr<CEditPortDlg> TestEditPortDlg::makeDialog()
{
    auto dlg = std::make_unique<CEditPortDlg>(nullptr);
    dlg->setClaimedPorts({{int(m_claimed), true}});
    return dlg;
}

void TestEditPortDlg::portCheck_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("bubble");

    const QString held = QString::number(m_heldTcp.serverPort());
    const QString claimed = QString::number(m_claimed);
    const QString sms = QString::number(m_free[2]);
    for (const char* name : kPortFields) {
        const QByteArray tag(name);
        QTest::newRow(tag + " free") << name << QString::number(m_free[0]) << true << QString();
        QTest::newRow(tag + " claimed") << name << claimed << false << "PortCantNotBeTheSame";
        QTest::newRow(tag + " held") << name << held << false << "PortIsOccupied";
        QTest::newRow(tag + " equals sms") << name << sms << false << "PortCantNotBeTheSame";
    }
    QTest::newRow("empty") << "m_TamsaLineEdit" << QString() << false << "PortNumberCannotBeEmpty";
    QTest::newRow("held udp") << "m_TamsaLineEdit" << QString::number(m_heldUdp.localPort()) << false
                              << "PortIsOccupied";
    QTest::newRow("held by a named program")
        << "m_TamsaLineEdit" << QString::number(m_heldNamed.serverPort()) << false
        << QString("TheWebServersPort%1IsOccupiedByportholderChangeItToOtherValue").arg(m_heldNamed.serverPort());
    QTest::newRow("equals video wall") << "m_TamsaLineEdit" << QString::number(m_free[1]) << false
                                       << "PortCantNotBeTheSame";
    // The video wall field's messages go to its own bubble, and it is
    // compared with no other field.
    QTest::newRow("video wall claimed") << "m_VideoWallPortLineEdit" << claimed << false << "PortCantNotBeTheSame";
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
    typeInto(f, typed);
    QCOMPARE(f->isValid(), valid);
    QCOMPARE(hoverBubble(f), bubble);
    if (f != http)
        QCOMPARE(hoverBubble(http), QStringLiteral("PortNumberCannotBeEmpty"));
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
}

void TestEditPortDlg::ipRules_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<bool>("valid");
    for (const char* ip : {"1.2.3.4", "10.0.0.0", "192.168.1.255", "222.255.255.255"})
        QTest::newRow(ip) << ip << true;
    // Multicast and reserved first parts, malformed texts.
    for (const char* ip : {"0.1.2.3", "223.1.1.1", "255.1.1.1", "1.2.3", "1.2.3.4.", "1..3.4", "1.2.3.256",
                           "1.2.x.4", "1.2.-3.4", ""})
        QTest::newRow(ip) << ip << false;
}

void TestEditPortDlg::ipRules()
{
    QFETCH(QString, ip);
    QFETCH(bool, valid);
    QCOMPARE(CEditPortDlg::isValidIPv4(ip), valid);
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
}

void TestEditPortDlg::rows()
{
    QFETCH(int, productType);
    QFETCH(bool, enabled);
    Base::CSingleton<XMLConfigManager>::Instance().productType = productType;
    auto dlg = makeDialog();
    dlg->setExternEnabled(enabled);
    dlg->show();
    QTEST(dlg->height(), "height");
    const auto shown = [&](const char* name) { return dlg->findChild<QWidget*>(name)->isVisible(); };
    QVERIFY(shown("m_HttpPortLineEdit") && shown("m_VideoWallPortLineEdit") && shown("m_pSMSPortLineEdit"));
    QVERIFY(!shown("m_TamsaLineEdit") && !shown("m_pChkEnabled"));
    QTEST(shown("m_pLineEditTamsaIP") && shown("m_pLineEditAlarm40Port") && shown("m_pLineEditTamsaAudioPort"),
          "commonRows");
    QTEST(shown("m_pLineEditTamsaVideoPort") && shown("m_pLineEditTamsaPlaybackPort"), "videoRows");
    Base::CSingleton<XMLConfigManager>::Instance().productType = 0;
}

EDITPORT_TEST_MAIN(TestEditPortDlg)

#include "TestEditPortDlg.moc"
