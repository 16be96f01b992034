// The port settings dialog, driven like a user: its live checks, bubbles, IP rules and rows (ports held on loopback before the port snapshot is
// taken), and its confirm press: what it refuses, what it writes to "Setup.xml", the common configuration and the SMS properties file, and the
// plug-in restart. The dialog finds the SMS plug-in and the port-owner script relative to the program folder, so these tests run from a copy of the
// test executable in a temporary program layout:
//   <root>/Server/<test>                the copy (its build RPATH still finds the libraries)
//   <root>/Server/checkport<ext>        stand-in that prints <root>/owners/<port> when present
//   <root>/TavrinSMSPlugin/{conf,bin}   the plug-in's files from the source Install/ tree
// The first run builds the layout, runs the copy with the same arguments and returns its exit code.

#include "ui/CheckCorretLineEdit.h"
#include "logical/CheckPort.h"
#include "ui/EditPortDlg.h"
#include "ui/RightTipButton.h"
#include "ui/TipWidget.h"
#include "CommonMethod/Proto/XmlProto.h"
#include "logical/SimpleProperties.h"
#include "logical/SmsPlugin.h"
#include "CommonMethod/UserDataPath.h"
#include "controller/XMLConfigManager.h"
#include "TestSupport.h"

#include <Base/FileUtil.h>
#include <Base/Singleton.h>
#include <CommonMethodLib/CommonConfigFileMgr.h>
#include <Platform/Platform.h>

#include <QApplication>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

using namespace serverframework;
using comm_methodlib::CCommonConfigFileMgr;
using tst::freePort;

namespace {

constexpr const char* kMarker = "editport-layout";

// Replaces the field's text by typing, as a user would.
void typeInto(CCheckCorretLineEdit* field, const QString& text)
{
    field->lineEdit()->selectAll();
    QTest::keyClick(field->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(field->lineEdit(), text);
}

// The dialog's port field of that object name; null (with a warning) when missing.
CCheckCorretLineEdit* portField(QWidget& dialog, const char* name)
{
    auto* f = dialog.findChild<CCheckCorretLineEdit*>(name);
    if (!f)
        qWarning("no field %s", name);
    return f;
}

// The layout root when running inside one, else empty.
QString layoutRoot()
{
    const QString exe = QString::fromStdString(platform::executablePath());
    const QString root = QDir::cleanPath(QFileInfo(exe).absolutePath() + "/..");
    return QFile::exists(root + "/" + kMarker) ? root : QString();
}

int relaunchInLayout(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    const QString r = root.path();
    const QString exe = QString::fromStdString(platform::executablePath());
    const QString copy = r + "/Server/" + QFileInfo(exe).fileName();
    const QString plugin = QStringLiteral(TAVRIN_SOURCE_DIR) + "/Install/TavrinSMSPlugin";
    for (const char* dir : {"/Server", "/owners", "/TavrinSMSPlugin/conf", "/TavrinSMSPlugin/bin"})
        QDir().mkpath(r + dir);
    const QString script = r + "/Server/checkport" + QString::fromStdString(platform::scriptExtension());
    if (!root.isValid() || !QFile::copy(exe, copy) || !QFile::setPermissions(copy, QFile::permissions(exe))
        || !QFile::copy(plugin + "/conf/config.properties", r + "/TavrinSMSPlugin/conf/config.properties")
        || !QFile::copy(plugin + "/bin/restart.sh", r + "/TavrinSMSPlugin/bin/restart.sh")
        || !tst::writeExecutable(script, "#!/bin/sh\ncat \"$(dirname \"$0\")/../owners/$1\" 2>/dev/null\nexit 0\n")
        || !tst::writeBytes(r + "/" + kMarker, QByteArray())) {
        std::fprintf(stderr, "test layout: cannot build it in %s\n", qPrintable(r));
        return 1;
    }

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(copy, QCoreApplication::arguments().mid(1));
    child.waitForFinished(-1);
    return child.exitStatus() == QProcess::NormalExit && child.error() != QProcess::FailedToStart ? child.exitCode() : 1;
}

// The texts of the bubbles on screen.
QStringList shownBubbles()
{
    QStringList shown;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* tip = qobject_cast<CTipWidget*>(w); tip && tip->isVisible())
            shown << tip->text();
    }
    return shown;
}

