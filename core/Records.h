// The plain records that windows, the room protocol and the database hand each other.
#pragma once
#include "platform/afx/AfxString.h"
#include <windows.h>
#include <cstdint>
#include <vector>

// Role and speaking state in one byte.
enum UserRole : uint8_t {
    eRole_Student = 1,
    eRole_SpeakerVoice = 2,
    eRole_Teacher = 3,
    eRole_Assistant = 5,
    eRole_Host = 128,
    eRole_StudentAlt = 129,
    eRole_MicApplied = 130,
    eRole_MicConnecting = 131,
    eRole_SpeakerVideo = 132,
    eRole_SpeakerVideoAlt = 133,
};

bool IsTeacherRole(uint8_t role);
bool IsSpeakingRole(uint8_t role);
bool IsStudentRole(uint8_t role);
// The media engine's role code: 4 student, 3 speaker, 2 teacher, 0 anything else.
int GetCastmixRole(uint8_t role);

struct UserRecord {
    int32_t sex = 1;
    uint16_t serverId = 0;
    uint32_t userId = 0;
    CString userName;
    CString nickName; // the screen name
    uint8_t role = eRole_Teacher;
    uint32_t applyTime = GetTickCount(); // orders the microphone queue
};

struct RoomInfoRecord {
    uint32_t roomId = 0;
    uint16_t maxAudience = 500;
    uint16_t maxAttendees = 1;
    uint16_t maxHosts = 1;
    uint32_t roomState = 1; // 2 class running, 4 class over
    uint32_t quality = 1;
    CString roomName;
    CString description;
    CString startTime; // 14 digits: year month day hour minute second
    CString duration;  // minutes
    CString teacherName;
    uint32_t roomFlags = 0xFFFF; // bit 0 speaking mode, bit 1 discussion allowed; never stored
};

// One switch of the audio processing, kept in a 32-bit slot as the engine reads it.
struct AudioProcessingPair {
    uint32_t enabled;
    int32_t level;
};

struct AudioProcessingSettings {
    AudioProcessingPair nearNoiseSuppression{1, 2};
    AudioProcessingPair nearGainControl{0, 2};
    AudioProcessingPair nearEchoCancellation{1, 3};
    AudioProcessingPair farNoiseSuppression{0, 2};
    AudioProcessingPair farGainControl{0, 3};
};
static_assert(sizeof(AudioProcessingSettings) == 40, "ten 32-bit words");
bool AudioProcessingSettingsEqual(const AudioProcessingSettings& a, const AudioProcessingSettings& b);

struct OptionSettings {
    int32_t recordOption = 2;
    int32_t dataRate = 2000;
    int32_t frameRate = 20;
    int32_t videoSizeOption = 0;
    CString recordFolder = L"C:\\LVRecord";
    uint8_t tipOption = 0;
    uint8_t contentOption = 0;
    AudioProcessingSettings audio;
    int32_t microphoneId = 0;
    int32_t speakerId = 0;
    int32_t cameraId = 0;
};

// The longest chat line, in UTF-16 units: the client sends none longer, and cuts any received one
// to it, since one write of tens of thousands of characters keeps the window from answering.
const int kChatTextLimit = 4096;

struct ChatFont {
    uint8_t bold = 0;
    uint8_t underline = 0;
    uint8_t italic = 0;
    int32_t size = 12;
    uint32_t colour = 0xFF000000;
    CString family = L"Terminal";
};

struct ParamList {
    uint16_t pageCount = 0;
    uint16_t currentPage = 0;
    std::vector<CString> values; // page image paths, or plain strings
    void Clear();
};

struct DocPageList : ParamList {
    uint64_t docId = 0;
};

// Kinds of panel action; the payload's data follows the kind.
enum PanelKind : int32_t {
    ePanel_None = 0,
    ePanel_Camera = 1,     // int32_t camera index
    ePanel_Document = 2,   // DocPageList
    ePanel_Whiteboard = 3, // uint16_t page
    ePanel_ScreenShare = 4 // no data
};

class WndMsgPayload {
public:
    WndMsgPayload() = default;
    WndMsgPayload(const WndMsgPayload& other);
    WndMsgPayload& operator=(const WndMsgPayload& other);
    ~WndMsgPayload() { Reset(); }

    // Frees the data by its kind and clears handle and kind.
    void Reset();
    void SetCamera(HWND source, int32_t cameraIndex);
    void SetDocument(HWND source, const DocPageList& pages);
    void SetWhiteboard(HWND source, uint16_t page);
    void SetScreenShare(HWND source);

    HWND source = nullptr;
    int32_t kind = ePanel_None;
    void* data = nullptr; // owned; type by kind

    int32_t* Camera() const { return kind == ePanel_Camera ? static_cast<int32_t*>(data) : nullptr; }
    DocPageList* Document() const { return kind == ePanel_Document ? static_cast<DocPageList*>(data) : nullptr; }
    uint16_t* WhiteboardPage() const { return kind == ePanel_Whiteboard ? static_cast<uint16_t*>(data) : nullptr; }

private:
    static void* CopyData(int32_t kind, const void* data);
    static void FreeData(int32_t kind, void* data);
};

// A document known to the main window.
struct FileItemRecord {
    uint64_t fileId = 0;
    CString name;
    uint8_t flag = 0;
    uint64_t value = 0;
    CString text1;
    ParamList pages;
    CString text2;
    uint32_t extra = 0;
    ~FileItemRecord();
};

// A line waiting for a chat output: a message (sender, font, text, the time it arrived) or a notice.
struct ChatOutputLine {
    bool system = false;
    UserRecord sender;
    ChatFont font;
    CString text;
    CString time;
};
