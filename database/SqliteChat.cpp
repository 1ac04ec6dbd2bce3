// Rooms and chat messages: RoomInfo and MsgInfo.
#include "database/SqliteMgr.h"

#include "core/Logger.h"
#include "core/TextUtil.h"

#include <sqlite3.h>

namespace {

const wchar_t kMsgColumns[] =
    L"Insert into MsgInfo( room_id, user_id, user_name, user_nickname, server_id, role, sex, apply_time, msg, "
    L"font_bold, font_underline, font_size, font_itatic, font_color, font_family, time)";
const wchar_t kMsgValues[] = L"?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?";
const int kMsgValueCount = 16;
// SQLite accepts at most this many terms in one compound SELECT.
const size_t kBatchRows = 500;

// The stored numbers are those the client always wrote: 32-bit ids as signed decimals, the colour unsigned.
void AppendMessageValues(SqlArgs& args, const UserRecord& sender, const ChatFont& font, const CString& msg,
                         int32_t roomId, const CString& time)
{
    args.push_back(SqlValue::Int(roomId));
    args.push_back(SqlValue::Int(static_cast<int32_t>(sender.userId)));
    args.push_back(SqlValue::Text(sender.userName));
    args.push_back(SqlValue::Text(sender.nickName));
    args.push_back(SqlValue::Int(sender.serverId));
    args.push_back(SqlValue::Int(sender.role));
    args.push_back(SqlValue::Int(sender.sex));
    args.push_back(SqlValue::Int(static_cast<int32_t>(sender.applyTime)));
    args.push_back(SqlValue::Text(msg));
    args.push_back(SqlValue::Int(font.bold));
    args.push_back(SqlValue::Int(font.underline));
    args.push_back(SqlValue::Int(font.size));
    args.push_back(SqlValue::Int(font.italic));
    args.push_back(SqlValue::Int(static_cast<int64_t>(font.colour)));
    args.push_back(SqlValue::Text(font.family));
    args.push_back(SqlValue::Text(time));
}

// The same values bound straight into a batch statement, from parameter number first on.
int BindMessage(SqlStatement& statement, int first, const ChatRecord& r)
{
    int result = SQLITE_OK;
    int index = first;
    auto integer = [&](int64_t value) {
        if (result == SQLITE_OK) result = statement.BindInt(index, value);
        ++index;
    };
    auto text = [&](const CString& value) {
        if (result == SQLITE_OK) result = statement.BindText(index, value);
        ++index;
    };
    integer(r.roomId);
    integer(static_cast<int32_t>(r.sender.userId));
    text(r.sender.userName);
    text(r.sender.nickName);
    integer(r.sender.serverId);
    integer(r.sender.role);
    integer(r.sender.sex);
    integer(static_cast<int32_t>(r.sender.applyTime));
    text(r.msg);
    integer(r.font.bold);
    integer(r.font.underline);
    integer(r.font.size);
    integer(r.font.italic);
    integer(static_cast<int64_t>(r.font.colour));
    text(r.font.family);
    text(r.time);
    return result;
}

MsgInfoRecord ReadMessageRow(const SqlStatement& row)
{
    MsgInfoRecord record;
    record.msgId = row.Int(0);
    record.roomId = row.Int(1);
    record.sender.userId = static_cast<uint32_t>(row.Int(2));
    record.sender.userName = row.Text(3);
    record.sender.nickName = row.Text(4);
    record.sender.serverId = static_cast<uint16_t>(row.Int(5));
    record.sender.role = static_cast<uint8_t>(row.Int(6));
    record.sender.sex = row.Int(7);
    record.sender.applyTime = static_cast<uint32_t>(row.Int(8));
    record.msg = row.Text(9);
    record.font.bold = row.Int(10) != 0;
    record.font.underline = row.Int(11) != 0;
    record.font.size = row.Int(12);
    record.font.italic = row.Int(13) != 0;
    record.font.colour = static_cast<uint32_t>(row.Int64(14));
    record.font.family = row.Text(15);
    record.time = row.Text(16);
    return record;
}

// LIKE pattern of a search key: the backslash is the escape character, "%" stands for itself.
CString LikePattern(const CString& key)
{
    CString escaped(key);
    if (escaped.Find(L'\\') >= 0) escaped.Replace(L"\\", L"\\\\");
    if (escaped.Find(L'%') >= 0) escaped.Replace(L"%", L"\\%");
    return L"%" + escaped + L"%";
}

} // namespace

bool CSqliteMgr::InsertMsgInfo(const UserRecord& sender, const ChatFont& font, const CString& msg, int32_t roomId,
                               CString time)
{
    SqlArgs args;
    args.reserve(kMsgValueCount);
    AppendMessageValues(args, sender, font, msg, roomId, time);
    return ExecuteQuery(CString(kMsgColumns) + L"values(" + kMsgValues + L");", args);
}

