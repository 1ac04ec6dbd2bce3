// The client's record database, reached only through CSqliteMgr::GetInstance().
#pragma once
#include "core/QuestionRecord.h"
#include "core/Records.h"
#include "database/DbRecords.h"
#include "platform/afx/AfxString.h"
#include <cstdint>
#include <map>
#include <vector>

class IDBMgr {
public:
    virtual ~IDBMgr() = default;

    // Opens or creates the user's database, creates missing tables, drops unfinished transfers.
    virtual bool Init(int32_t userId) = 0;
    virtual bool DeletePPTStatusByRoom(int32_t roomId) = 0;

    // Rooms and chat messages. Every query empties the caller's array first.
    virtual bool QueryMsgInfo(int32_t roomId, int32_t firstIndex, int32_t lastIndex,
                              std::vector<MsgInfoRecord>& records) = 0;
    virtual bool QueryRoomInfo(int32_t roomId, RoomInfoRecord& room) = 0;
    // All records in list order, rising msg_id, or none.
    virtual bool InsertMsgInfoBatch(ChatRecordList records) = 0;
    virtual bool InsertMsgInfo(const UserRecord& sender, const ChatFont& font, const CString& msg, int32_t roomId,
                               CString time) = 0;
    // False when the room is stored already; a stored room is never updated.
    virtual bool InsertRoomInfo(const RoomInfoRecord& room) = 0;
    virtual bool GetAllRoomNames(std::map<int32_t, CString>& names) = 0;
    virtual bool SearchByUserName(const CString& userName, std::vector<MsgInfoRecord>& records) = 0;
    // The key anywhere in the text; "_" in the key matches any one character. Room 0: every room.
    virtual bool SearchByKey(const CString& key, std::vector<MsgInfoRecord>& records, int32_t roomId) = 0;
    virtual bool DeleteMsgInfo(int32_t msgId) = 0;
    virtual bool DeleteRoomInfo(int32_t roomId) = 0;
    // A negative limit means every row from the offset on.
    virtual bool DeleteMsgInfoPage(int32_t roomId, int32_t offset, int32_t limit) = 0;
    // -1 on failure, 0 without a database.
    virtual int32_t GetMsgCount(int32_t roomId) = 0;

    // Options, questions, font (single-row tables keep the caller's values when a read fails).
    virtual bool SaveOptionInfo(const OptionSettings& options) = 0;
    virtual bool GetOptionInfo(OptionSettings& options) = 0;
    // Appends to the caller's array.
    virtual bool QueryQuestionInfo(int32_t roomId, int32_t userId, std::vector<QuestionRecord>& records) = 0;
    // Leaves the record unchanged when no row matches.
    virtual void QueryQuestionByServerId(int32_t serverQuestionId, QuestionRecord& record) = 0;
    virtual bool InsertQuestionInfo(const QuestionRecord& record) = 0;
    virtual bool SetQuestionServerId(int32_t serverQuestionId, int32_t questionId) = 0;
    virtual int32_t GetQuestionTableLastRowId() = 0;
    // Result columns of a statement; -1 when it cannot run, 0 without a database.
    virtual int GetSqlite_db_column_count(const CString& sql) = 0;
    virtual bool SaveFontInfo(const ChatFont& font) = 0;
    virtual bool GetFontInfo(ChatFont& font) = 0;

    // Slide documents: the document row and its page rows change together or not at all.
    virtual bool SavePPTInfo(const ParamList& pages, uint64_t docId, int32_t roomId, const CString& fileName) = 0;
    virtual bool GetPPTInfo(ParamList& pages, uint64_t docId) = 0;
    // The stored pages of several documents in two queries: an id is in the map only where GetPPTInfo
    // would succeed for it. False when a read fails.
    virtual bool GetPPTInfos(const std::vector<uint64_t>& docIds, std::map<uint64_t, ParamList>& found) = 0;
    virtual bool SavePPTStatus(int32_t status, const CString& fileMd5, int32_t roomId, uint64_t docId) = 0;
    virtual bool GetPPTStatus(int32_t& status, const CString& fileMd5, int32_t roomId, uint64_t* docId) = 0;
    // False without writing when no row exists for the MD5 and room (the caller then saves).
    virtual bool SetPPTStatus(int32_t status, const CString& fileMd5, int32_t roomId) = 0;
    virtual bool SetPPTStatusFileId(uint64_t docId, const CString& fileMd5, int32_t roomId) = 0;
    virtual bool DeletePPTStatusByFileId(uint64_t docId) = 0;
    virtual bool DeletePPTStatus(const CString& fileMd5, int32_t roomId) = 0;
    virtual bool SavePenInfo(const PenSetting& pen) = 0;
    virtual bool GetPenInfo(PenSetting& pen) = 0;
    virtual bool SaveLVLInfo(const CString& fileMd5, const CString& packagePath) = 0;
    // Also moves the package's time stamp to now.
    virtual bool GetLVLInfo(const CString& fileMd5, CString& packagePath) = 0;
};
