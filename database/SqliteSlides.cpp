// Slide documents: PPTInfo with its PPTPageInfo rows, transfer states in PPTStatus, packages in LVLInfo.
#include "database/SqliteMgr.h"

#include "core/Logger.h"

#include <sqlite3.h>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

// Document ids are unsigned 64-bit; they go into integer columns as the same 64 bits, so ids of 2^63
// and more are found again exactly instead of turning into floating-point values.
SqlValue DocIdValue(uint64_t docId) { return SqlValue::Int(static_cast<int64_t>(docId)); }

// PPTStatus keeps the id as its decimal text.
SqlValue DocIdText(uint64_t docId) { return SqlValue::Text(std::to_string(static_cast<unsigned long long>(docId))); }

const wchar_t kStatusWhere[] = L"WHERE file_md5 = ? AND room_id = ?";

} // namespace

bool CSqliteMgr::SavePPTInfo(const ParamList& pages, uint64_t docId, int32_t roomId, const CString& fileName)
{
    Lock lock(m_lock);
    if (!m_db) return false;
    int result = 0;
    CString error;
    if (!RunScript("BEGIN", result, error)) {
        LOG_ERROR(L"Insert PPT info failed while BEGIN a transaction! Error:%d, Description:%s", result,
                  error.GetString());
        return false;
    }
    if (!SavePPTRows(pages, docId, roomId, fileName)) {
        LOG_ERROR(L"Insert PPT info failed! Error:%d, Description:%s", sqlite3_errcode(m_db),
                  m_lastError.GetString());
        if (!RunScript("ROLLBACK", result, error))
            LOG_ERROR(L"Insert PPT info failed while ROLLBACK a transaction! Error:%d, Description:%s", result,
                      error.GetString());
        return false;
    }
    if (RunScript("COMMIT", result, error)) return true;
    LOG_ERROR(L"Insert PPT info failed while COMMIT a transaction! Error:%d, Description:%s", result,
              error.GetString());
    // A transaction left open would swallow every later write of both threads.
    if (!sqlite3_get_autocommit(m_db)) RunScript("ROLLBACK", result, error);
    return false;
}

bool CSqliteMgr::SavePPTRows(const ParamList& pages, uint64_t docId, int32_t roomId, const CString& fileName)
{
    const CString where = L"WHERE file_id = ?";
    int count = CountRows(eTable_PPTInfo, where, SqlArgs{DocIdValue(docId)});
    bool ok;
    if (count < 1) {
        ok = ExecuteQuery(L"INSERT INTO PPTInfo (room_id, file_id, file_name, cur_page, total_page) VALUES (?, ?, ?, "
                          L"?, ?);",
                          SqlArgs{SqlValue::Int(roomId), DocIdValue(docId), SqlValue::Text(fileName),
                                  SqlValue::Int(pages.currentPage), SqlValue::Int(pages.pageCount)});
    } else {
        ok = ExecuteQuery(L"UPDATE PPTInfo SET room_id = ?, file_name = ?, cur_page = ?, total_page = ? " + where +
                              L";",
                          SqlArgs{SqlValue::Int(roomId), SqlValue::Text(fileName), SqlValue::Int(pages.currentPage),
                                  SqlValue::Int(pages.pageCount), DocIdValue(docId)});
    }
    if (!ok) return false;
    if (!ExecuteQuery(L"DELETE FROM PPTPageInfo " + where + L";", SqlArgs{DocIdValue(docId)})) return false;

    SqlStatement insert;
    if (PrepareQuery(insert, L"INSERT INTO PPTPageInfo (file_id, page_index, jpg_path) VALUES (?, ?, ?);",
                     SqlArgs()) != SQLITE_OK) {
        m_lastError = SqlErrorText(m_db);
        return false;
    }
    for (size_t i = 0; i < pages.values.size(); ++i) {
        insert.Reset();
        SqlArgs row{DocIdValue(docId), SqlValue::Int(static_cast<int64_t>(i)), SqlValue::Text(pages.values[i])};
        if (insert.Bind(row) != SQLITE_OK || insert.Step() != SQLITE_DONE) {
            m_lastError = SqlErrorText(m_db);
            return false;
        }
    }
    return true;
}

