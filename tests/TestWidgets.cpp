// Port field, its validator and status button, the tip bubble, the close
// button and the style sheet helpers.
#include "TestSupport.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "CheckCorretLineEdit.h"
#include "ClosePushBtn.h"
#include "IntValidator.h"
#include "RightTipButton.h"
#include "StyleSheet.h"
#include "TipWidget.h"
#include "TestScratch.h"

using namespace serverframework;

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void validate_data()
    {
        QTest::addColumn<int>("bottom");
        QTest::addColumn<int>("top");
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("expected");

        const int A = QValidator::Acceptable, I = QValidator::Intermediate, X = QValidator::Invalid;
        QTest::newRow("port max") << 1 << 65535 << "65535" << A;
        QTest::newRow("empty while typing") << 1 << 65535 << "" << I;
        QTest::newRow("lone zero") << 1 << 65535 << "0" << X;
        QTest::newRow("leading zero") << 1 << 65535 << "080" << X;
        QTest::newRow("plus sign") << 1 << 65535 << "+80" << X;
        QTest::newRow("trailing space") << 1 << 65535 << "80 " << X;
        QTest::newRow("above top") << 1 << 65535 << "65536" << X;
        QTest::newRow("negative") << 1 << 65535 << "-5" << X;
        QTest::newRow("lone minus, positive range") << 1 << 65535 << "-" << X;
        QTest::newRow("zero range: lone zero") << 0 << 100 << "0" << A;
        QTest::newRow("negative range: lone minus") << -10 << 10 << "-" << I;
        QTest::newRow("negative range: value") << -10 << 10 << "-7" << A;
    }

    void validate()
    {
        QFETCH(int, bottom);
        QFETCH(int, top);
        QFETCH(QString, input);
        QFETCH(int, expected);
        CIntValidator validator(bottom, top);
        int pos = 0;
        QCOMPARE(int(validator.validate(input, pos)), expected);
    }

    void typingRefusedCharactersChangesNothing_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sixth digit") << "12345" << "6" << "12345";
        QTest::newRow("above 65535") << "6553" << "6" << "6553";
        QTest::newRow("leading zero") << "" << "0" << "";
        QTest::newRow("accepted digit") << "808" << "0" << "8080";
    }

    void typingRefusedCharactersChangesNothing()
    {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        CCheckCorretLineEdit field;
        field.setText(start);
        QSignalSpy textSpy(&field, &CCheckCorretLineEdit::signalText);
        field.lineEdit()->setCursorPosition(start.size());
        QTest::keyClicks(field.lineEdit(), typed);
        QCOMPARE(field.text(), expected);
        QCOMPARE(textSpy.count(), expected == start ? 0 : 1);
    }

    void fieldStatesAndTip()
    {
        CCheckCorretLineEdit field;
        QVERIFY(field.isValid());
        QCOMPARE(field.lineEdit()->toolTip(), QStringLiteral("[1~65535]"));
        QSignalSpy textSpy(&field, &CCheckCorretLineEdit::signalText);
        QSignalSpy tipSpy(&field, &CCheckCorretLineEdit::signalShowTip);
        field.setInvalid(true);
        QVERIFY(!field.isValid());
        QCOMPARE(field.tipButton()->styleSheet(), QLatin1String(CCheckCorretLineEdit::kTipInvalidStyle));
        QCOMPARE(field.lineEdit()->styleSheet(), QLatin1String(CCheckCorretLineEdit::kEditInvalidStyle));
        field.setInvalid(false);
        QCOMPARE(field.tipButton()->styleSheet(), QLatin1String(CCheckCorretLineEdit::kTipValidStyle));
        QCOMPARE(field.lineEdit()->styleSheet(), QLatin1String(CCheckCorretLineEdit::kEditValidStyle));
        QCOMPARE(textSpy.count(), 0);
        field.setText(QStringLiteral("8080"));
        field.clear();
        QCOMPARE(textSpy.count(), 2);
        QCOMPARE(textSpy.at(0).at(0).toString(), QStringLiteral("8080"));

        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(field.tipButton(), &enter);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(field.tipButton(), &leave);
        QCOMPARE(tipSpy.count(), 2);
        QCOMPARE(tipSpy.at(0).at(0).toBool(), true);
        QCOMPARE(tipSpy.at(1).at(0).toBool(), false);

        field.setFreeTextMode();
        QVERIFY(field.lineEdit()->toolTip().isEmpty());
        QTest::keyClicks(field.lineEdit(), QStringLiteral("192.168.1.7"));
        QCOMPARE(field.text(), QStringLiteral("192.168.1.7"));
    }

    void tipWidgetShapeAndColour()
    {
        CTipWidget tip;
        QCOMPARE(tip.size(), QSize(240, 80));
        QVERIFY(CTipWidget::fillColor().lightness() < 80);
        QImage image(tip.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        tip.setText(QString());
        tip.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        // Inside the bubble: the fill at alpha 216.
        QCOMPARE(qAlpha(image.pixel(20, 40)), 216);
        // The arrow's tip on the right edge, vertically centred.
        QVERIFY(qAlpha(image.pixel(237, 40)) > 0);
        // Right of the bubble, away from the arrow: nothing drawn.
        QCOMPARE(qAlpha(image.pixel(237, 5)), 0);
        QCOMPARE(qAlpha(image.pixel(237, 75)), 0);
        // The window itself has the bubble's shape: without a compositing
        // manager no corner shows black.
        const QRegion shape = tip.mask();
        QVERIFY(shape.contains(QPoint(20, 40)) && shape.contains(QPoint(236, 40)));
        QVERIFY(!shape.contains(QPoint(0, 0)) && !shape.contains(QPoint(237, 5)) && !shape.contains(QPoint(233, 79)));
    }

    void closeButtonSwallowsMoves()
    {
        CClosePushBtn button;
        button.resize(30, 30);
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        move.ignore();
        QApplication::sendEvent(&button, &move);
        QVERIFY(move.isAccepted());
    }

    void styleSheets()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(tst::writeBytes(dir.filePath("a.qss"), QByteArray("QLabel{color:red;}")));
        QVERIFY(tst::writeBytes(dir.filePath("b.qss"), QByteArray("QPushButton{}\0garbage", 22)));
        QVERIFY(tst::writeBytes(dir.filePath("latin.qss"), QByteArray("/* caf\xE9 */")));

        const QStringList names{"a.qss", "b.qss"};
        const QString withSlash = loadStyleSheets(names, dir.path() + "/");
        QCOMPARE(withSlash, QStringLiteral("QLabel{color:red;}QPushButton{}"));
        QCOMPARE(loadStyleSheets(names, dir.path()), withSlash);
        QCOMPARE(readStyleFile(dir.filePath("latin.qss")), QString::fromLatin1("/* caf\xE9 */"));

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Unable to open .*missing\\.qss: .+"));
        QCOMPARE(loadStyleSheets({"missing.qss", "a.qss"}, dir.path()), QStringLiteral("QLabel{color:red;}"));
    }

private:
    ScratchHome home;
};

QTEST_MAIN(TestWidgets)
#include "TestWidgets.moc"
