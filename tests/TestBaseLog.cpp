// The logger: console until configured, then the file a properties file names.
#include "Base/Log.h"

#include "TestSupport.h"

#include <QtTest>

class TestBaseLog : public QObject {
    Q_OBJECT
private slots:
    void configuredFromPropertiesFile();
    void missingPropertiesFileIsRefused();
};

void TestBaseLog::configuredFromPropertiesFile()
{
    // Before any configuration: logging works and nothing ends the process.
    TLOG_INFO("before configuration %d", 1);
    TLOG_FATAL("a fatal line is only a level");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logFile = dir.path() + "/Log/host.log";
    const QString properties = dir.path() + "/host.log4cxx.properties";
    QVERIFY(tst::writeBytes(properties, "log4j.rootLogger=INFO, file\n"
                                        "log4j.appender.file=org.apache.log4j.FileAppender\n"
                                        "log4j.appender.file.File=" + logFile.toUtf8() + "\n"
                                        "log4j.appender.file.ImmediateFlush=true\n"
                                        "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                                        "log4j.appender.file.layout.ConversionPattern=%p|%F|%C::%M|%L|%m%n\n"));
    QVERIFY(Base::details::CLog::Configure(properties.toStdString()));

    const int line = __LINE__ + 1;
    TLOG_WARN("Failed to read [file-%s]. [error-%d-%d]", "Setup.xml", 2, 13);
    TLOG_FATAL("fatal %s", "goes on");
    TLOG_ERROR("error");
    TLOG_INFO("info");
    Base::CSingleton<Base::details::CLog>::Instance().Info("named.logger", "through a named logger", TLOG_LOCATION);

    const QStringList lines = tst::readText(logFile).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    const QStringList first = lines[0].split('|');
    QCOMPARE(first.size(), 5);
    QCOMPARE(first[0], QString("WARN"));
    QCOMPARE(first[1], QString("TestBaseLog.cpp")); // the name, not the build machine's path
    QVERIFY2(first[2].contains("TestBaseLog::configuredFromPropertiesFile"), qPrintable(first[2]));
    QCOMPARE(first[3], QString::number(line));
    QCOMPARE(first[4], QString("Failed to read [file-Setup.xml]. [error-2-13]"));
    QVERIFY(lines[1].startsWith("FATAL|") && lines[1].endsWith("|fatal goes on"));
    QVERIFY(lines[2].startsWith("ERROR|"));
    QVERIFY(lines[3].startsWith("INFO|"));
    QVERIFY(lines[4].endsWith("|through a named logger"));
}

void TestBaseLog::missingPropertiesFileIsRefused()
{
    QVERIFY(!Base::details::CLog::Configure(""));
    QVERIFY(!Base::details::CLog::Configure("/nonexistent/dir/x.properties"));
}

QTEST_GUILESS_MAIN(TestBaseLog)
#include "TestBaseLog.moc"