bool CSqliteMgr::GetPPTInfo(ParamList& pages, uint64_t docId)
{
    Lock lock(m_lock);
    if (!m_db) return false;
    SqlStatement document;
    int result = PrepareQuery(document, L"SELECT * FROM PPTInfo WHERE file_id = ?", SqlArgs{DocIdValue(docId)});
    bool any = false;
    int currentPage = 0;
    int pageCount = 0;
    if (result == SQLITE_OK) {
        result = ForEachRow(document, [&](const SqlStatement& row) {
            any = true;
            currentPage = row.Int(4);
            pageCount = row.Int(5);
        });
    }
    if (result != SQLITE_DONE) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"Get table PPTInfo failed! Error:%d, Description:%s", result, m_lastError.GetString());
        return false;
    }
    if (!any || document.ColumnCount() != 6) return false;
    pages.currentPage = static_cast<uint16_t>(currentPage);
    pages.pageCount = static_cast<uint16_t>(pageCount);

    SqlStatement pageRows;
    std::vector<CString> paths;
    result = PrepareQuery(pageRows, L"SELECT * FROM PPTPageInfo WHERE file_id = ? ORDER BY page_index",
                          SqlArgs{DocIdValue(docId)});
    if (result == SQLITE_OK)
        result = ForEachRow(pageRows, [&](const SqlStatement& row) { paths.push_back(row.Text(3)); });
    if (result != SQLITE_DONE) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"Get table PPTPageInfo failed! Error:%d, Description:%s", result, m_lastError.GetString());
        return false;
    }
    if (paths.empty() || pageRows.ColumnCount() != 4) return false;
    pages.values = std::move(paths);
    return true;
}

bool CSqliteMgr::GetPPTInfos(const std::vector<uint64_t>& docIds, std::map<uint64_t, ParamList>& found)
{
    if (docIds.empty()) return true;
    Lock lock(m_lock);
    if (!m_db) return false;
    CString in = L"(";
    SqlArgs ids;
    for (uint64_t docId : docIds) {
        in += ids.empty() ? L"?" : L", ?";
        ids.push_back(DocIdValue(docId));
    }
    in += L")";
    // As for one document: the last row of a document counts, and a document needs its page rows.
    std::map<uint64_t, ParamList> documents;
    SqlStatement rows;
    int result = PrepareQuery(rows, L"SELECT file_id, cur_page, total_page FROM PPTInfo WHERE file_id IN " + in, ids);
    if (result == SQLITE_OK) {
        result = ForEachRow(rows, [&](const SqlStatement& row) {
            ParamList& pages = documents[static_cast<uint64_t>(row.Int64(0))];
            pages.currentPage = static_cast<uint16_t>(row.Int(1));
            pages.pageCount = static_cast<uint16_t>(row.Int(2));
        });
    }
    if (result != SQLITE_DONE) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"Get table PPTInfo failed! Error:%d, Description:%s", result, m_lastError.GetString());
        return false;
    }
    if (documents.empty()) return true;
    SqlStatement pageRows;
    result = PrepareQuery(pageRows,
                          L"SELECT file_id, jpg_path FROM PPTPageInfo WHERE file_id IN " + in +
                              L" ORDER BY file_id, page_index",
                          ids);
    if (result == SQLITE_OK) {
        result = ForEachRow(pageRows, [&](const SqlStatement& row) {
            auto document = documents.find(static_cast<uint64_t>(row.Int64(0)));
            if (document != documents.end()) document->second.values.push_back(row.Text(1));
        });
    }
    if (result != SQLITE_DONE) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"Get table PPTPageInfo failed! Error:%d, Description:%s", result, m_lastError.GetString());
        return false;
    }
    for (auto& document : documents)
        if (!document.second.values.empty()) found[document.first] = std::move(document.second);
    return true;
}

bool CSqliteMgr::SavePPTStatus(int32_t status, const CString& fileMd5, int32_t roomId, uint64_t docId)
{
    if (fileMd5.IsEmpty() || status < ePPT_Finished || status > ePPT_Downloading) return false;
    Lock lock(m_lock);
    int count = GetRecordCount(kStatusWhere, L"PPTStatus", SqlArgs{SqlValue::Text(fileMd5), SqlValue::Int(roomId)});
    if (count < 1) {
        return ExecuteQuery(L"INSERT INTO PPTStatus (file_status, file_md5, room_id, file_id) VALUES (?, ?, ?, ?)",
                            SqlArgs{SqlValue::Int(status), SqlValue::Text(fileMd5), SqlValue::Int(roomId),
                                    DocIdText(docId)});
    }
    return ExecuteQuery(CString(L"UPDATE PPTStatus SET file_status = ?, room_id = ?, file_id = ? ") + kStatusWhere,
                        SqlArgs{SqlValue::Int(status), SqlValue::Int(roomId), DocIdText(docId),
                                SqlValue::Text(fileMd5), SqlValue::Int(roomId)});
}

bool CSqliteMgr::GetPPTStatus(int32_t& status, const CString& fileMd5, int32_t roomId, uint64_t* docId)
{
    if (fileMd5.IsEmpty()) return false;
    Lock lock(m_lock);
    if (!m_db) return false;
    CString sql = docId ? L"SELECT file_status, file_id FROM PPTStatus " : L"SELECT file_status FROM PPTStatus ";
    SqlStatement statement;
    int result = PrepareQuery(statement, sql + kStatusWhere, SqlArgs{SqlValue::Text(fileMd5), SqlValue::Int(roomId)});
    bool any = false;
    int32_t readStatus = 0;
    uint64_t readId = 0;
    if (result == SQLITE_OK) {
        result = ForEachRow(statement, [&](const SqlStatement& row) {
            any = true;
            readStatus = row.Int(0);
            if (docId) readId = std::strtoull(row.Utf8(1).c_str(), nullptr, 10);
        });
    }
    if (result != SQLITE_DONE) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"Get table PPTStatus failed! Error:%d, Description:%s", result, m_lastError.GetString());
        return false;
    }
    if (!any || statement.ColumnCount() != (docId ? 2 : 1)) return false;
    status = readStatus;
    if (docId) *docId = readId;
    return true;
}

