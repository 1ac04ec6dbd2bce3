// The manager's life cycle, the schema and the statement machinery every operation uses.
#include "database/SqliteMgr.h"

#include "core/Folders.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/TextUtil.h"

#include <sqlite3.h>

namespace {

// The manager whose pen upsert SessionContext calls; the last one opened.
CSqliteMgr* g_penOwner = nullptr;

// The tables exactly as the client has always created them: existing files rely on these
// declared types and names (including "interger", "intege", "varchar(521)" and "font_itatic").
const wchar_t* CreateStatement(TableId id)
{
    switch (id) {
    case eTable_RoomInfo:
        return L"CREATE TABLE RoomInfo(innerid INTEGER NOT NULL ON CONFLICT FAIL PRIMARY KEY ON CONFLICT FAIL "
               L"AUTOINCREMENT, room_id integer not null on conflict fail, maxAud integer, maxAtt integer, "
               L"maxHost integer, room_state integer, quality integer, room_name VARCHAR(512) NOT NULL ON "
               L"CONFLICT FAIL, desc varchar(521), start_time varchar(512), dur varchar(512), teacher "
               L"varchar(512), backbuf varchar(512))";
    case eTable_MsgInfo:
        return L"CREATE TABLE MsgInfo(msg_id INTEGER NOT NULL ON CONFLICT FAIL PRIMARY KEY ON CONFLICT FAIL "
               L"AUTOINCREMENT, room_id integer not null on conflict fail, user_id integer not null, user_name "
               L"VARCHAR(512) NOT NULL ON CONFLICT FAIL, user_nickname VARCHAR(512) NOT NULL ON CONFLICT FAIL, "
               L"server_id integer, role integer, sex integer, apply_time integer, msg varchar(1024), font_bold "
               L"integer, font_underline integer, font_size integer, font_itatic intege, font_color integer, "
               L"font_family varchar(512), time varchar(256), backbuf varchar(512))";
    case eTable_OptionInfo:
        return L"CREATE TABLE OptionInfo(inner_id INTEGER NOT NULL ON CONFLICT FAIL PRIMARY KEY AUTOINCREMENT, "
               L"tip_option integer not null, content_option integer not null, nsnear interger not null, "
               L"agcnear integer not null, aecnear integer not null, nsfar integer not null, agcfar integer "
               L"not null, camera_id INTEGER NOT NULL, speaker_id INTEGER NOT NULL, mic_id INTEGER NOT NULL, "
               L"record_option INTEGER NOT NULL, ndatarate INTEGER NOT NULL, nframerate INTEGER NOT NULL, "
               L"nvideosize_option INTEGER NOT NULL, recordpath TEXT NOT NULL)";
    case eTable_QuestionInfo:
        return L"CREATE TABLE QuestionInfo(inner_id INTEGER NOT NULL ON CONFLICT FAIL PRIMARY KEY AUTOINCREMENT, "
               L"question_id INTEGER NOT NULL ON CONFLICT FAIL, questionServer_id INTEGER, user_id INTEGER NOT "
               L"NULL ON CONFLICT FAIL, room_id INTEGER NOT NULL ON CONFLICT FAIL, question VARCHAR(1024) NOT "
               L"NULL ON CONFLICT FAIL, allanswer varchar(1024), defaultanswer_index varchar(256), answer_count "
               L"integer, QuestionType integer, Question_time varchar(256))";
    case eTable_FontInfo:
        return L"CREATE TABLE FontInfo(inner_id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, font_bold INTEGER, "
               L"font_underline INTEGER, font_size INTEGER, font_itatic INTEGER, font_color INTEGER, "
               L"font_family VARCHAR(512))";
    case eTable_PPTInfo:
        return L"CREATE TABLE PPTInfo(inner_id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, room_id INTEGER NOT "
               L"NULL, file_id INTEGER NOT NULL, file_name VARCHAR(256), cur_page INTEGER DEFAULT 0, total_page "
               L"INTEGER NOT NULL, UNIQUE(file_id))";
    case eTable_PPTPageInfo:
        return L"CREATE TABLE PPTPageInfo(inner_id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, file_id INTEGER "
               L"NOT NULL, page_index INTEGER NOT NULL, jpg_path VARCHAR(256), UNIQUE(file_id, page_index))";
    case eTable_PPTStatus:
        return L"CREATE TABLE PPTStatus(inner_id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, room_id INTEGER NOT "
               L"NULL, file_id VARCHAR(32) NOT NULL, file_md5 VARCHAR(32) NOT NULL, file_status INTEGER NOT "
               L"NULL, UNIQUE(file_md5, room_id))";
    case eTable_PenInfo:
        return L"CREATE TABLE PenInfo(inner_id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, pen_color INTEGER, "
               L"pen_size INTEGER, pen_style INTEGER)";
    case eTable_LVLInfo:
        return L"CREATE TABLE LVLInfo(inner_id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, file_md5 VARCHAR(32) "
               L"NOT NULL, file_path VARCHAR(256), file_time DATETIME, UNIQUE(file_md5))";
    default:
        return nullptr;
    }
}

// Makes the empty file the first open finds, as the client always has.
void CreateEmptyFile(const CString& path)
{
    if (FileExists(path)) return;
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

} // namespace

IDBMgr* CSqliteMgr::GetInstance()
{
    static CSqliteMgr instance;
    return &instance;
}

CSqliteMgr::CSqliteMgr(const CString& dataFolder) : m_dataFolder(dataFolder)
{
    InitializeCriticalSection(&m_lock);
}

CSqliteMgr::~CSqliteMgr()
{
    if (g_penOwner == this) {
        SessionContext::SetPenStore(nullptr);
        g_penOwner = nullptr;
    }
    m_fullChunk.Finalize();
    if (m_db && m_closed == 0) sqlite3_close(m_db);
    m_db = nullptr;
    m_closed = 1;
    DeleteCriticalSection(&m_lock);
}

bool CSqliteMgr::Init(int32_t userId)
{
    Lock lock(m_lock);
    CString folder = m_dataFolder.IsEmpty() ? GetAppDataFolder() : m_dataFolder;
    if (!folder.IsEmpty() && folder[folder.GetLength() - 1] != L'\\') folder += L'\\';
    folder.AppendFormat(L"LocalDB\\%ld\\", userId);
    if (m_closed == 1) {
        EnsureFolder(folder);
        m_path = folder + L"dat_03.db";
        CreateEmptyFile(m_path);
    }
    if (!OpenSqlite()) return false;

    static const TableId kTables[] = {eTable_RoomInfo, eTable_MsgInfo, eTable_OptionInfo, eTable_QuestionInfo,
                                      eTable_FontInfo, eTable_PPTInfo, eTable_PPTPageInfo, eTable_PPTStatus,
                                      eTable_PenInfo, eTable_LVLInfo};
    for (TableId id : kTables) CreateTable(id); // a table that cannot be made fails its own operations

    g_penOwner = this;
    SessionContext::SetPenStore(&CSqliteMgr::StorePen);
    return ClearUnfinishedPPTStatus();
}

void CSqliteMgr::StorePen(uint32_t colour, int32_t style, int32_t width, int32_t /*orderKey*/)
{
    if (!g_penOwner) return;
    PenSetting pen;
    pen.colour = colour;
    pen.style = style;
    pen.size = width;
    g_penOwner->SavePenInfo(pen);
}

bool CSqliteMgr::OpenSqlite()
{
    Lock lock(m_lock);
    if (m_closed != 1) return true;
    std::string path = Utf16ToUtf8(m_path);
    sqlite3* db = nullptr;
    int result = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (result != SQLITE_OK) {
        m_lastError = SqlErrorText(db);
        Logger::Instance().Write(L"OpenSqlite Error:--------%s", m_lastError.GetString());
        sqlite3_close(db);
        m_db = nullptr;
        return false;
    }
    m_db = db;
    m_closed = 0;
    LOG_INFO(L"OpenSqlite Successfully. Threadsafe mode in compile time is %d", sqlite3_threadsafe());
    return true;
}

CString CSqliteMgr::GetTableName(int id)
{
    static const wchar_t* const kNames[] = {L"MsgInfo", L"RoomInfo", L"OptionInfo", L"VideoInfo",
                                            L"QuestionInfo", L"FontInfo", L"PPTInfo", L"PPTPageInfo",
                                            L"PPTStatus", L"PenInfo", L"LVLInfo"};
    if (id < 0 || id >= static_cast<int>(sizeof kNames / sizeof kNames[0])) return CString();
    return kNames[id];
}

bool CSqliteMgr::CreateTable(TableId id)
{
    Lock lock(m_lock);
    const wchar_t* create = CreateStatement(id);
    if (!create) return false;
    int count = GetRecordCount(L"WHERE type='table' AND name=?", L"sqlite_master",
                               SqlArgs{SqlValue::Text(GetTableName(id))});
    if (count >= 1) return true;
    return ExecuteQuery(create);
}

int CSqliteMgr::PrepareQuery(SqlStatement& statement, const CString& sql, const SqlArgs& args)
{
    int result = statement.Prepare(m_db, Utf16ToUtf8(sql));
    if (result == SQLITE_OK) result = statement.Bind(args);
    return result;
}

bool CSqliteMgr::ExecuteQuery(const CString& sql, const SqlArgs& args)
{
    Lock lock(m_lock);
    if (!m_db) return false;
    SqlStatement statement;
    int result = PrepareQuery(statement, sql, args);
    if (result != SQLITE_OK) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"ExecuteQuery prepare Error:%s, Sql:%s", m_lastError.GetString(), sql.GetString());
        return false;
    }
    result = statement.Step();
    if (result == SQLITE_DONE) return true;
    m_lastError = SqlErrorText(m_db);
    LOG_ERROR(L"ExecuteQuery step Error:%s, Sql:%s", m_lastError.GetString(), sql.GetString());
    return false;
}

