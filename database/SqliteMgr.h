// The one implementation of IDBMgr: a per-user SQLite file "LocalDB\<user id>\dat_03.db".
#pragma once
#include "database/DBMgr.h"
#include "database/SqlStatement.h"
#include <windows.h>
#include <functional>
#include <string>

struct sqlite3;

class CSqliteMgr : public IDBMgr {
public:
    // The process-wide manager, created on first call and closed at process exit.
    static IDBMgr* GetInstance();

    // A manager of its own (tests, benchmarks). An empty data folder means the client's data folder.
    explicit CSqliteMgr(const CString& dataFolder = CString());
    ~CSqliteMgr() override;
    CSqliteMgr(const CSqliteMgr&) = delete;
    CSqliteMgr& operator=(const CSqliteMgr&) = delete;

    bool Init(int32_t userId) override;
    bool DeletePPTStatusByRoom(int32_t roomId) override;
    bool QueryMsgInfo(int32_t roomId, int32_t firstIndex, int32_t lastIndex,
                      std::vector<MsgInfoRecord>& records) override;
    bool QueryRoomInfo(int32_t roomId, RoomInfoRecord& room) override;
    bool InsertMsgInfoBatch(ChatRecordList records) override;
    bool InsertMsgInfo(const UserRecord& sender, const ChatFont& font, const CString& msg, int32_t roomId,
                       CString time) override;
    bool InsertRoomInfo(const RoomInfoRecord& room) override;
    bool GetAllRoomNames(std::map<int32_t, CString>& names) override;
    bool SearchByUserName(const CString& userName, std::vector<MsgInfoRecord>& records) override;
    bool SearchByKey(const CString& key, std::vector<MsgInfoRecord>& records, int32_t roomId) override;
    bool DeleteMsgInfo(int32_t msgId) override;
    bool DeleteRoomInfo(int32_t roomId) override;
    bool DeleteMsgInfoPage(int32_t roomId, int32_t offset, int32_t limit) override;
    int32_t GetMsgCount(int32_t roomId) override;
    bool SaveOptionInfo(const OptionSettings& options) override;
    bool GetOptionInfo(OptionSettings& options) override;
    bool QueryQuestionInfo(int32_t roomId, int32_t userId, std::vector<QuestionRecord>& records) override;
    void QueryQuestionByServerId(int32_t serverQuestionId, QuestionRecord& record) override;
    bool InsertQuestionInfo(const QuestionRecord& record) override;
    bool SetQuestionServerId(int32_t serverQuestionId, int32_t questionId) override;
    int32_t GetQuestionTableLastRowId() override;
    int GetSqlite_db_column_count(const CString& sql) override;
    bool SaveFontInfo(const ChatFont& font) override;
    bool GetFontInfo(ChatFont& font) override;
    bool SavePPTInfo(const ParamList& pages, uint64_t docId, int32_t roomId, const CString& fileName) override;
    bool GetPPTInfo(ParamList& pages, uint64_t docId) override;
    bool GetPPTInfos(const std::vector<uint64_t>& docIds, std::map<uint64_t, ParamList>& found) override;
    bool SavePPTStatus(int32_t status, const CString& fileMd5, int32_t roomId, uint64_t docId) override;
    bool GetPPTStatus(int32_t& status, const CString& fileMd5, int32_t roomId, uint64_t* docId) override;
    bool SetPPTStatus(int32_t status, const CString& fileMd5, int32_t roomId) override;
    bool SetPPTStatusFileId(uint64_t docId, const CString& fileMd5, int32_t roomId) override;
    bool DeletePPTStatusByFileId(uint64_t docId) override;
    bool DeletePPTStatus(const CString& fileMd5, int32_t roomId) override;
    bool SavePenInfo(const PenSetting& pen) override;
    bool GetPenInfo(PenSetting& pen) override;
    bool SaveLVLInfo(const CString& fileMd5, const CString& packagePath) override;
    bool GetLVLInfo(const CString& fileMd5, CString& packagePath) override;

    bool IsRoomExist(int32_t roomId);

    bool OpenSqlite();
    bool CreateTable(TableId id);
    // Runs one statement that returns no rows, with its values bound to the "?" in order.
    bool ExecuteQuery(const CString& sql, const SqlArgs& args = SqlArgs());
    static CString GetTableName(int id);
    int CountRows(TableId id, const CString& where, const SqlArgs& args = SqlArgs());
    // -1 on failure or for an empty table name, 0 without a database.
    int GetRecordCount(const CString& where, const CString& table, const SqlArgs& args = SqlArgs());
    bool ClearUnfinishedPPTStatus();

    bool IsOpen() const { return m_closed == 0 && m_db != nullptr; }
    const CString& GetPath() const { return m_path; }
    const CString& GetLastError() const { return m_lastError; }

private:
    // Held around every whole operation, so a count and its write, or a transaction, never interleave
    // with the other thread's statements on the shared connection.
    class Lock {
    public:
        explicit Lock(CRITICAL_SECTION& section) : m_section(section) { EnterCriticalSection(&m_section); }
        ~Lock() { LeaveCriticalSection(&m_section); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
    private:
        CRITICAL_SECTION& m_section;
    };

    // Prepares the statement and binds the values; the caller logs a failure with its own line.
    int PrepareQuery(SqlStatement& statement, const CString& sql, const SqlArgs& args);
    bool RunScript(const char* sql, int& result, CString& error);
    // Fills from the last row of a single-row table whose SELECT * has the expected column count.
    bool ReadLastRow(const wchar_t* table, int columns, const std::function<void(const SqlStatement&)>& fill);
    bool SaveSingleRow(TableId id, const CString& update, const CString& insert, const SqlArgs& args);
    bool InsertMsgChunk(ChatRecordList::const_iterator first, size_t count);
    bool ReadMessages(const wchar_t* operation, const CString& sql, const SqlArgs& args,
                      std::vector<MsgInfoRecord>& records);
    bool SavePPTRows(const ParamList& pages, uint64_t docId, int32_t roomId, const CString& fileName);
    static void StorePen(uint32_t colour, int32_t style, int32_t width, int32_t orderKey);

    // The statement of a full batch chunk, kept prepared: parsing a 500-term compound SELECT costs
    // more than running it.
    SqlStatement m_fullChunk;

    int32_t m_closed = 1;
    sqlite3* m_db = nullptr;
    CString m_dataFolder;
    CString m_path;
    CString m_lastError;
    CRITICAL_SECTION m_lock;
};
