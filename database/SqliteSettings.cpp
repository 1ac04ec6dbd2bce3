// The user's single-row settings (options, chat font, pen) and the questions put to the class.
#include "database/SqliteMgr.h"

#include "core/Logger.h"

#include <sqlite3.h>

namespace {

// An audio-processing switch and its level share one column: level x 10 when on, the level when off.
int32_t EncodeAudio(const AudioProcessingPair& pair) { return pair.enabled ? pair.level * 10 : pair.level; }

AudioProcessingPair DecodeAudio(int32_t stored)
{
    if (stored >= 10) return AudioProcessingPair{1, stored / 10};
    return AudioProcessingPair{0, stored};
}

QuestionRecord ReadQuestionRow(const SqlStatement& row)
{
    QuestionRecord record;
    record.questionId = static_cast<uint32_t>(row.Int(1));
    record.serverQuestionId = static_cast<uint32_t>(row.Int(2));
    record.userId = static_cast<uint32_t>(row.Int(3));
    record.roomId = static_cast<uint32_t>(row.Int(4));
    record.questionText = row.Text(5);
    record.allAnswers = row.Text(6);
    record.defaultAnswerIndex = row.Text(7);
    record.answerCount = static_cast<uint32_t>(row.Int(8));
    record.questionType = row.Int(9);
    record.questionTime = row.Text(10);
    return record;
}

} // namespace

bool CSqliteMgr::ReadLastRow(const wchar_t* table, int columns,
                             const std::function<void(const SqlStatement&)>& fill)
{
    Lock lock(m_lock);
    if (!m_db) return false;
    CString sql;
    sql.Format(L"SELECT * FROM %s", table);
    SqlStatement statement;
    int result = PrepareQuery(statement, sql, SqlArgs());
    if (result != SQLITE_OK) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"Get table %s failed! Error:%d, Description:%s", table, result, m_lastError.GetString());
        return false;
    }
    if (statement.ColumnCount() != columns) return false;
    bool any = false;
    result = ForEachRow(statement, [&](const SqlStatement& row) {
        any = true;
        fill(row); // each row over the one before: the last row is what remains
    });
    if (result != SQLITE_DONE) {
        m_lastError = SqlErrorText(m_db);
        LOG_ERROR(L"Get table %s failed! Error:%d, Description:%s", table, result, m_lastError.GetString());
        return false;
    }
    return any;
}