void hover(CCheckCorretLineEdit* field, QEvent::Type type)
{
    QEvent event(type);
    QApplication::sendEvent(field->tipButton(), &event);
}

// The text of the bubble shown while the mouse is over the field's status button; empty when no bubble appears. None stays once the mouse left.
QString hoverBubble(CCheckCorretLineEdit* field)
{
    hover(field, QEvent::Enter);
    const QString shown = shownBubbles().join(QLatin1Char('|'));
    hover(field, QEvent::Leave);
    return shownBubbles().isEmpty() ? shown : QStringLiteral("stayed: ") + shown;
}

// Records owner as the name the port-owner script prints for port.
bool setOwnerName(quint16 port, const QByteArray& printed)
{
    return tst::writeBytes(layoutRoot() + "/owners/" + QString::number(port), printed);
}

const char* const kPortFields[] = {
    "m_HttpPortLineEdit",           "m_TamsaLineEdit",           "m_pLineEditAlarm40Port",       "m_pLineEditAlarm50Port",
    "m_pLineEditImageServerPort",   "m_pLineEditTamsaVideoPort", "m_pLineEditTamsaVideoPortVIC", "m_pLineEditTamsaAudioPort",
    "m_pLineEditTamsaPlaybackPort",
};

XMLConfigManager& config()
{
    return Base::CSingleton<XMLConfigManager>::Instance();
}
CCommonConfigFileMgr& common()
{
    return Base::CSingleton<CCommonConfigFileMgr>::Instance();
}

// The working "Setup.xml" in the component's user-data folder.
QString setupPath()
{
    return QString::fromStdString(Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir() + "Setup.xml");
}

// Every value the dialog may write: "Setup.xml" and the common configuration.
QMap<QString, QString> writtenValues()
{
    proto::CXmlProto doc;
    doc.set_str(tst::readBytes(setupPath()).toStdString());
    QMap<QString, QString> values;
    for (const char* key : {"ServerPort/Http", "ServerPort/WebSocket", "ServerPort/Web", "ServerPort/TamsaCMS", "ServerPort/TamsaAMS",
                            "ServerPort/TamsaMQTT", "ServerPort/TamsaSS", "ServerPort/TamsaVideo", "ServerPort/TamsaVideoVIC",
                            "ServerPort/TamsaAudio", "ServerPort/TamsaPlayback", "ExternParam/Enabled", "ExternParam/IPAddress"})
        values[QString(key).section('/', 1)] = QString::fromStdString(doc.get_str(std::string("/Configs/") + key, ""));
    CCommonConfigFileMgr reread(common().filePath());
    values["CommonHttp"] = QString::number(reread.GetFrameworkHttpPort());
    values["CommonVideoWall"] = QString::number(reread.GetFrameworkVideoWallPort());
    return values;
}

} // namespace

class TestEditPortDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (quint16& port : m_free)
            port = freePort();
        m_claimed = freePort();
        QVERIFY(m_heldTcp.listen(QHostAddress::LocalHost, 0));
        QVERIFY(m_heldNamed.listen(QHostAddress::LocalHost, 0));
        QVERIFY(setOwnerName(m_heldNamed.serverPort(), "\"portholder\"\r\n"));
        config().productType = 0;
        // The snapshot is taken now, with the ports held.
        QString name;
        QVERIFY(CCheckPort::instance().IsPortUsed(m_heldTcp.serverPort(), name));
    }

    void portCheck_data()
    {
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("bubble");

        const QString held = QString::number(m_heldTcp.serverPort());
        const QString claimed = QString::number(m_claimed);
        const QString sms = QString::number(m_free[2]);
        // All fields share one check: each is shown wired to it, its rules on one field.
        for (const char* name : kPortFields) {
            const QByteArray tag(name);
            QTest::newRow(tag + " free") << name << QString::number(m_free[0]) << true << QString();
            QTest::newRow(tag + " equals sms") << name << sms << false << "PortCantNotBeTheSame";
        }
        QTest::newRow("claimed") << "m_TamsaLineEdit" << claimed << false << "PortCantNotBeTheSame";
        QTest::newRow("held") << "m_TamsaLineEdit" << held << false << "PortIsOccupied";
        QTest::newRow("held by a named program")
            << "m_TamsaLineEdit" << QString::number(m_heldNamed.serverPort()) << false
            << QString("TheWebServersPort%1IsOccupiedByportholderChangeItToOtherValue").arg(m_heldNamed.serverPort());
        QTest::newRow("equals video wall") << "m_TamsaLineEdit" << QString::number(m_free[1]) << false << "PortCantNotBeTheSame";
        // The video wall field's messages go to its own bubble.
        QTest::newRow("video wall claimed") << "m_VideoWallPortLineEdit" << claimed << false << "PortCantNotBeTheSame";
        QTest::newRow("video wall equals sms") << "m_VideoWallPortLineEdit" << sms << false << "PortCantNotBeTheSame";
    }

    void portCheck()
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
        // A duplicate marks both fields.
        QCOMPARE(portField(*dlg, "m_pSMSPortLineEdit")->isValid(), typed != QString::number(m_free[2]));
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

    // A duplicate marks both fields and clears on both; the device access ports are not compared with each other. Why a field is refused shows
    // without the mouse: at once for refused typing, when the field loses the focus, and for every invalid field when confirm is pressed.
    void duplicatesAndReasonsWithoutHover()
    {
        auto dlg = makeDialog();
        dlg->show();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
        CCheckCorretLineEdit* http = portField(*dlg, "m_HttpPortLineEdit");
        CCheckCorretLineEdit* wall = portField(*dlg, "m_VideoWallPortLineEdit");
        dlg->setVideoWallPortValue(m_free[0]);
        dlg->setHttpPortText(QString::number(m_free[0]));
        QVERIFY(!http->isValid() && !wall->isValid());
        dlg->setHttpPortText(QString::number(m_free[1]));
        QVERIFY(http->isValid() && wall->isValid());
        dlg->setTamsaAMSPortText(QString::number(m_free[3]));
        dlg->setTamsaMQTTPortText(QString::number(m_free[3]));
        QVERIFY(portField(*dlg, "m_pLineEditAlarm40Port")->isValid() && portField(*dlg, "m_pLineEditAlarm50Port")->isValid());

        http->lineEdit()->setFocus();
        typeInto(http, QString::number(m_claimed) + "9");
        QCOMPARE(shownBubbles(), QStringList{QString("PortInput%1Refused").arg(QString::number(m_claimed) + "9")});
        wall->lineEdit()->setFocus();
        QCOMPARE(shownBubbles(), QStringList{"PortCantNotBeTheSame"});
        dlg->setSmsPortValue(0);
        QTest::mouseClick(dlg->findChild<QPushButton*>("m_ConfirmBtn"), Qt::LeftButton);
        QStringList shown = shownBubbles();
        shown.sort();
        QVERIFY(dlg->isVisible());
        QCOMPARE(shown, (QStringList{"PortCantNotBeTheSame", "PortNumberMustBeFrom1To65535"}));
    }

    void ipRules()
    {
        for (const char* ip : {"1.2.3.4", "10.0.0.0", "192.168.1.255", "222.255.255.255"})
            QVERIFY2(CEditPortDlg::isValidIPv4(ip), ip);
        // Multicast and reserved first parts, malformed texts.
        for (const char* ip : {"0.1.2.3", "223.1.1.1", "255.1.1.1", "1.2.3", "1.2.3.4.", "1..3.4", "1.2.3.256", "1.2.x.4", "1.2.-3.4", ""})
            QVERIFY2(!CEditPortDlg::isValidIPv4(ip), ip);
    }

    void rows_data()
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

    void rows()
    {
        QFETCH(int, productType);
        QFETCH(bool, enabled);
        config().productType = productType;
        auto dlg = makeDialog();
        dlg->setExternEnabled(enabled);
        dlg->show();
        QTEST(dlg->height(), "height");
        const auto shown = [&](const char* name) { return dlg->findChild<QWidget*>(name)->isVisible(); };
        QVERIFY(shown("m_HttpPortLineEdit") && shown("m_VideoWallPortLineEdit") && shown("m_pSMSPortLineEdit"));
        QVERIFY(!shown("m_TamsaLineEdit") && !shown("m_pChkEnabled"));
        QTEST(shown("m_pLineEditTamsaIP") && shown("m_pLineEditAlarm40Port") && shown("m_pLineEditTamsaAudioPort"), "commonRows");
        QTEST(shown("m_pLineEditTamsaVideoPort") && shown("m_pLineEditTamsaPlaybackPort"), "videoRows");
        config().productType = 0;
    }

