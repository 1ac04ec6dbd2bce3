// The client's one process-wide session record: who we are, which room, which servers, which window.
#pragma once
#include "core/LanguageTable.h"
#include "core/Records.h"
#include "core/ServerNode.h"
#include "platform/afx/AfxString.h"
#include <windows.h>
#include <cstdint>

// Lifetime: a context that was ever the instance is kept until the process ends. Connection threads
// may outlive the teardown's bounded waits (a name lookup cannot be interrupted), so freeing it would
// leave them reading freed memory. Ending the session instead clears the main window and the roster,
// so a late thread's posts fail harmlessly and its records are freed. Worker threads reach the context
// only through Existing(), never through Instance(), so no thread re-creates it during exit.
class SessionContext {
public:
    // Created on first call (UI thread): defaults, then the language table, then "Lumenvale.ini".
    static SessionContext* Instance();
    // The instance if it exists, without creating it: the accessor of worker threads.
    static SessionContext* Existing();
    // Ends the session (teardown, or a second client exiting): the instance is retired, not freed,
    // its window and roster are cleared, and Existing() answers null from then on.
    static void Destroy();

    // Parses the command line as a launch link: 0 parsed, 1 empty, 2 scheme not locatable,
    // 3 wrong parameter count.
    int ParseLaunchUrl();
    // Reads "Lumenvale.ini" of the program folder over the current values.
    void LoadConfig();
    void LoadConfig(const CString& path);

    CString GetCommandLine() const { return commandLine; }
    CString GetUserName() const { return userName; }
    CString GetScreenName() const { return screenName; }
    CString GetGatewayHost() const { return gatewayHost; }
    CString GetSecondGatewayHost() const { return secondGatewayHost; }
    CString GetRoomName() const { return room.roomName; }
    OptionSettings GetOptionSettings() const { return options; }
    // The configured stream server when it has an address and a port, else the chosen one.
    ServerNode GetStreamServer() const;

    // Increments under the sequence lock; the first call answers 1.
    uint32_t NextSequence();
    // The key of the next pen the teacher announces: the counter the join set from the room's drawing id
    // base grows by one, so the room's page paints the pens in the order they were chosen. It never
    // wraps: at the top the key repeats, which still sorts after every earlier one.
    uint32_t NextDrawingKey()
    {
        if (drawingOrderKey < 0xFFFFFFFFu) ++drawingOrderKey;
        return drawingOrderKey;
    }
    // Keys above this leave too little room for the pens of a class still to come.
    static const uint32_t kHighestDrawingKey = 0xFFFFFFFFu - 0x10000u;
    // Raises the counter to key, never lowers it; false, with the counter unchanged, for a key above
    // kHighestDrawingKey (wider than 32 bits, so that a base plus an offset cannot wrap on the way).
    bool RaiseDrawingKey(uint64_t key)
    {
        if (key > kHighestDrawingKey) return false;
        if (key > drawingOrderKey) drawingOrderKey = static_cast<uint32_t>(key);
        return true;
    }
    // Stores and saves the pen when any of the four values changed.
    void SetPenSettings(uint32_t colour, int32_t style, int32_t width, int32_t orderKey);
    // The database installs the pen store when it opens; without it pens stay in memory only.
    using PenStore = void (*)(uint32_t colour, int32_t style, int32_t width, int32_t orderKey);
    static void SetPenStore(PenStore store);

    // The local user as a participant record.
    UserRecord LocalUser() const;

    HWND mainWindow = nullptr;
    CString commandLine;
    RoomInfoRecord room;
    int32_t userSex = 1;
    uint16_t userServerId = 0;
    uint32_t userId = 0;
    CString userName;
    CString screenName;
    uint8_t role = eRole_Teacher;
    uint32_t applyTime = 0;
    OptionSettings options;
    CString gatewayHost;
    CString secondGatewayHost;
    int32_t gatewayPort = 6789;
    ServerNode regServer{};
    ServerNode streamServer{};
    ServerNode fileServer{};
    LanguageTable* languageTable = nullptr;
    uint32_t drawingOrderKey = 0;
    int32_t bitrate = -1; // kbit/s; -1 = not configured
    uint32_t penColour = 0xFF000000;
    int32_t penStyle = 0;
    int32_t penWidth = 3;
    int32_t penOrderKey = 0;
    SIZE smallVideoSize{320, 240};
    void* rosterControl = nullptr;
    SIZE largeVideoSize{640, 480};
    uint8_t startRole = eRole_Teacher;
    ServerNode configuredStreamServer{};

    // The keys of the launch link, in the order they are recognised.
    static const wchar_t* const kLaunchKeys[16];

    SessionContext();
    ~SessionContext();
    SessionContext(const SessionContext&) = delete;
    SessionContext& operator=(const SessionContext&) = delete;

private:
    void ApplyLaunchItem(const CString& key, const CString& value);

    uint32_t m_sequence = 0;
    CRITICAL_SECTION m_sequenceLock;
};

// A language text, or the caller's English literal when no table is loaded.
CString LangText(int id, const wchar_t* english);
// True when a language file was loaded (callers with no English literal then show its text).
bool HasLanguageTable();
// A language text is an edited file's, never a format: its first "%s" takes value, and anything else
// in it stays as written. False, with text unchanged, when it has no "%s".
bool FillLanguageSlot(CString& text, const CString& value);
