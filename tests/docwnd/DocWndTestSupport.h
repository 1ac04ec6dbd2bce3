// What the document window tests share: a loopback room (relay, registration server, command channel),
// a database of their own, a recording stand-in for the modal box, and LVL packages built by hand.
#pragma once
#include "core/Records.h"
#include "database/SqliteMgr.h"
#include "protocol/CmdProtocol.h"
#include "classroom/DocWnd.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/fakes/relay/FakeRelay.h"
#include "tests/fakes/room/FakeRoom.h"
#include "tests/support/TestFolders.h"

#include <functional>
#include <string>
#include <vector>

// One box the window asked; answered by the test's answer function (Cancel without one).
struct AskedBox {
    std::wstring text;
    std::wstring caption;
    UINT flags = 0;
    HWND owner = nullptr;
};
std::vector<AskedBox>& AskedBoxes();
std::function<int(const AskedBox&)>& BoxAnswer();
int RecordingBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT flags);

// A package file as the writer lays it out: header with the name, then one record per JPEG.
std::string BuildPackage(const std::string& ansiName, const std::vector<std::string>& jpegs);
// JPEG bytes of a slide picture carrying its page number.
std::string SlideJpeg(int page, int width = 320, int height = 240);
// Pages 1..count written as JPEGs into folder, listed as a DocPageList of the document.
DocPageList WritePages(const TempFolder& folder, uint64_t docId, int count, uint16_t current = 1);
// The page number a shown slide image carries (0 when it cannot be read).
int PageOfImage(const CString& path);
// True when the client log holds a line with the text.
bool LogHas(const wchar_t* text);

class DocWndRoom {
public:
    DocWndRoom();
    ~DocWndRoom();
    bool Ready() const { return m_ready; }

    FakeRelay relay;
    fakeroom::FakeRegServer reg;
    CCmdProtocol channel;
    TempFolder dbFolder{L"db"};
    CSqliteMgr db{dbFolder.Path()};
    TopLevelSink parent;

    // Creates a document window as a child of the parent, with or without cover, wired to this room.
    CDocWnd* MakeWindow(bool withCover, int width = 480, int height = 360);
    // Frees every record the window posted to the parent; the records' lists are cleared.
    void FreeParentRecords();

private:
    bool m_ready = false;
    ServerNode m_savedServer{};
};