private:
    std::unique_ptr<CEditPortDlg> makeDialog()
    {
        auto dlg = std::make_unique<CEditPortDlg>(nullptr);
        dlg->setClaimedPorts({{int(m_claimed), true}});
        return dlg;
    }

    QTcpServer m_heldTcp, m_heldNamed;
    quint16 m_free[4] = {};
    quint16 m_claimed = 0;
};

class TestPortApply : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_root = layoutRoot();
        QVERIFY(Base::CSingleton<comm_method::CUserDataPath>::Instance().init(Base::FileUtil::GetCurExeDir(), "Framework.S", 0, 0));
        m_originalProperties = tst::readBytes(propertiesPath());
        QVERIFY(Base::CSingleton<SimpleProperties>::Instance().loadLogged(CSmsPlugin::configPath()));
        for (const char* key : {"WebSocket", "Http", "TamsaCMS", "TamsaAMS", "TamsaMQTT", "TamsaSS", "Web", "TamsaVideo", "TamsaVideoVIC",
                                "TamsaAudio", "TamsaPlayback", "VideoWall"})
            m_ports[key] = freePort();
        for (quint16& port : m_spare)
            port = freePort();
        CCheckPort::instance();
    }

    void init()
    {
        QFile::remove(restartLog());
        QVERIFY(tst::writeBytes(propertiesPath(), m_originalProperties));
        QVERIFY(Base::CSingleton<SimpleProperties>::Instance().setProperty(serverframework::kRtspPortKey, "554"));
    }

    void confirm_data()
    {
        QTest::addColumn<int>("productType");
        QTest::addColumn<bool>("external");
        QTest::addColumn<QString>("claimed");     // the port of this key was given away by the audit
        QTest::addColumn<QStringList>("edits");   // "<field>=<text>"; "external": turned on
        QTest::addColumn<int>("result");          // the dialog's result; -1: the press is refused
        QTest::addColumn<QStringList>("written"); // "<key>=<value>" changed in writtenValues()
        QTest::addColumn<QString>("rtsp");        // the RTSP port saved; empty: properties untouched

        const QStringList none;
        QTest::newRow("nothing changed") << 0 << false << "" << none << 0 << none << "";
        QTest::newRow("HTTP") << 0 << false << "" << QStringList{"m_HttpPortLineEdit=spare0"} << 1 << QStringList{"Http=spare0", "CommonHttp=spare0"}
                              << "";
        QTest::newRow("RTSP") << 0 << false << "" << QStringList{"m_pSMSPortLineEdit=spare1"} << 1 << none << "spare1";
        QTest::newRow("HTTP-only product ignores the RTSP port")
            << 4 << false << "" << QStringList{"m_pSMSPortLineEdit=", "m_VideoWallPortLineEdit=spare2"} << 1 << QStringList{"CommonVideoWall=spare2"}
            << "";
        QTest::newRow("external values") << 0 << true << ""
                                         << QStringList{"m_pLineEditTamsaIP=192.168.7.9", "m_pLineEditAlarm40Port=spare0",
                                                        "m_pLineEditTamsaPlaybackPort=spare1"}
                                         << 1 << QStringList{"IPAddress=192.168.7.9", "TamsaAMS=spare0", "TamsaPlayback=spare1"} << "";
        QTest::newRow("invalid external field") << 0 << true << "TamsaMQTT" << QStringList{"m_HttpPortLineEdit=spare0", "m_pSMSPortLineEdit=spare1"}
                                                << -1 << none << "";
        QTest::newRow("hidden video rows are not required")
            << 1 << false << "TamsaVideo" << QStringList{"external"} << 1 << QStringList{"Enabled=true"} << "";
        const QStringList http{"m_HttpPortLineEdit=spare0"};
        QTest::newRow("video wall empty") << 0 << false << "" << http + QStringList{"m_VideoWallPortLineEdit="} << -1 << none << "";
        QTest::newRow("RTSP zero") << 0 << false << "" << http + QStringList{"m_pSMSPortLineEdit=0"} << -1 << none << "";
        // Confirm checks the ports against the sockets held at that moment.
        QTest::newRow("taken after opening") << 0 << false << "" << http + QStringList{"hold:spare0"} << -1 << none << "";
        QTest::newRow("freed after opening") << 0 << false << "" << QStringList{"hold:spare0", "refresh"} + http + QStringList{"release"} << 1
                                             << QStringList{"Http=spare0", "CommonHttp=spare0"} << "";
    }

    void confirm()
    {
        QFETCH(int, productType);
        QFETCH(bool, external);
        QFETCH(QString, claimed);
        QFETCH(QStringList, edits);
        QFETCH(int, result);
        QFETCH(QStringList, written);
        QFETCH(QString, rtsp);
        writeSetup(productType, external);
        const QByteArray setupBefore = tst::readBytes(setupPath());
        QMap<QString, QString> expected = writtenValues();
        for (const QString& change : written)
            expected[change.section('=', 0, 0)] = spare(change.section('=', 1));
        QMap<int, bool> claimedPorts;
        if (!claimed.isEmpty())
            claimedPorts.insert(m_ports[claimed], true);

        auto dlg = openFilled(claimedPorts);
        QTcpServer holder; // "hold:<port>" takes a port while the dialog is open, "release" frees it
        for (const QString& edit : edits) {
            if (edit == "external") {
                dlg->setExternEnabled(true);
            } else if (edit.startsWith("hold:")) {
                QVERIFY(holder.listen(QHostAddress::LocalHost, spare(edit.mid(5)).toUShort()));
            } else if (edit == "release") {
                holder.close();
            } else if (edit == "refresh") { // as the window does when it opens the dialog
                CCheckPort::instance().refreshSnapshot({});
            } else {
                CCheckCorretLineEdit* field = portField(*dlg, edit.section('=', 0, 0).toLatin1().constData());
                const QString value = spare(edit.section('=', 1));
                typeInto(field, value);
                if (field->text() != value) // refused by the keyboard: the fillers still set it
                    field->setText(value);
            }
        }
        QSignalSpy finished(dlg.get(), &QDialog::finished);
        QTest::mouseClick(dlg->findChild<QPushButton*>("m_ConfirmBtn"), Qt::LeftButton);
        QCOMPARE(finished.isEmpty() ? -1 : finished.at(0).at(0).toInt(), result);
        QCOMPARE(shownBubbles().isEmpty(), result >= 0); // a refused press says why

        if (result < 0)
            QCOMPARE(tst::readBytes(setupPath()), setupBefore);
        QCOMPARE(writtenValues(), expected);
        // Only the value changes: the plug-in's comments and layout stay.
        QCOMPARE(tst::readBytes(propertiesPath()),
                 rtsp.isEmpty()
                     ? m_originalProperties
                     : QByteArray(m_originalProperties).replace("ums.1.rtspPort = 554 ", "ums.1.rtspPort = " + spare(rtsp).toUtf8() + " "));
        if (rtsp.isEmpty()) {
            QTest::qWait(300);
            QVERIFY(!QFile::exists(restartLog()));
        } else if (platform::isAdmin()) { // elsewhere the elevated restart asks for a password
            QTRY_VERIFY_WITH_TIMEOUT(tst::readBytes(restartLog()).contains("rtspPort=" + spare(rtsp).toUtf8() + "\n"), 10000);
        }
    }

