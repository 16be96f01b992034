// The XML document object: reading, editing, and refusing hostile input
// (entity expansion, external entities).
#include "Proto/XmlProto.h"

#include <QtTest>

#include <memory>

using proto::CXmlProto;

namespace {

const char* const kSample =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Configs Version=\"1.1\" Empty=\"\">\n"
    "  <ServerPort><Http>16100</Http><Web></Web><Letters>abc</Letters><Mixed>  -42xyz</Mixed>"
    "<Huge>99999999999</Huge></ServerPort>\n"
    "  <List><Item>a</Item><Item>b</Item><Item>c</Item></List>\n"
    "  <One><Inner k=\"v\"><Leaf>x</Leaf></Inner></One><Two><A/><B/></Two>\n"
    "  <Amp>fish &amp; chips</Amp>\n"
    "</Configs>\n";

std::unique_ptr<CXmlProto> sample()
{
    auto doc = std::make_unique<CXmlProto>();
    doc->set_str(kSample);
    return doc;
}

} // namespace

class TestXmlProto : public QObject
{
    Q_OBJECT

private slots:
    // kind: s = get_str (default "d"), i = get_int (default -1), a = get_attr
    // of /Configs (default "d"), x = get_xml, n = count.
    void read_data()
    {
        QTest::addColumn<char>("kind");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("present") << 's' << "/Configs/ServerPort/Http" << "16100";
        QTest::newRow("empty element: default") << 's' << "/Configs/ServerPort/Web" << "d";
        QTest::newRow("missing: default") << 's' << "/Configs/Nope" << "d";
        QTest::newRow("bad expression: default") << 's' << "/Configs/[[" << "d";
        QTest::newRow("first of several") << 's' << "/Configs/List/Item" << "a";
        QTest::newRow("entity substituted") << 's' << "/Configs/Amp" << "fish & chips";
        QTest::newRow("attribute node") << 's' << "/Configs/@Version" << "1.1";
        QTest::newRow("int digits") << 'i' << "/Configs/ServerPort/Http" << "16100";
        QTest::newRow("int empty: default") << 'i' << "/Configs/ServerPort/Web" << "-1";
        QTest::newRow("int letters: 0") << 'i' << "/Configs/ServerPort/Letters" << "0";
        QTest::newRow("int blanks, sign, letters") << 'i' << "/Configs/ServerPort/Mixed" << "-42";
        QTest::newRow("int too large: clamped") << 'i' << "/Configs/ServerPort/Huge" << "2147483647";
        QTest::newRow("attribute") << 'a' << "Version" << "1.1";
        QTest::newRow("empty attribute") << 'a' << "Empty" << "";
        QTest::newRow("missing attribute") << 'a' << "Nope" << "d";
        QTest::newRow("xml of text") << 'x' << "/Configs/ServerPort/Http" << "16100";
        QTest::newRow("xml of one child") << 'x' << "/Configs/One" << "<Inner k=\"v\"><Leaf>x</Leaf></Inner>\n";
        QTest::newRow("xml of two children") << 'x' << "/Configs/Two" << "";
        QTest::newRow("count") << 'n' << "/Configs/List/Item" << "3";
        QTest::newRow("count of bad path") << 'n' << "///" << "0";
    }
    void read()
    {
        QFETCH(char, kind);
        QFETCH(QString, path);
        const std::string p = path.toStdString();
        auto doc = sample();
        const std::string got = kind == 's'   ? doc->get_str(p, "d")
                                : kind == 'i' ? std::to_string(doc->get_int(p, -1))
                                : kind == 'a' ? doc->get_attr("/Configs", p, "d")
                                : kind == 'x' ? doc->get_xml(p, 1)
                                              : std::to_string(doc->count(p));
        QTEST(QString::fromStdString(got), "expected");
    }

