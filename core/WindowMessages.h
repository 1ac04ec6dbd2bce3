// Every window message the client's threads and windows post to each other (WM_USER+100 to +150),
// in one list so that poster and receiver always agree on the number.
#pragma once
#include <windows.h>

enum : UINT {
    WM_USER_UI_NOTICE = WM_USER + 100,          // 1124 sub-code in wParam
    WM_USER_PANEL_ACTION = WM_USER + 101,       // 1125 WndMsgPayload
    WM_USER_PEN_CHANGED = WM_USER + 102,        // 1126 PaintPen
    WM_USER_PAINTOBJ_CHANGED = WM_USER + 103,   // 1127 PaintChangeRecord
    WM_USER_LOGIN_STATUS = WM_USER + 104,       // 1128 BSTR, to the login window
    WM_USER_EMOTION_SELECTED = WM_USER + 105,   // 1129
    WM_USER_VOLUME = WM_USER + 106,             // 1130
    WM_USER_OPTION_MENU = WM_USER + 107,        // 1131
    WM_USER_ERROR_BOX = WM_USER + 108,          // 1132
    WM_USER_CLEAR_PAGE = WM_USER + 109,         // 1133
    WM_USER_VIDEO_SIZE = WM_USER + 110,         // 1134 {u16 width, u16 height}, owned by the engine
    WM_USER_CLOSE_CONFIRM = WM_USER + 111,      // 1135
    WM_USER_SETTINGS_CHANGED = WM_USER + 112,   // 1136
    WM_USER_SYSTEM_TEXT = WM_USER + 113,        // 1137 BSTR
    WM_USER_VIDEO_SPEAK_ACTION = WM_USER + 114, // 1138
    WM_USER_MIC_REQUEST = WM_USER + 115,        // 1139
    WM_USER_MIC_LIST = WM_USER + 116,           // 1140
    // WM_USER + 117 (1141) carries no message.
    WM_USER_CONNECT_RESULT = WM_USER + 118,     // 1142 1 ok / 0 and the error code
    WM_USER_JOIN_ROOM_RESULT = WM_USER + 119,   // 1143 JoinRoomReply or the status
    WM_USER_UPDATE_NOTICE = WM_USER + 120,      // 1144 three strings
    WM_USER_ROOM_USERS = WM_USER + 121,         // 1145 vector of UserRecord pointers
    WM_USER_PRESENCE = WM_USER + 122,           // 1146 PresenceRecord
    WM_USER_CHAT_MESSAGE = WM_USER + 123,       // 1147 ChatMessageRecord
    WM_USER_OFFLINE = WM_USER + 124,            // 1148
    WM_USER_PAINT_LIST = WM_USER + 125,         // 1149 vector of received drawing objects
    WM_USER_LIVE_DOC = WM_USER + 126,           // 1150 LiveDocRecord
    WM_USER_LIVE_WHITEBOARD = WM_USER + 127,    // 1151 LiveWhiteboardRecord
    WM_USER_PAINT_PEN = WM_USER + 128,          // 1152 received pen
    WM_USER_PAINT_STROKE = WM_USER + 129,       // 1153 received stroke
    WM_USER_PAINT_REMOVE = WM_USER + 130,       // 1154 received removal
    WM_USER_CONVERT_PROGRESS = WM_USER + 131,   // 1155 ConvertProgress
    WM_USER_UPLOAD_RESULT = WM_USER + 132,      // 1156 FileTransStatus
    WM_USER_DOWNLOAD_RESULT = WM_USER + 133,    // 1157 FileTransStatus
    WM_USER_KICKED_OFF = WM_USER + 134,         // 1158
    WM_USER_FILE_NOTICE = WM_USER + 135,        // 1159 FileNoticeRecord
    WM_USER_FILE_LIST = WM_USER + 136,          // 1160 vector of FileNoticeRecord pointers
    WM_USER_LIVE_CAMERA = WM_USER + 137,        // 1161 LiveCameraRecord
    WM_USER_COUNTDOWN = WM_USER + 138,          // 1162 u32 seconds
    WM_USER_LOGGED_IN_ELSEWHERE = WM_USER + 139, // 1163
    WM_USER_LIVE_SCREEN_SHARE = WM_USER + 140,  // 1164 1 on / 0 off
    WM_USER_SWAP_SCREEN = WM_USER + 141,        // 1165
    WM_USER_SPEAK_STATE = WM_USER + 142,        // 1166 SpeakStateRecord
    WM_USER_CLASS_STATE = WM_USER + 143,        // 1167 ClassStateRecord
    WM_USER_REFRESH_RESULT = WM_USER + 144,     // 1168 1 ok / 0 failed
    WM_USER_CASTMIX_NOTIFY = WM_USER + 145,     // 1169 from the media engine
    WM_USER_FORBID_SPEAKING = WM_USER + 146,    // 1170 ForbidSpeakingRecord
    WM_USER_QUESTION = WM_USER + 147,           // 1171 QuestionRecord
    WM_USER_WORD_ARRAY = WM_USER + 148,         // 1172 WordArrayRecord
    WM_USER_LIVING_STATE = WM_USER + 149,       // 1173 LiveState
    WM_USER_VIDEO_SPEAK = WM_USER + 150,        // 1174 VideoSpeakRecord
};
static_assert(WM_USER_CASTMIX_NOTIFY == 0x491, "the media engine is told this number");
