#include "database/SqlStatement.h"

#include "core/TextUtil.h"

#include <sqlite3.h>

SqlValue SqlValue::Text(const CString& value) { return SqlValue{eText, 0, Utf16ToUtf8(value)}; }

int SqlStatement::Prepare(sqlite3* db, const std::string& sql)
{
    Finalize();
    if (!db) return SQLITE_MISUSE;
    int result = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_statement, nullptr);
    if (result != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    } else if (!m_statement) {
        result = SQLITE_MISUSE; // only blanks or comments: nothing to run
    }
    return result;
}

int SqlStatement::BindAt(int index, const SqlValue& value)
{
    if (!m_statement) return SQLITE_MISUSE;
    if (value.kind == SqlValue::eInteger) return sqlite3_bind_int64(m_statement, index, value.integer);
    return sqlite3_bind_text(m_statement, index, value.text.data(), static_cast<int>(value.text.size()),
                             SQLITE_TRANSIENT);
}

int SqlStatement::BindInt(int index, int64_t value)
{
    return m_statement ? sqlite3_bind_int64(m_statement, index, value) : SQLITE_MISUSE;
}

int SqlStatement::BindText(int index, const CString& value)
{
    if (!m_statement) return SQLITE_MISUSE;
    std::string utf8 = Utf16ToUtf8(value);
    return sqlite3_bind_text(m_statement, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

int SqlStatement::Bind(const SqlArgs& args)
{
    for (size_t i = 0; i < args.size(); ++i) {
        int result = BindAt(static_cast<int>(i) + 1, args[i]);
        if (result != SQLITE_OK) return result;
    }
    return SQLITE_OK;
}

void SqlStatement::Reset()
{
    if (!m_statement) return;
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

int SqlStatement::Step() { return m_statement ? sqlite3_step(m_statement) : SQLITE_MISUSE; }

void SqlStatement::Finalize()
{
    if (m_statement) sqlite3_finalize(m_statement);
    m_statement = nullptr;
}

int SqlStatement::ColumnCount() const { return m_statement ? sqlite3_column_count(m_statement) : 0; }

int64_t SqlStatement::Int64(int column) const
{
    if (!m_statement || column < 0 || column >= ColumnCount()) return 0;
    return sqlite3_column_int64(m_statement, column);
}

std::string SqlStatement::Utf8(int column) const
{
    if (!m_statement || column < 0 || column >= ColumnCount()) return std::string();
    const unsigned char* text = sqlite3_column_text(m_statement, column);
    int length = sqlite3_column_bytes(m_statement, column);
    if (!text || length <= 0) return std::string();
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

CString SqlStatement::Text(int column) const { return Utf8ToWString(Utf8(column)); }

CString SqlErrorText(sqlite3* db) { return db ? Utf8ToWString(sqlite3_errmsg(db)) : CString(L"no database"); }
