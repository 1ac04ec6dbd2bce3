// A fresh database per test, and a second connection that looks at the file as another program would.
#pragma once
#include "database/SqliteMgr.h"
#include "tests/support/TestFolders.h"

#include <functional>
#include <memory>
#include <string>

struct sqlite3;

// An independent connection to a database file, for checks behind the manager's back.
class RawDb {
public:
    explicit RawDb(const CString& path);
    ~RawDb();
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    bool IsOpen() const { return m_db != nullptr; }
    bool Exec(const std::string& sql);
    // Every row as "cell|cell", rows separated by "\n" (no trailing one); NULL reads "NULL".
    std::string Query(const std::string& sql);
    long long Number(const std::string& sql);

private:
    sqlite3* m_db = nullptr;
};

class TestDatabase {
public:
    explicit TestDatabase(int32_t userId = 1);
    CSqliteMgr& Mgr() { return *m_mgr; }
    CSqliteMgr* operator->() { return m_mgr.get(); }
    const CString& Folder() const { return m_folder.Path(); }
    CString FilePath() const;
    // Closes the manager (as at process exit) and opens a new one on the same folder.
    bool Reopen();
    void Close() { m_mgr.reset(); }

    int32_t userId;

private:
    TempFolder m_folder;
    std::unique_ptr<CSqliteMgr> m_mgr;
};

// A message whose every field depends on n, so rows can be told apart and their order checked.
ChatRecord MakeChat(int n, int32_t roomId = 7, const CString& text = CString());
// Every row of the room in rowid order holds "message 0".."message count-1", as MakeChat wrote them.
void ExpectNumberedRows(CSqliteMgr& mgr, int32_t roomId, int count);
// Polls until pred holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs);
// Texts that break SQL built by string formatting, and non-Latin text.
extern const wchar_t* const kHardTexts[];
extern const size_t kHardTextCount;
