// The records the database reads and writes besides the shared ones of core/Records.h.
#pragma once
#include "core/Records.h"
#include "platform/afx/AfxString.h"
#include <cstdint>
#include <list>

// Numbering of the tables for creation and row counting.
enum TableId : int {
    eTable_MsgInfo = 0,
    eTable_RoomInfo = 1,
    eTable_OptionInfo = 2,
    eTable_VideoInfo = 3, // has a name but no table
    eTable_QuestionInfo = 4,
    eTable_FontInfo = 5,
    eTable_PPTInfo = 6,
    eTable_PPTPageInfo = 7,
    eTable_PPTStatus = 8,
    eTable_PenInfo = 9,
    eTable_LVLInfo = 10,
};

// One chat message on its way into MsgInfo.
struct ChatRecord {
    UserRecord sender;
    ChatFont font;
    CString msg;
    CString time; // "%Y-%m-%d %H:%M:%S" local time, filled by the main window
    int32_t roomId = 0;
};
using ChatRecordList = std::list<ChatRecord>;

// One MsgInfo row as read back.
struct MsgInfoRecord {
    int32_t roomId = 0;
    int32_t msgId = 0;
    UserRecord sender;
    ChatFont font;
    CString time;
    CString msg;
};

// The whiteboard pen as stored.
struct PenSetting {
    uint32_t colour = 0xFF000000;
    int32_t style = 0;
    int32_t size = 3;
};

// Slide-document transfer states kept in PPTStatus.
enum PPTStatusCode : int32_t {
    ePPT_Finished = 0,
    ePPT_Picked = 1,
    ePPT_Uploading = 2,
    ePPT_Downloading = 3,
};
