#include "SQLite/SQLite3Conn.h"

#include <cstdlib>

CSQLite3Recordset::CSQLite3Recordset()
    : m_current(0)
{
}

bool CSQLite3Recordset::HasRow() const
{
    return m_current < static_cast<int>(m_rows.size());
}

int CSQLite3Recordset::RowCount() const
{
    return static_cast<int>(m_rows.size());
}

int CSQLite3Recordset::ColumnCount() const
{
    return m_rows.empty() ? 0 : static_cast<int>(m_rows.front().size());
}

bool CSQLite3Recordset::MoveNext()
{
    if (m_current < static_cast<int>(m_rows.size()))
        ++m_current;
    return HasRow();
}

int CSQLite3Recordset::GetInt(int column) const
{
    return std::atoi(GetString(column).c_str());
}

std::string CSQLite3Recordset::GetString(int column) const
{
    if (!HasRow() || column < 0)
        return std::string();
    const std::vector<std::string>& row = m_rows[m_current];
    if (column >= static_cast<int>(row.size()))
        return std::string();
    return row[column];
}

void CSQLite3Recordset::Clear()
{
    m_rows.clear();
    m_current = 0;
}

void CSQLite3Recordset::AddRow(const std::vector<std::string>& row)
{
    m_rows.push_back(row);
}
