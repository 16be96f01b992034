#pragma once
// Where the logger runs on log4cplus (Windows), the location record of a log
// line keeps log4cxx's name and constructor, so the callers build it alike.

namespace log4cxx {
namespace spi {

class LocationInfo
{
public:
    LocationInfo(const char* fileName, const char* shortFileName, const char* methodName, int lineNumber)
        : m_fileName(fileName)
        , m_shortFileName(shortFileName)
        , m_methodName(methodName)
        , m_lineNumber(lineNumber)
    {
    }

    const char* getFileName() const { return m_fileName; }
    const char* getShortFileName() const { return m_shortFileName; }
    const char* getMethodName() const { return m_methodName; }
    int getLineNumber() const { return m_lineNumber; }

private:
    const char* m_fileName;
    const char* m_shortFileName;
    const char* m_methodName;
    int m_lineNumber;
};

} // namespace spi
} // namespace log4cxx
