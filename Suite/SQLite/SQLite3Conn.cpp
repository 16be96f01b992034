#include "SQLite/SQLite3Conn.h"

#include "SQLite3Library.h"

namespace {

// Collects the rows of a query into a recordset.
int collectRow(void* context, int columns, char** values, char** /*names*/)
{
    std::vector<std::string> row;
    row.reserve(columns);
    for (int i = 0; i < columns; ++i)
        row.emplace_back(values[i] ? values[i] : "");
    static_cast<CSQLite3Recordset*>(context)->AddRow(row);
    return 0;
}

} // namespace

CSQLite3Conn::CSQLite3Conn()
    : m_api(nullptr)
    , m_db(nullptr)
{
}

CSQLite3Conn::~CSQLite3Conn()
{
    Close();
}

bool CSQLite3Conn::Open(const std::string& utf8Path, bool createIfMissing, const std::string& /*key*/)
{
    Close();
    if (utf8Path.empty()) {
        m_lastError = "empty database path";
        return false;
    }
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX;
    if (createIfMissing)
        flags |= SQLITE_OPEN_CREATE;
    const SQLite3Api* api = SQLite3Library::acquire(m_lastError);
    if (!api)
        return false;
    sqlite3* db = nullptr;
    const int rc = api->open_v2(utf8Path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        m_lastError = db ? api->errmsg(db) : api->errstr(rc);
        api->close_v2(db);
        SQLite3Library::release();
        return false;
    }
    api->busy_timeout(db, 2000);
    m_api = api;
    m_db = db;
    m_lastError.clear();
    return true;
}

bool CSQLite3Conn::IsOpen() const
{
    return m_db != nullptr;
}

bool CSQLite3Conn::Execute(const std::string& sql)
{
    CSQLite3Recordset ignored;
    return Execute(sql, ignored);
}

bool CSQLite3Conn::Execute(const std::string& sql, CSQLite3Recordset& recordset)
{
    recordset.Clear();
    if (!m_db) {
        m_lastError = "database not open";
        return false;
    }
    char* message = nullptr;
    const int rc = m_api->exec(m_db, sql.c_str(), collectRow, &recordset, &message);
    if (rc != SQLITE_OK) {
        m_lastError = message ? message : m_api->errstr(rc);
        m_api->free(message);
        return false;
    }
    m_lastError.clear();
    return true;
}

void CSQLite3Conn::Close()
{
    if (m_db) {
        m_api->close_v2(m_db);
        m_db = nullptr;
        m_api = nullptr;
        SQLite3Library::release();
    }
}

std::string CSQLite3Conn::GetLastError() const
{
    return m_lastError;
}
