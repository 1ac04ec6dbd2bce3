// One prepared statement with its values bound, finalized when it goes out of scope.
#pragma once
#include "platform/afx/AfxString.h"
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A value bound to one "?" of a statement: every text reaches SQLite as data, never as SQL.
struct SqlValue {
    enum Kind { eInteger, eText };
    Kind kind;
    int64_t integer;
    std::string text; // UTF-8

    static SqlValue Int(int64_t value) { return SqlValue{eInteger, value, std::string()}; }
    static SqlValue Text(const CString& value);
    static SqlValue Text(std::string utf8) { return SqlValue{eText, 0, std::move(utf8)}; }
};
using SqlArgs = std::vector<SqlValue>;

class SqlStatement {
public:
    SqlStatement() = default;
    ~SqlStatement() { Finalize(); }
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    // Answers SQLite's result code; on failure no statement is held.
    int Prepare(sqlite3* db, const std::string& sql);
    // Binds the values to the parameters 1..n in order; answers SQLite's result code.
    int Bind(const SqlArgs& args);
    int BindAt(int index, const SqlValue& value);
    int BindInt(int index, int64_t value);
    int BindText(int index, const CString& value);
    // Makes the statement ready to run again with new values.
    void Reset();
    int Step();
    void Finalize();

    bool IsPrepared() const { return m_statement != nullptr; }
    int ColumnCount() const;
    // Cells of the current row; a column out of range reads as 0 or empty.
    int64_t Int64(int column) const;
    int32_t Int(int column) const { return static_cast<int32_t>(Int64(column)); }
    CString Text(int column) const;
    std::string Utf8(int column) const;

private:
    sqlite3_stmt* m_statement = nullptr;
};

// SQLite's error text of a connection as UTF-16.
CString SqlErrorText(sqlite3* db);

// Steps a prepared statement through every row, calling onRow for each; answers SQLITE_DONE (101)
// when all rows were read, else the failing result code.
template <typename OnRow>
int ForEachRow(SqlStatement& statement, OnRow onRow)
{
    for (;;) {
        int result = statement.Step();
        if (result != 100 /* SQLITE_ROW */) return result;
        onRow(statement);
    }
}