    void setValue_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("after"); // empty: refused, document unchanged
        QTest::newRow("creates missing chain") << "<Configs/>" << "/Configs/E/IP" << "1.2.3.4"
                                               << "<Configs><E><IP>1.2.3.4</IP></E></Configs>";
        QTest::newRow("replaces text only") << "<Configs><A x=\"1\">old</A></Configs>" << "/Configs/A" << "new"
                                            << "<Configs><A x=\"1\">new</A></Configs>";
        QTest::newRow("empty value") << "<Configs><A>old</A></Configs>" << "/Configs/A" << "" << "<Configs><A/></Configs>";
        QTest::newRow("new root") << "" << "/R/S" << "1" << "<R><S>1</S></R>";
        QTest::newRow("appends at count+1") << "<C><I>a</I></C>" << "/C/I[2]" << "b" << "<C><I>a</I><I>b</I></C>";
        QTest::newRow("existing position") << "<C><I>a</I><I>b</I></C>" << "/C/I[2]" << "z" << "<C><I>a</I><I>z</I></C>";
        QTest::newRow("beyond count+1") << "<C><I>a</I></C>" << "/C/I[3]" << "b" << "";
        QTest::newRow("position 0") << "<C/>" << "/C/I[0]" << "b" << "";
        QTest::newRow("first step [2]") << "<C/>" << "/C[2]/I" << "b" << "";
        QTest::newRow("empty path") << "<C/>" << "" << "b" << "";
        QTest::newRow("wrong root") << "<C/>" << "/Other/I" << "b" << "";
        QTest::newRow("markup and & stored as text") << "<C/>" << "/C/T" << "<x>&amp;"
                                                     << "<C><T>&lt;x&gt;&amp;amp;</T></C>";
    }
    void setValue()
    {
        QFETCH(QString, before);
        QFETCH(QString, path);
        QFETCH(QString, value);
        QFETCH(QString, after);
        CXmlProto doc;
        if (!before.isEmpty())
            QVERIFY(doc.set_str(before.toStdString()));
        QCOMPARE(doc.set_value(path.toStdString(), value.toStdString()), !after.isEmpty());
        QCOMPARE(QString::fromStdString(doc.to_str(1)).trimmed(), after.isEmpty() ? before : after);
        if (!after.isEmpty())
            QCOMPARE(QString::fromStdString(doc.get_str(path.toStdString(), "")), value);
    }

    void editing()
    {
        CXmlProto doc;
        QVERIFY(doc.add_child("/anything", "Root", "ignored"));
        QVERIFY(doc.add_child("/Root", "A", "x&y"));
        QVERIFY(doc.add_child_int("/Root", "N", 7));
        QVERIFY(!doc.add_child("/Root/Missing", "B", "1"));
        QVERIFY(!doc.add_child("/Root", "bad name", "1"));
        QVERIFY(doc.add_child_int(doc.add_child(doc.get_node("/Root/A"), "Sub", ""), "Deep", 3));
        QVERIFY(doc.set_attr_int("/Root", "count", 2));
        QCOMPARE(doc.to_str(1), std::string("<Root count=\"2\"><A>x&amp;y<Sub><Deep>3</Deep></Sub></A><N>7</N></Root>\n"));
        QCOMPARE(doc.to_str(0).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root", 0), 0u);

        CXmlProto part;
        QVERIFY(part.set_str("<Part a=\"1\"><X>y</X></Part>"));
        QVERIFY(doc.set_proto("/Root/Holder", &part));
        QCOMPARE(doc.get_xml("/Root/Holder", 1), std::string("<Part a=\"1\"><X>y</X></Part>\n"));
        CXmlProto empty;
        QVERIFY(!doc.set_proto("/Root/Other", &empty));
        QCOMPARE(doc.count("/Root/Other"), 0);

        std::unique_ptr<proto::IProto> copy(doc.clone(true));
        QCOMPARE(copy->to_str(0), doc.to_str(0));
        QVERIFY(doc.clear());
        QCOMPARE(doc.to_str(1), std::string());
        QVERIFY(!doc.set_str("<Configs><Open></Configs>"));
        QCOMPARE(doc.count("/*"), 0);
    }

    void hostile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
        for (int i = 1; i <= 9; ++i)
            laughs += "<!ENTITY lol" + QByteArray::number(i) + " \"" +
                      QByteArray("&lol" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
        laughs += "]>\n<Configs><ServerPort><Http>&lol9;</Http></ServerPort></Configs>\n";
        QTest::newRow("billion laughs") << laughs;
        QTest::newRow("external entity")
            << QByteArray("<!DOCTYPE c [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><Configs><V>&x;</V></Configs>");
        QTest::newRow("external DTD")
            << QByteArray("<!DOCTYPE c SYSTEM \"http://127.0.0.1:1/x.dtd\"><Configs><V>1</V></Configs>");
    }
    void hostile()
    {
        QFETCH(QByteArray, text);
        CXmlProto doc;
        QVERIFY(!doc.set_str(text.toStdString()));
        QCOMPARE(doc.count("/*"), 0);
    }
};

QTEST_GUILESS_MAIN(TestXmlProto)
#include "TestXmlProto.moc"