bool CSqliteMgr::SaveOptionInfo(const OptionSettings& options)
{
    const AudioProcessingSettings& audio = options.audio;
    SqlArgs args{SqlValue::Int(options.tipOption),
                 SqlValue::Int(options.contentOption),
                 SqlValue::Int(EncodeAudio(audio.nearNoiseSuppression)),
                 SqlValue::Int(EncodeAudio(audio.nearGainControl)),
                 SqlValue::Int(EncodeAudio(audio.nearEchoCancellation)),
                 SqlValue::Int(EncodeAudio(audio.farNoiseSuppression)),
                 SqlValue::Int(EncodeAudio(audio.farGainControl)),
                 SqlValue::Int(options.cameraId),
                 SqlValue::Int(options.speakerId),
                 SqlValue::Int(options.microphoneId),
                 SqlValue::Int(options.recordOption),
                 SqlValue::Int(options.dataRate),
                 SqlValue::Int(options.frameRate),
                 SqlValue::Int(options.videoSizeOption),
                 SqlValue::Text(options.recordFolder)};
    return SaveSingleRow(
        eTable_OptionInfo,
        L"UPDATE OptionInfo SET tip_option = ?, content_option = ?, nsnear = ?, agcnear = ?, aecnear = ?, "
        L"nsfar = ?, agcfar = ?, camera_id = ?, speaker_id = ?, mic_id = ?, record_option = ?, ndatarate = ?, "
        L"nframerate = ?, nvideosize_option = ?, recordpath = ?",
        L"INSERT INTO OptionInfo (tip_option, content_option, nsnear, agcnear, aecnear, nsfar, agcfar, camera_id, "
        L"speaker_id, mic_id, record_option, ndatarate, nframerate, nvideosize_option, recordpath) VALUES (?, ?, ?, "
        L"?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        args);
}

bool CSqliteMgr::GetOptionInfo(OptionSettings& options)
{
    OptionSettings read = options;
    bool ok = ReadLastRow(L"OptionInfo", 16, [&](const SqlStatement& row) {
        read.tipOption = row.Int(1) == 1;
        read.contentOption = row.Int(2) == 1;
        read.audio.nearNoiseSuppression = DecodeAudio(row.Int(3));
        read.audio.nearGainControl = DecodeAudio(row.Int(4));
        read.audio.nearEchoCancellation = DecodeAudio(row.Int(5));
        read.audio.farNoiseSuppression = DecodeAudio(row.Int(6));
        read.audio.farGainControl = DecodeAudio(row.Int(7));
        read.cameraId = row.Int(8);
        read.speakerId = row.Int(9);
        read.microphoneId = row.Int(10);
        read.recordOption = row.Int(11);
        read.dataRate = row.Int(12);
        read.frameRate = row.Int(13);
        read.videoSizeOption = row.Int(14);
        read.recordFolder = row.Text(15);
    });
    if (ok) options = read;
    return ok;
}

bool CSqliteMgr::SaveFontInfo(const ChatFont& font)
{
    SqlArgs args{SqlValue::Int(font.bold ? 1 : 0),   SqlValue::Int(font.underline ? 1 : 0),
                 SqlValue::Int(font.size),           SqlValue::Int(font.italic ? 1 : 0),
                 SqlValue::Int(static_cast<int64_t>(font.colour)), SqlValue::Text(font.family)};
    return SaveSingleRow(eTable_FontInfo,
                         L"UPDATE FontInfo SET font_bold = ?, font_underline = ?, font_size = ?, font_itatic = ?, "
                         L"font_color = ?, font_family = ?",
                         L"INSERT INTO FontInfo (font_bold, font_underline, font_size, font_itatic, font_color, "
                         L"font_family) VALUES (?, ?, ?, ?, ?, ?)",
                         args);
}

bool CSqliteMgr::GetFontInfo(ChatFont& font)
{
    ChatFont read = font;
    bool ok = ReadLastRow(L"FontInfo", 7, [&](const SqlStatement& row) {
        read.bold = row.Int(1) == 1;
        read.underline = row.Int(2) == 1;
        read.size = row.Int(3);
        read.italic = row.Int(4) == 1;
        read.colour = static_cast<uint32_t>(row.Int64(5));
        read.family = row.Text(6);
    });
    if (ok) font = read;
    return ok;
}

bool CSqliteMgr::SavePenInfo(const PenSetting& pen)
{
    SqlArgs args{SqlValue::Int(static_cast<int64_t>(pen.colour)), SqlValue::Int(pen.size), SqlValue::Int(pen.style)};
    return SaveSingleRow(eTable_PenInfo, L"UPDATE PenInfo Set pen_color = ?, pen_size = ?, pen_style = ?",
                         L"INSERT INTO PenInfo (pen_color, pen_size, pen_style) VALUES (?, ?, ?)", args);
}

bool CSqliteMgr::GetPenInfo(PenSetting& pen)
{
    PenSetting read = pen;
    bool ok = ReadLastRow(L"PenInfo", 4, [&](const SqlStatement& row) {
        read.colour = static_cast<uint32_t>(row.Int64(1));
        read.size = row.Int(2);
        read.style = row.Int(3);
    });
    if (ok) pen = read;
    return ok;
}

bool CSqliteMgr::QueryQuestionInfo(int32_t roomId, int32_t userId, std::vector<QuestionRecord>& records)
{
    Lock lock(m_lock);
    if (!m_db) return false;
    SqlStatement statement;
    int result = PrepareQuery(statement, L"select * from QuestionInfo where  room_id = ? and user_id = ?",
                              SqlArgs{SqlValue::Int(roomId), SqlValue::Int(userId)});
    if (result == SQLITE_OK)
        result = ForEachRow(statement, [&](const SqlStatement& row) { records.push_back(ReadQuestionRow(row)); });
    if (result == SQLITE_DONE) return true;
    m_lastError = SqlErrorText(m_db);
    Logger::Instance().Write(L"QueryQuestionInfo gettable Error:%d, Description:%s", result,
                             m_lastError.GetString());
    return false;
}

void CSqliteMgr::QueryQuestionByServerId(int32_t serverQuestionId, QuestionRecord& record)
{
    Lock lock(m_lock);
    if (!m_db) return;
    SqlStatement statement;
    int result = PrepareQuery(statement, L"select * from QuestionInfo where questionServer_id = ?",
                              SqlArgs{SqlValue::Int(serverQuestionId)});
    if (result == SQLITE_OK && statement.Step() == SQLITE_ROW) {
        std::vector<CString> answers = record.answers; // not stored: the caller's list stays
        record = ReadQuestionRow(statement);
        record.answers = answers;
    }
}

int32_t CSqliteMgr::GetQuestionTableLastRowId()
{
    Lock lock(m_lock);
    if (!m_db) return 0;
    SqlStatement statement;
    int32_t last = 0;
    int result = PrepareQuery(statement, L"select question_id from QuestionInfo", SqlArgs());
    if (result == SQLITE_OK) result = ForEachRow(statement, [&](const SqlStatement& row) { last = row.Int(0); });
    if (result == SQLITE_DONE) return last;
    m_lastError = SqlErrorText(m_db);
    Logger::Instance().Write(L"GetQuestionTableLastRowId gettable Error:%d, Description:%s", result,
                             m_lastError.GetString());
    return 0;
}

bool CSqliteMgr::InsertQuestionInfo(const QuestionRecord& record)
{
    if (record.questionText.IsEmpty() || record.allAnswers.IsEmpty()) return false;
    Lock lock(m_lock); // the new id and its row belong together
    if (!m_db) return false;
    int32_t questionId = GetQuestionTableLastRowId() + 1;
    SqlArgs args{SqlValue::Int(questionId),
                 SqlValue::Int(static_cast<int32_t>(record.serverQuestionId)),
                 SqlValue::Int(static_cast<int32_t>(record.userId)),
                 SqlValue::Int(static_cast<int32_t>(record.roomId)),
                 SqlValue::Text(record.questionText),
                 SqlValue::Text(record.allAnswers),
                 SqlValue::Text(record.defaultAnswerIndex),
                 SqlValue::Int(static_cast<int32_t>(record.answerCount)),
                 SqlValue::Int(record.questionType),
                 SqlValue::Text(record.questionTime)};
    return ExecuteQuery(L"Insert into QuestionInfo( question_id, questionServer_id, user_id, room_id, question, "
                        L"allanswer, defaultanswer_index, answer_count,QuestionType, Question_time) "
                        L"values(?,?,?,?,?,?,?,?,?,?)",
                        args);
}

bool CSqliteMgr::SetQuestionServerId(int32_t serverQuestionId, int32_t questionId)
{
    return ExecuteQuery(L"Update QuestionInfo set questionServer_id=? where question_id = ?",
                        SqlArgs{SqlValue::Int(serverQuestionId), SqlValue::Int(questionId)});
}
