#include "tests/database/DbTestSupport.h"

#include "core/TextUtil.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

RawDb::RawDb(const CString& path)
{
    std::string utf8 = Utf16ToUtf8(path);
    if (sqlite3_open_v2(utf8.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    if (m_db) sqlite3_busy_timeout(m_db, 5000);
}

RawDb::~RawDb()
{
    if (m_db) sqlite3_close(m_db);
}

bool RawDb::Exec(const std::string& sql)
{
    return m_db && sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string RawDb::Query(const std::string& sql)
{
    std::string out;
    sqlite3_stmt* statement = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return "<error>";
    int result;
    bool first = true;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
        if (!first) out += "\n";
        first = false;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            if (c) out += "|";
            const unsigned char* text = sqlite3_column_text(statement, c);
            out += text ? reinterpret_cast<const char*>(text) : "NULL";
        }
    }
    sqlite3_finalize(statement);
    return result == SQLITE_DONE ? out : "<error>";
}

long long RawDb::Number(const std::string& sql)
{
    std::string text = Query(sql);
    return text.empty() || text == "<error>" ? -999 : std::atoll(text.c_str());
}

TestDatabase::TestDatabase(int32_t user) : userId(user), m_folder(L"db"), m_mgr(new CSqliteMgr(m_folder.Path()))
{
    m_mgr->Init(userId);
}

CString TestDatabase::FilePath() const
{
    CString path;
    path.Format(L"%sLocalDB\\%ld\\dat_03.db", m_folder.Path().GetString(), userId);
    return path;
}

bool TestDatabase::Reopen()
{
    m_mgr.reset(new CSqliteMgr(m_folder.Path()));
    return m_mgr->Init(userId);
}

ChatRecord MakeChat(int n, int32_t roomId, const CString& text)
{
    ChatRecord record;
    record.roomId = roomId;
    record.sender.userId = 1000u + static_cast<uint32_t>(n);
    record.sender.serverId = static_cast<uint16_t>(n % 7);
    record.sender.sex = n % 2;
    record.sender.role = (n % 3 == 0) ? eRole_Student : eRole_Teacher;
    record.sender.applyTime = 50000u + static_cast<uint32_t>(n);
    record.sender.userName.Format(L"user%d", n);
    record.sender.nickName.Format(L"nick%d", n);
    record.font.bold = n % 2;
    record.font.size = 9 + n % 5;
    record.msg = text.IsEmpty() ? CString() : text;
    if (record.msg.IsEmpty()) record.msg.Format(L"message %d", n);
    record.time.Format(L"2026-12-09 06:%02d:%02d", (n / 60) % 60, n % 60);
    return record;
}

void ExpectNumberedRows(CSqliteMgr& mgr, int32_t roomId, int count)
{
    std::vector<MsgInfoRecord> rows;
    ASSERT_TRUE(mgr.QueryMsgInfo(roomId, 0, count + 10, rows));
    ASSERT_EQ(rows.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        CString want;
        want.Format(L"message %d", i);
        ASSERT_EQ(rows[i].msg, want) << "row " << i;
        if (i > 0) {
            ASSERT_GT(rows[i].msgId, rows[i - 1].msgId);
        }
    }
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(5);
    }
    return true;
}

const wchar_t* const kHardTexts[] = {
    L"it's",
    L"'",
    L"''; DROP TABLE MsgInfo; --",
    L"\"double\" quotes",
    L"100% sure",
    L"snake_case_name",
    L"back\\slash\\",
    L"\x4e2d\x6587\x540d\x5b57",               // Chinese
    L"\x041f\x0440\x0438\x0432\x0435\x0442",   // Cyrillic
    L"emoji \xd83d\xde00 pair",                // a surrogate pair
    L"tab\tand\r\nnew line",
    L"?1 ?2 :name @x $y",                      // parameter look-alikes
};
const size_t kHardTextCount = sizeof kHardTexts / sizeof kHardTexts[0];