int CSqliteMgr::CountRows(TableId id, const CString& where, const SqlArgs& args)
{
    return GetRecordCount(where, GetTableName(id), args);
}

int CSqliteMgr::GetRecordCount(const CString& where, const CString& table, const SqlArgs& args)
{
    Lock lock(m_lock);
    if (table.IsEmpty()) return -1;
    CString sql;
    if (where.IsEmpty())
        sql.Format(L"SELECT COUNT(*) FROM %s", table.GetString());
    else
        sql.Format(L"SELECT COUNT(*) FROM %s %s", table.GetString(), where.GetString());
    if (!m_db) return 0;
    SqlStatement statement;
    int result = PrepareQuery(statement, sql, args);
    if (result == SQLITE_OK) result = statement.Step();
    if (result != SQLITE_ROW) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"Get table %s(COUNT) failed! Error:%d, Description:%s", table.GetString(), result,
                  m_lastError.GetString());
        return -1;
    }
    return statement.Int(0);
}

bool CSqliteMgr::ClearUnfinishedPPTStatus()
{
    return ExecuteQuery(L"DELETE FROM PPTStatus WHERE file_status <> 0");
}

int CSqliteMgr::GetSqlite_db_column_count(const CString& sql)
{
    Lock lock(m_lock);
    if (!m_db) return 0;
    SqlStatement statement;
    if (statement.Prepare(m_db, Utf16ToUtf8(sql)) != SQLITE_OK) return -1;
    int result = statement.Step();
    if (result != SQLITE_DONE && result != SQLITE_ROW) return -1;
    Logger::Instance().Write(L"SqliteMgr: GetSqlite_db_column_count, result = %d", result);
    return statement.ColumnCount();
}

bool CSqliteMgr::RunScript(const char* sql, int& result, CString& error)
{
    char* message = nullptr;
    result = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    error = message ? Utf8ToWString(message) : CString();
    sqlite3_free(message);
    return result == SQLITE_OK;
}

bool CSqliteMgr::SaveSingleRow(TableId id, const CString& update, const CString& insert, const SqlArgs& args)
{
    Lock lock(m_lock);
    int count = CountRows(id, CString());
    if (count < 0 || count > 1) return false; // two rows: the table is not ours to repair
    return ExecuteQuery(count == 1 ? update : insert, args);
}