private:
    void writeSetup(int productType, bool enabled)
    {
        QString xml = QString("<Configs Version=\"1.0\"><ProductType><Value>%1</Value></ProductType>"
                              "<VersionType><Value>0</Value></VersionType><Skin><Value>Default</Value></Skin>"
                              "<Translator><Value>0</Value></Translator><ExternParam><Enabled>%2</Enabled>"
                              "<IPAddress>10.1.2.3</IPAddress></ExternParam><ServerPort>")
                          .arg(productType)
                          .arg(enabled ? "true" : "false");
        for (auto it = m_ports.cbegin(); it != m_ports.cend(); ++it)
            xml += it.key() == "VideoWall" ? QString() : QString("<%1>%2</%1>").arg(it.key()).arg(it.value());
        QVERIFY(tst::writeBytes(setupPath(), (xml + "</ServerPort></Configs>\n").toUtf8()));
        QVERIFY(common().SetFrameworkHttpPort(m_ports["Http"]));
        QVERIFY(common().SetFrameworkVideoWallPort(m_ports["VideoWall"]));
        config().InitManager(false);
        QCOMPARE(config().productType, productType);
    }

    std::unique_ptr<CEditPortDlg> openFilled(const QMap<int, bool>& claimed)
    {
        // Filled the way the service management window fills it.
        auto dlg = std::make_unique<CEditPortDlg>(nullptr);
        XMLConfigManager& c = config();
        dlg->setClaimedPorts(claimed);
        using D = CEditPortDlg;
        for (const auto& [set, port] : {std::pair{&D::setHttpPortText, c.httpPort},
                                        {&D::setVideoWallPortText, c.videoWallPort},
                                        {&D::setTamsaCMSPortText, c.cmsPort},
                                        {&D::setTamsaSSPortText, c.ssPort},
                                        {&D::setTamsaAMSPortText, c.amsPort},
                                        {&D::setTamsaMQTTPortText, c.mqttPort},
                                        {&D::setTamsaVideoPortText, c.videoPort},
                                        {&D::setTamsaVideoVICPortText, c.videoVicPort},
                                        {&D::setTamsaAudioPortText, c.audioPort},
                                        {&D::setTamsaPlaybackPortText, c.playbackPort}})
            (dlg.get()->*set)(QString::number(port));
        dlg->setExternIPAddress(QString::fromStdString(c.externIPAddress));
        dlg->setExternEnabled(c.externEnabled);
        dlg->setSmsPortValue(std::atoi(Base::CSingleton<SimpleProperties>::Instance().getProperty(serverframework::kRtspPortKey).c_str()));
        dlg->setVideoWallPortValue(c.videoWallPort);
        dlg->show();
        return dlg;
    }

    QString restartLog() const { return m_root + "/TavrinSMSPlugin/bin/restart.log"; }
    QString propertiesPath() const { return m_root + "/TavrinSMSPlugin/conf/config.properties"; }
    // "spare<n>" stands for the n-th spare free port.
    QString spare(QString value) const
    {
        for (int i = 0; i < 3; ++i)
            value.replace(QStringLiteral("spare%1").arg(i), QString::number(m_spare[i]));
        return value;
    }

    QString m_root;
    QByteArray m_originalProperties;
    QMap<QString, quint16> m_ports;
    quint16 m_spare[3] = {};
};

// Relaunched inside the layout, then each class in turn in a scratch home.
int main(int argc, char** argv)
{
    if (layoutRoot().isEmpty())
        return relaunchInLayout(argc, argv);
    ScratchHome home;
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules("qt.svg.warning=false"); // the skin's images are not linked into the tests
    TestEditPortDlg dialog;
    TestPortApply apply;
    return QTest::qExec(&dialog, argc, argv) + QTest::qExec(&apply, argc, argv);
}

#include "TestEditPortDlg.moc"
