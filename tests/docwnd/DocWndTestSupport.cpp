#include "tests/docwnd/DocWndTestSupport.h"

#include "classroom/PaintChangeRecord.h"
#include "classroom/RemotePaintStore.h"
#include "core/Folders.h"
#include "core/SessionContext.h"
#include "core/TextUtil.h"
#include "core/WindowMessages.h"
#include "tests/fakes/powerpoint/SlideImage.h"

#include <cstdio>
#include <cstring>

std::vector<AskedBox>& AskedBoxes()
{
    static std::vector<AskedBox> boxes;
    return boxes;
}

std::function<int(const AskedBox&)>& BoxAnswer()
{
    static std::function<int(const AskedBox&)> answer;
    return answer;
}

int RecordingBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT flags)
{
    AskedBox box{text ? text : L"", caption ? caption : L"", flags, owner};
    AskedBoxes().push_back(box);
    return BoxAnswer() ? BoxAnswer()(box) : IDCANCEL;
}

namespace {
void PutI32(std::string& out, int32_t v)
{
    out.append(reinterpret_cast<const char*>(&v), 4);
}
void PutI16(std::string& out, int16_t v)
{
    out.append(reinterpret_cast<const char*>(&v), 2);
}
} // namespace

std::string BuildPackage(const std::string& ansiName, const std::vector<std::string>& jpegs)
{
    std::string out;
    PutI32(out, static_cast<int32_t>(ansiName.size() + 6));
    PutI16(out, static_cast<int16_t>(jpegs.size()));
    out += ansiName;
    for (size_t i = 0; i < jpegs.size(); ++i) {
        PutI32(out, static_cast<int32_t>(jpegs[i].size() + 6));
        PutI16(out, static_cast<int16_t>(i + 1));
        out += jpegs[i];
    }
    return out;
}

std::string SlideJpeg(int page, int width, int height)
{
    TempFolder folder(L"jpg");
    CString path = folder.File(L"slide.jpg");
    if (!DrawSlideJpeg(path, page, width, height)) return std::string();
    return ReadFileBytes(path);
}

DocPageList WritePages(const TempFolder& folder, uint64_t docId, int count, uint16_t current)
{
    DocPageList list;
    list.docId = docId;
    list.pageCount = static_cast<uint16_t>(count);
    list.currentPage = current;
    for (int page = 1; page <= count; ++page) {
        CString path;
        path.Format(L"%sPIC_%d.jpg", folder.Path().GetString(), page);
        DrawSlideJpeg(path, page, 320, 240);
        list.values.push_back(path);
    }
    return list;
}

int PageOfImage(const CString& path)
{
    int width = 0;
    int height = 0;
    int page = 0;
    return ReadSlideJpeg(path, &width, &height, &page) ? page : 0;
}

bool LogHas(const wchar_t* text)
{
    const std::string log = ReadFileBytes(GetAppDataFolder() + L"Log\\log.txt");
    return log.find(Utf16ToUtf8(text)) != std::string::npos;
}

DocWndRoom::DocWndRoom()
{
    UseProgramFolderSkins();
    RemotePaintStore::Init();
    SessionContext* context = SessionContext::Instance();
    m_savedServer = context->fileServer;
    context->fileServer.address = relay.Address();
    context->fileServer.port = relay.Port();
    context->userId = 0x01020304;
    context->room.roomId = 0x0A0B0C;
    context->mainWindow = parent.Handle();
    AskedBoxes().clear();
    BoxAnswer() = nullptr;
    CDocWnd::SetMessageBoxFn(&RecordingBox);
    channel.SetServer(fakeroom::Node(7, eServer_Reg, reg.Port()));
    m_ready = relay.Listening() && reg.Ok() && db.Init(77) && channel.Connect() && channel.Start() &&
              reg.WaitForClient();
}

DocWndRoom::~DocWndRoom()
{
    channel.RequestStop();
    FreeParentRecords();
    CDocWnd::SetMessageBoxFn(nullptr);
    BoxAnswer() = nullptr;
    SessionContext* context = SessionContext::Instance();
    context->fileServer = m_savedServer;
    context->mainWindow = nullptr;
    RemotePaintStore::Shutdown();
}

CDocWnd* DocWndRoom::MakeWindow(bool withCover, int width, int height)
{
    auto* wnd = withCover ? new CDocWnd(true) : new CDocWnd;
    wnd->SetDatabase(&db);
    wnd->SetCommandChannel(&channel);
    if (!wnd->CreateChild(parent.Handle(), L"DocWnd", 20, 20, width, height)) {
        delete wnd;
        fprintf(stderr, "%s\n", ReadFileBytes(GetAppDataFolder() + L"Log\\log.txt").c_str());
        return nullptr;
    }
    LayOut(*wnd->GetPaintManager());
    return wnd;
}

void DocWndRoom::FreeParentRecords()
{
    for (const RecordedMessage& m : parent.Received(WM_USER_UI_NOTICE)) {
        if (m.wParam == eDocNotice_DocInfo) delete reinterpret_cast<DocPageList*>(m.lParam);
        if (m.wParam == eDocNotice_CoverClicked) delete reinterpret_cast<WndMsgPayload*>(m.lParam);
    }
    for (const RecordedMessage& m : parent.Received(WM_USER_PANEL_ACTION)) delete reinterpret_cast<WndMsgPayload*>(m.lParam);
    for (const RecordedMessage& m : parent.Received(WM_USER_PAINTOBJ_CHANGED))
        delete reinterpret_cast<PaintChangeRecord*>(m.lParam);
    parent.Clear();
}
