#pragma once

// Small access layer over SQLite 3. Errors are reported through results,
// never by exceptions; GetLastError() tells the last reason.

#include <string>
#include <vector>

struct sqlite3;
struct SQLite3Api;

// The rows of one query, as text values (NULL reads as empty).
class CSQLite3Recordset
{
public:
    CSQLite3Recordset();

    // Whether the query returned at least one row.
    bool HasRow() const;
    int RowCount() const;
    int ColumnCount() const;
    // Moves to the next row; false when there is none.
    bool MoveNext();
    // Value of a column of the current row; 0 / empty when out of range.
    int GetInt(int column) const;
    std::string GetString(int column) const;

    void Clear();
    void AddRow(const std::vector<std::string>& row);

private:
    std::vector<std::vector<std::string>> m_rows;
    int m_current;
};

class CSQLite3Conn
{
public:
    CSQLite3Conn();
    ~CSQLite3Conn();
    CSQLite3Conn(const CSQLite3Conn&) = delete;
    CSQLite3Conn& operator=(const CSQLite3Conn&) = delete;

    // Opens the database at the UTF-8 path; with `createIfMissing` false a
    // missing file fails. `key` is accepted for compatibility and ignored
    // on this platform (no encryption).
    bool Open(const std::string& utf8Path, bool createIfMissing, const std::string& key);
    bool IsOpen() const;
    // Runs one or more statements that return no rows.
    bool Execute(const std::string& sql);
    // Runs a query and fills the recordset with its rows.
    bool Execute(const std::string& sql, CSQLite3Recordset& recordset);
    void Close();
    std::string GetLastError() const;

private:
    const SQLite3Api* m_api; // the loaded library's functions while open
    sqlite3* m_db;
    std::string m_lastError;
};