bool CSqliteMgr::InsertMsgChunk(ChatRecordList::const_iterator first, size_t count)
{
    SqlStatement partial;
    SqlStatement& statement = count == kBatchRows ? m_fullChunk : partial;
    if (!statement.IsPrepared()) {
        CString sql(kMsgColumns);
        sql += L" select ";
        sql += kMsgValues;
        for (size_t i = 1; i < count; ++i) {
            sql += L" union all select ";
            sql += kMsgValues;
        }
        sql += L";";
        if (PrepareQuery(statement, sql, SqlArgs()) != SQLITE_OK) {
            m_lastError = SqlErrorText(m_db);
            LOG_ERROR(L"ExecuteQuery prepare Error:%s, Sql:%s", m_lastError.GetString(), sql.GetString());
            return false;
        }
    }
    statement.Reset();
    int result = SQLITE_OK;
    for (size_t i = 0; i < count && result == SQLITE_OK; ++i, ++first)
        result = BindMessage(statement, static_cast<int>(i) * kMsgValueCount + 1, *first);
    if (result == SQLITE_OK) result = statement.Step();
    statement.Reset(); // no bound texts or open step left in the kept statement
    if (result == SQLITE_DONE) return true;
    m_lastError = SqlErrorText(m_db);
    LOG_ERROR(L"ExecuteQuery step Error:%s, Sql:%s", m_lastError.GetString(), L"(chat batch)");
    return false;
}

bool CSqliteMgr::InsertMsgInfoBatch(ChatRecordList records)
{
    if (records.empty()) return true;
    if (records.size() == 1) {
        const ChatRecord& only = records.front();
        return InsertMsgInfo(only.sender, only.font, only.msg, only.roomId, only.time);
    }
    Lock lock(m_lock);
    if (!m_db) return false;
    // One transaction around the batch's statements (more than one when the batch has more rows than a
    // statement takes): the columns' ON CONFLICT FAIL keeps the rows before a failing one of the same
    // statement, so only an explicit ROLLBACK makes the batch land whole or not at all.
    int result = 0;
    CString error;
    if (!RunScript("BEGIN", result, error)) {
        LOG_ERROR(L"Insert chat batch failed while BEGIN a transaction! Error:%d, Description:%s", result,
                  error.GetString());
        return false;
    }
    bool ok = true;
    auto next = records.cbegin();
    for (size_t left = records.size(); ok && left > 0;) {
        size_t count = left < kBatchRows ? left : kBatchRows;
        ok = InsertMsgChunk(next, count);
        std::advance(next, count);
        left -= count;
    }
    if (ok && RunScript("COMMIT", result, error)) return true;
    if (ok)
        LOG_ERROR(L"Insert chat batch failed while COMMIT a transaction! Error:%d, Description:%s", result,
                  error.GetString());
    if (!sqlite3_get_autocommit(m_db) && !RunScript("ROLLBACK", result, error))
        LOG_ERROR(L"Insert chat batch failed while ROLLBACK a transaction! Error:%d, Description:%s", result,
                  error.GetString());
    return false;
}

bool CSqliteMgr::ReadMessages(const wchar_t* operation, const CString& sql, const SqlArgs& args,
                              std::vector<MsgInfoRecord>& records)
{
    Lock lock(m_lock);
    records.clear();
    if (!m_db) return false;
    SqlStatement statement;
    int result = PrepareQuery(statement, sql, args);
    if (result == SQLITE_OK)
        result = ForEachRow(statement, [&](const SqlStatement& row) { records.push_back(ReadMessageRow(row)); });
    if (result == SQLITE_DONE) return true;
    m_lastError = SqlErrorText(m_db);
    Logger::Instance().Write(L"%s gettable Error:%d, Description:%s", operation, result, m_lastError.GetString());
    records.clear();
    return false;
}

bool CSqliteMgr::QueryMsgInfo(int32_t roomId, int32_t firstIndex, int32_t lastIndex,
                              std::vector<MsgInfoRecord>& records)
{
    // An empty range asks for no rows (SQLite would read a negative limit as "all of them").
    int64_t limit = static_cast<int64_t>(lastIndex) - firstIndex + 1;
    SqlArgs args{SqlValue::Int(roomId), SqlValue::Int(limit > 0 ? limit : 0), SqlValue::Int(firstIndex)};
    return ReadMessages(L"QueryMsgInfo", L"select * from MsgInfo where room_id = ? limit ? offset ? ", args,
                        records);
}

bool CSqliteMgr::SearchByUserName(const CString& userName, std::vector<MsgInfoRecord>& records)
{
    return ReadMessages(L"SearchByUserName", L"select * from MsgInfo where user_name = ?",
                        SqlArgs{SqlValue::Text(userName)}, records);
}

bool CSqliteMgr::SearchByKey(const CString& key, std::vector<MsgInfoRecord>& records, int32_t roomId)
{
    SqlArgs args{SqlValue::Text(LikePattern(key))};
    if (roomId == 0)
        return ReadMessages(L"SearchByKey", L"select * from MsgInfo where msg like ? escape '\\'", args, records);
    args.push_back(SqlValue::Int(roomId));
    return ReadMessages(L"SearchByKey", L"select * from MsgInfo where msg like ? escape '\\' and room_id = ?",
                        args, records);
}