bool CSqliteMgr::SetPPTStatus(int32_t status, const CString& fileMd5, int32_t roomId)
{
    if (fileMd5.IsEmpty()) return false;
    Lock lock(m_lock);
    SqlArgs where{SqlValue::Text(fileMd5), SqlValue::Int(roomId)};
    if (GetRecordCount(kStatusWhere, L"PPTStatus", where) < 1) return false;
    SqlArgs args{SqlValue::Int(status)};
    args.insert(args.end(), where.begin(), where.end());
    return ExecuteQuery(CString(L"UPDATE PPTStatus SET file_status = ? ") + kStatusWhere, args);
}

bool CSqliteMgr::SetPPTStatusFileId(uint64_t docId, const CString& fileMd5, int32_t roomId)
{
    if (fileMd5.IsEmpty()) return false;
    Lock lock(m_lock);
    SqlArgs where{SqlValue::Text(fileMd5), SqlValue::Int(roomId)};
    if (GetRecordCount(kStatusWhere, L"PPTStatus", where) < 1) return false;
    SqlArgs args{DocIdText(docId)};
    args.insert(args.end(), where.begin(), where.end());
    return ExecuteQuery(CString(L"UPDATE PPTStatus SET file_id = ? ") + kStatusWhere, args);
}

bool CSqliteMgr::DeletePPTStatus(const CString& fileMd5, int32_t roomId)
{
    if (fileMd5.IsEmpty()) return false;
    return ExecuteQuery(L"DELETE FROM PPTStatus WHERE file_md5 = ? AND room_id = ?",
                        SqlArgs{SqlValue::Text(fileMd5), SqlValue::Int(roomId)});
}

bool CSqliteMgr::DeletePPTStatusByFileId(uint64_t docId)
{
    return ExecuteQuery(L"DELETE FROM PPTStatus WHERE file_id = ?", SqlArgs{DocIdText(docId)});
}

bool CSqliteMgr::DeletePPTStatusByRoom(int32_t roomId)
{
    Lock lock(m_lock);
    if (!m_db) return false;
    SqlStatement statement;
    if (PrepareQuery(statement, L"DELETE FROM PPTStatus WHERE room_id = ?;", SqlArgs{SqlValue::Int(roomId)}) !=
        SQLITE_OK)
        return false;
    return statement.Step() == SQLITE_DONE;
}

bool CSqliteMgr::SaveLVLInfo(const CString& fileMd5, const CString& packagePath)
{
    if (fileMd5.IsEmpty()) return false;
    Lock lock(m_lock);
    int count = GetRecordCount(L"WHERE file_md5 = ?", L"LVLInfo", SqlArgs{SqlValue::Text(fileMd5)});
    if (count < 1) {
        return ExecuteQuery(L"INSERT INTO LVLInfo (file_md5, file_path, file_time) VALUES(?, ?, datetime('now', "
                            L"'+8 hour'))",
                            SqlArgs{SqlValue::Text(fileMd5), SqlValue::Text(packagePath)});
    }
    return ExecuteQuery(L"UPDATE LVLInfo SET file_path = ?, file_time = datetime('now', '+8 hour') WHERE file_md5 = ?",
                        SqlArgs{SqlValue::Text(packagePath), SqlValue::Text(fileMd5)});
}

bool CSqliteMgr::GetLVLInfo(const CString& fileMd5, CString& packagePath)
{
    if (fileMd5.IsEmpty()) return false;
    Lock lock(m_lock);
    if (!m_db) return false;
    SqlStatement statement;
    int result = PrepareQuery(statement, L"SELECT file_path FROM LVLInfo WHERE file_md5 = ?",
                              SqlArgs{SqlValue::Text(fileMd5)});
    bool any = false;
    CString path;
    if (result == SQLITE_OK) {
        result = ForEachRow(statement, [&](const SqlStatement& row) {
            any = true;
            path = row.Text(0);
        });
    }
    if (result != SQLITE_DONE) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"Get table LVLInfo failed! Error:%d, Description:%s", result, m_lastError.GetString());
        return false;
    }
    if (!any || statement.ColumnCount() != 1) return false;
    packagePath = path;
    if (SaveLVLInfo(fileMd5, path)) return true;
    LOG_ERROR(L"Update lvl time failed after getting it!");
    return false;
}
