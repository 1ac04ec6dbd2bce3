// Chat rows per second: the writer's batch path against plain prepared inserts in one transaction,
// on the same database file. Run: build/wine-run build/bin/database_bench.exe [rows] [batch]
#include "bench/BenchClock.h"
#include "core/Folders.h"
#include "core/TextUtil.h"
#include "database/ChatRecordsTask.h"
#include "database/SqliteMgr.h"

#include <sqlite3.h>
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

ChatRecord MakeChat(int n, int32_t roomId)
{
    ChatRecord record;
    record.roomId = roomId;
    record.sender.userId = 1000u + static_cast<uint32_t>(n % 50);
    record.sender.userName.Format(L"student%d", n % 50);
    record.sender.nickName.Format(L"Student %d", n % 50);
    record.msg.Format(L"chat message number %d, with a little text as a class chat has", n);
    record.time = L"2026-12-09 06:00:00";
    return record;
}

ChatRecordList MakeBatch(int first, int count, int32_t roomId)
{
    ChatRecordList list;
    for (int i = 0; i < count; ++i) list.push_back(MakeChat(first + i, roomId));
    return list;
}

// The batch path: one InsertMsgInfoBatch per period's worth of records, as the writer thread hands over.
double BatchPath(CSqliteMgr& db, int rows, int batch, int32_t roomId)
{
    double total = 0;
    for (int done = 0; done < rows; done += batch) {
        int count = rows - done < batch ? rows - done : batch;
        ChatRecordList list = MakeBatch(done, count, roomId);
        double start = Seconds();
        if (!db.InsertMsgInfoBatch(std::move(list))) return -1;
        total += Seconds() - start;
    }
    return total;
}

// The same rows through the writer thread itself: queue them, then stop (which writes everything).
double TaskPath(CSqliteMgr& db, int rows, int32_t roomId)
{
    ChatRecordList all = MakeBatch(0, rows, roomId);
    double start = Seconds();
    {
        CChatRecordsTask task(nullptr, &db);
        if (!task.Start()) return -1;
        for (ChatRecord& record : all) task.AddRecord(std::move(record));
    }
    return Seconds() - start;
}

bool Bind(sqlite3_stmt* statement, int index, const CString& text)
{
    std::string utf8 = Utf16ToUtf8(text);
    return sqlite3_bind_text(statement, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

// Plain inserts: one prepared statement, bound and stepped per row, in one transaction.
double PlainInserts(const CString& path, int rows, int batch, int32_t roomId)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(Utf16ToUtf8(path).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return -1;
    const char* sql = "Insert into MsgInfo( room_id, user_id, user_name, user_nickname, server_id, role, sex, "
                      "apply_time, msg, font_bold, font_underline, font_size, font_itatic, font_color, "
                      "font_family, time)values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);";
    sqlite3_stmt* statement = nullptr;
    double total = 0;
    bool ok = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK;
    for (int done = 0; ok && done < rows; done += batch) {
        int count = rows - done < batch ? rows - done : batch;
        ChatRecordList list = MakeBatch(done, count, roomId);
        double start = Seconds();
        ok = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
        for (const ChatRecord& r : list) {
            if (!ok) break;
            sqlite3_reset(statement);
            sqlite3_bind_int64(statement, 1, r.roomId);
            sqlite3_bind_int64(statement, 2, static_cast<int32_t>(r.sender.userId));
            ok = Bind(statement, 3, r.sender.userName) && Bind(statement, 4, r.sender.nickName);
            sqlite3_bind_int64(statement, 5, r.sender.serverId);
            sqlite3_bind_int64(statement, 6, r.sender.role);
            sqlite3_bind_int64(statement, 7, r.sender.sex);
            sqlite3_bind_int64(statement, 8, static_cast<int32_t>(r.sender.applyTime));
            ok = ok && Bind(statement, 9, r.msg);
            sqlite3_bind_int64(statement, 10, r.font.bold);
            sqlite3_bind_int64(statement, 11, r.font.underline);
            sqlite3_bind_int64(statement, 12, r.font.size);
            sqlite3_bind_int64(statement, 13, r.font.italic);
            sqlite3_bind_int64(statement, 14, static_cast<int64_t>(r.font.colour));
            ok = ok && Bind(statement, 15, r.font.family) && Bind(statement, 16, r.time);
            ok = ok && sqlite3_step(statement) == SQLITE_DONE;
        }
        ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        total += Seconds() - start;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return ok ? total : -1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int rows = argc > 1 ? _wtoi(argv[1]) : 50000;
    int batch = argc > 2 ? _wtoi(argv[2]) : 5000;
    if (rows <= 0 || batch <= 0) {
        std::printf("usage: database_bench [rows] [batch]\n");
        return 2;
    }
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    CString folder;
    folder.Format(L"%slvbench_%lu\\", temp, GetCurrentProcessId());
    SetAppDataFolderOverride(folder); // the log goes there too
    CSqliteMgr db(folder);
    if (!db.Init(1)) {
        std::printf("cannot open the database in %S\n", folder.GetString());
        return 1;
    }

    // Best of five rounds each, alternating, so neither side profits from a warm cache alone.
    double batchBest = 1e9, plainBest = 1e9, taskBest = 1e9;
    for (int round = 0; round < 5; ++round) {
        double b = BatchPath(db, rows, batch, 100 + round);
        double p = PlainInserts(db.GetPath(), rows, batch, 200 + round);
        double t = TaskPath(db, rows, 300 + round);
        if (b < 0 || p < 0 || t < 0) {
            std::printf("a write failed (round %d)\n", round);
            return 1;
        }
        if (b < batchBest) batchBest = b;
        if (p < plainBest) plainBest = p;
        if (t < taskBest) taskBest = t;
    }
    double batchRate = rows / batchBest, plainRate = rows / plainBest, taskRate = rows / taskBest;
    std::printf("rows %d, batch %d\n", rows, batch);
    std::printf("batch path (InsertMsgInfoBatch): %10.0f rows/s\n", batchRate);
    std::printf("writer thread (queue, then stop): %10.0f rows/s\n", taskRate);
    std::printf("plain prepared inserts:          %10.0f rows/s\n", plainRate);
    std::printf("ratio batch / plain: %.2f (aim: at least 1.00)\n", batchRate / plainRate);
    return 0;
}