int32_t CSqliteMgr::GetMsgCount(int32_t roomId)
{
    return GetRecordCount(L"WHERE room_id = ?", L"MsgInfo", SqlArgs{SqlValue::Int(roomId)});
}

bool CSqliteMgr::DeleteMsgInfo(int32_t msgId)
{
    return ExecuteQuery(L"delete from MsgInfo where msg_id = ?", SqlArgs{SqlValue::Int(msgId)});
}

bool CSqliteMgr::DeleteMsgInfoPage(int32_t roomId, int32_t offset, int32_t limit)
{
    return ExecuteQuery(
        L"delete from MsgInfo where msg_id in (select msg_id from MsgInfo where room_id = ? limit ? offset ?)",
        SqlArgs{SqlValue::Int(roomId), SqlValue::Int(limit), SqlValue::Int(offset)});
}

bool CSqliteMgr::IsRoomExist(int32_t roomId)
{
    Lock lock(m_lock);
    if (!m_db) return false;
    SqlStatement statement;
    int result = PrepareQuery(statement, L"select * from RoomInfo where room_id = ?", SqlArgs{SqlValue::Int(roomId)});
    if (result == SQLITE_OK) result = statement.Step();
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) {
        m_lastError = SqlErrorText(m_db);
        Logger::Instance().Write(L"IsRoomExist gettable Error:%d, Description:%s", result, m_lastError.GetString());
    }
    return false;
}

bool CSqliteMgr::InsertRoomInfo(const RoomInfoRecord& room)
{
    Lock lock(m_lock);
    if (IsRoomExist(static_cast<int32_t>(room.roomId))) return false;
    SqlArgs args{SqlValue::Int(static_cast<int32_t>(room.roomId)), SqlValue::Int(room.maxAudience),
                 SqlValue::Int(room.maxAttendees),   SqlValue::Int(room.maxHosts),
                 SqlValue::Int(static_cast<int32_t>(room.roomState)),
                 SqlValue::Int(static_cast<int32_t>(room.quality)),
                 SqlValue::Text(room.roomName),      SqlValue::Text(room.description),
                 SqlValue::Text(room.startTime),     SqlValue::Text(room.duration),
                 SqlValue::Text(room.teacherName)};
    return ExecuteQuery(L"Insert into RoomInfo( room_id, maxAud, maxAtt, maxHost, room_state, quality, room_name, "
                        L"desc, start_time, dur, teacher) values(?,?,?,?,?,?,?,?,?,?,?)",
                        args);
}

bool CSqliteMgr::QueryRoomInfo(int32_t roomId, RoomInfoRecord& room)
{
    Lock lock(m_lock);
    if (!m_db) return false;
    SqlStatement statement;
    int result = PrepareQuery(statement, L"select * from RoomInfo where room_id = ?", SqlArgs{SqlValue::Int(roomId)});
    if (result == SQLITE_OK) result = statement.Step();
    if (result == SQLITE_ROW) {
        room.roomId = static_cast<uint32_t>(statement.Int(1));
        room.maxAudience = static_cast<uint16_t>(statement.Int(2));
        room.maxAttendees = static_cast<uint16_t>(statement.Int(3));
        room.maxHosts = static_cast<uint16_t>(statement.Int(4));
        room.roomState = static_cast<uint32_t>(statement.Int(5));
        room.quality = static_cast<uint32_t>(statement.Int(6));
        room.roomName = statement.Text(7);
        room.description = statement.Text(8);
        room.startTime = statement.Text(9);
        room.duration = statement.Text(10);
        room.teacherName = statement.Text(11);
        return true;
    }
    if (result == SQLITE_DONE) return true; // not stored: the record keeps its values
    m_lastError = SqlErrorText(m_db);
    Logger::Instance().Write(L"QueryRoomInfo gettable Error:%d, Description:%s", result, m_lastError.GetString());
    return false;
}

bool CSqliteMgr::GetAllRoomNames(std::map<int32_t, CString>& names)
{
    Lock lock(m_lock);
    names.clear();
    if (!m_db) return false;
    SqlStatement statement;
    int result = PrepareQuery(statement, L"select room_id, room_name from RoomInfo", SqlArgs());
    if (result == SQLITE_OK)
        result = ForEachRow(statement, [&](const SqlStatement& row) { names.emplace(row.Int(0), row.Text(1)); });
    if (result == SQLITE_DONE) return true;
    m_lastError = SqlErrorText(m_db);
    Logger::Instance().Write(L"GetAllRoomNames gettable Error:%d, Description:%s", result, m_lastError.GetString());
    return false;
}

bool CSqliteMgr::DeleteRoomInfo(int32_t roomId)
{
    return ExecuteQuery(L"delete from RoomInfo where room_id = ?", SqlArgs{SqlValue::Int(roomId)});
}
