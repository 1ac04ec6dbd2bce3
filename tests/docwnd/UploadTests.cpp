// The control panel's preview: a presentation converted by the stand-in PowerPoint, the package uploaded
// to the loopback relay, the room told by command 825, the pages unpacked and shown; a cached package
// sent without converting; conversion and upload failures shown in the box and left in their states.
#include "classroom/CoverWnd.h"
#include "controls/ImagePaintControl.h"
#include "core/Folders.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "protocol/CmdProtocol.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/docwnd/DocWndTestSupport.h"
#include "tests/slides/FakePowerPointInstall.h"
#include "tests/support/MessageSink.h"
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const wchar_t kMd5[] = L"0123456789abcdef0123456789abcdef";

class Upload : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(room.Ready());
        UseLanguageTable(false);
        wnd = NewPreview();
        ASSERT_TRUE(wnd);
        hwnd = wnd->GetHWND();
    }
    // A preview window for the file, as the control panel opens one.
    CDocWnd* NewPreview()
    {
        CDocWnd* doc = room.MakeWindow(true);
        if (!doc) return nullptr;
        doc->SetFileMd5(kMd5);
        // The control panel records a conversion as running before it opens the file.
        EXPECT_TRUE(room.db.SavePPTStatus(1, kMd5, Room(), 0));
        return doc;
    }
    // Opens a stand-in source file; with a cached package it is never read.
    bool OpenSource(CDocWnd* doc, const wchar_t* name)
    {
        const CString source = sources.File(name);
        return WriteFileBytes(source, "x") && doc->OpenSlideFile(source);
    }
    void CutRelayAfterTenBytes()
    {
        RelayKnobs cut;
        cut.closeAfterBytes = 10;
        room.relay.SetKnobs(cut);
    }
    bool ConversionRowKept()
    {
        int32_t status = -1;
        return room.db.GetPPTStatus(status, kMd5, Room(), nullptr);
    }
    void TearDown() override
    {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        UseLanguageTable(false);
    }
    static int32_t Room() { return static_cast<int32_t>(SessionContext::Instance()->room.roomId); }
    bool WaitState(int32_t state, DWORD timeoutMs = 30000)
    {
        return PumpUntil([&] { return wnd->GetDisplayState() == state; }, timeoutMs);
    }
    // A cached package of count pages, recorded for the file's MD5.
    CString CachedPackage(int count)
    {
        std::vector<std::string> jpegs;
        for (int page = 1; page <= count; ++page) jpegs.push_back(SlideJpeg(page));
        CString path = packages.File(L"cached");
        EXPECT_TRUE(WriteFileBytes(path, BuildPackage("Lesson", jpegs)));
        EXPECT_TRUE(room.db.SaveLVLInfo(kMd5, path));
        return path;
    }
    void ExpectAnnounced(const CString& name, const CString& package)
    {
        ASSERT_TRUE(room.reg.WaitForMessages(eType_FileNotice, 1));
        auto notices = room.reg.Messages(eType_FileNotice);
        ASSERT_EQ(1u, notices.size());
        const std::string bytes = ReadFileBytes(package);
        EXPECT_EQ(BuildFileNoticePayload(name, kMd5, SessionContext::Instance()->userId, RelayKnobs().relayId,
                                         bytes.size()),
                  notices[0].payload);
    }

    DocWndRoom room;
    TempFolder packages{L"pkg"};
    TempFolder sources{L"src"};
    CDocWnd* wnd = nullptr;
    HWND hwnd = nullptr;
};

} // namespace

TEST_F(Upload, APresentationIsConvertedUploadedAnnouncedAndShown)
{
    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    const CString source = WritePresentation(sources, L"Lesson.ppt", "slides=3\nwidth=720\nheight=540\n");
    ASSERT_TRUE(wnd->OpenSlideFile(source));
    EXPECT_TRUE(wnd->GetCover()->GetFlags() & eCover_Disabled) << "not selectable while it is prepared";

    std::vector<int32_t> states;
    ASSERT_TRUE(PumpUntil([&] {
        if (states.empty() || states.back() != wnd->GetDisplayState()) states.push_back(wnd->GetDisplayState());
        return wnd->GetDisplayState() == eDocState_Shown || wnd->GetDisplayState() == eDocState_UploadFailed ||
               wnd->GetDisplayState() == eDocState_ConvertFailed;
    }, 60000));
    ASSERT_EQ(eDocState_Shown, wnd->GetDisplayState());
    EXPECT_NE(states.end(), std::find(states.begin(), states.end(), eDocState_Converting));
    EXPECT_LT(std::find(states.begin(), states.end(), eDocState_Converting),
              std::find(states.begin(), states.end(), eDocState_Shown));

    // The relay holds the package byte for byte and gave the document its id.
    const CString package = wnd->GetPPTMgr().GetPackagePath();
    const std::string bytes = ReadFileBytes(package);
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(room.relay.Uploaded(RelayKnobs().relayId) == bytes);
    ASSERT_EQ(1u, room.relay.Offers().size());
    EXPECT_STREQ("Lesson.ppt", room.relay.Offers()[0].fileName);
    EXPECT_EQ(RelayKnobs().relayId, wnd->GetDocId());
    ExpectAnnounced(L"Lesson.ppt", package);

    // Unpacked pages, first one on the view, and every record the database keeps.
    const DocPageList& pages = wnd->GetPageList();
    ASSERT_EQ(3, pages.pageCount);
    EXPECT_EQ(1, pages.currentPage);
    EXPECT_EQ(pages.values[0], CString(wnd->GetImageView()->GetImage().GetData()));
    for (int page = 1; page <= 3; ++page) EXPECT_EQ(page, PageOfImage(pages.values[page - 1]));
    EXPECT_EQ(eDocState_Shown, wnd->GetImageView()->GetState());
    ParamList stored;
    ASSERT_TRUE(room.db.GetPPTInfo(stored, wnd->GetDocId()));
    EXPECT_EQ(3, stored.pageCount);
    CString cached;
    ASSERT_TRUE(room.db.GetLVLInfo(kMd5, cached));
    EXPECT_EQ(package, cached);
    int32_t status = -1;
    uint64_t docId = 0;
    ASSERT_TRUE(room.db.GetPPTStatus(status, kMd5, Room(), &docId));
    EXPECT_EQ(0, status);
    EXPECT_EQ(wnd->GetDocId(), docId);
    EXPECT_FALSE(wnd->GetCover()->GetFlags() & eCover_Disabled);
    EXPECT_TRUE(AskedBoxes().empty());
    EXPECT_TRUE(LogHas(L"Infor : Doc Wnd upload file --- ID=7001,Tpage=3, CurPage=1"));
}

TEST_F(Upload, OpeningNothingOrAMissingFileChangesNothing)
{
    EXPECT_FALSE(wnd->OpenSlideFile(CString()));
    EXPECT_FALSE(wnd->OpenSlideFile(sources.File(L"gone.ppt")));
    EXPECT_EQ(eDocState_None, wnd->GetDisplayState());
    EXPECT_FALSE(wnd->GetCover()->GetFlags() & eCover_Disabled);
    EXPECT_TRUE(room.relay.Offers().empty());
}

// The lines of white status text a document window shows at the control panel's thumbnail size,
// or -1 when the text touches the thumbnail's left or right edge (cut off).
static int ThumbnailTextLines(CDocWnd* doc)
{
    SetWindowPos(doc->GetHWND(), nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CPaintManagerUI& pm = *doc->GetPaintManager();
    LayOut(pm);
    MemoryDib dib(120, 90);
    pm.PaintTo(dib.Dc(), RECT{0, 0, 120, 90});
    int lines = 0;
    bool inLine = false;
    for (int y = 0; y < 90; ++y) {
        bool ink = false;
        for (int x = 0; x < 120; ++x) {
            if ((dib.At(x, y) & 0xFF) <= 0xC0) continue;
            if (x == 0 || x == 119) return -1;
            ink = true;
        }
        if (ink && !inLine) ++lines;
        inLine = ink;
    }
    return lines;
}

TEST_F(Upload, ConversionFailuresShowTheirBoxAndLeaveStateThree)
{
    struct Case {
        const char* description; // empty: no PowerPoint at all
        bool language;
        std::wstring text; // with the language table: followed by the text of textId
        int textId = 55;
        bool failCreate = false;
    };
    const Case cases[] = {
        {"", false, L"Please Install Microsoft office(2003, 2007, 2010, 2013)first!"},
        {"slides=0\n", false, L"Deck.ppt\nPPT NO Page!!!"},
        {"slides=0\n", true, L"Deck.ppt\n"},
        {"width=0\n", false, L"Deck.ppt\nThe slides of this presentation have no size."},
        {"width=0\n", true, L"Deck.ppt\n", 92},
        {"slides=2\n", true, L"Deck.ppt\n", 91, true},
    };
    for (const Case& c : cases) {
        UseLanguageTable(c.language);
        if (c.language) {
            ASSERT_FALSE(LangText(c.textId, L"").IsEmpty());
        }
        AskedBoxes().clear();
        CDocWnd* doc = NewPreview();
        ASSERT_TRUE(doc);
        {
            std::unique_ptr<FakePowerPointInstall> office;
            if (*c.description) {
                office = std::make_unique<FakePowerPointInstall>();
                office->FailCreate(c.failCreate);
            } else {
                FakePowerPointInstall::RemoveRegistration();
            }
            ASSERT_TRUE(doc->OpenSlideFile(WritePresentation(sources, L"Deck.ppt", *c.description ? c.description : "slides=2\n")));
            ASSERT_TRUE(PumpUntil([&] { return !AskedBoxes().empty(); }, 30000)) << c.description;
        }
        EXPECT_EQ(eDocState_ConvertFailed, doc->GetDisplayState());
        // The failure reads whole in the 120-pixel thumbnail: wrapped, never cut.
        if (c.language) {
            EXPECT_GE(ThumbnailTextLines(doc), 2) << c.description;
        }
        ASSERT_EQ(1u, AskedBoxes().size());
        EXPECT_EQ(c.language ? c.text + LangText(c.textId, L"").GetString() : c.text, AskedBoxes()[0].text);
        EXPECT_EQ(std::wstring(LangText(29, L"Error").GetString()), AskedBoxes()[0].caption);
        EXPECT_EQ(nullptr, AskedBoxes()[0].owner);
        EXPECT_FALSE(ConversionRowKept()) << "the running conversion is forgotten";
        EXPECT_TRUE(room.relay.Offers().empty());
        DestroyWindow(doc->GetHWND());
    }
    EXPECT_TRUE(LogHas(L"Error : Handle PPT Failed, nError = -10"));
}

TEST_F(Upload, AnUploadThatCannotStartEndsInStateEightAndLeavesTheFileFreeToPickAgain)
{
    CachedPackage(1);
    const uint16_t relayPort = SessionContext::Instance()->fileServer.port;
    SessionContext::Instance()->fileServer.port = 1; // nothing listens there
    ASSERT_TRUE(OpenSource(wnd, L"Far.ppt"));
    EXPECT_EQ(eDocState_UploadFailed, wnd->GetDisplayState());
    EXPECT_EQ(eDocState_UploadFailed, wnd->GetImageView()->GetState());
    EXPECT_TRUE(LogHas(L"Error : Upload File Failed, file : "));
    EXPECT_TRUE(LogHas(L"Error : UpLoad the Converted File Failed, file : "));
    // The control panel refuses a pick while this row says it is being uploaded.
    EXPECT_FALSE(ConversionRowKept()) << "three failed starts still hold the pick";
    DestroyWindow(hwnd);

    // Picked again: the relay breaks off, and the Retry in the box cannot start either.
    CDocWnd* again = NewPreview();
    ASSERT_TRUE(again);
    hwnd = again->GetHWND();
    SessionContext::Instance()->fileServer.port = relayPort;
    CutRelayAfterTenBytes();
    BoxAnswer() = [&](const AskedBox&) {
        SessionContext::Instance()->fileServer.port = 1;
        return IDRETRY;
    };
    ASSERT_TRUE(OpenSource(again, L"Far.ppt"));
    ASSERT_TRUE(PumpUntil([&] { return again->GetDisplayState() == eDocState_UploadFailed; }, 30000));
    EXPECT_EQ(1u, AskedBoxes().size());
    EXPECT_FALSE(ConversionRowKept()) << "a failed retry still holds the pick";
    SessionContext::Instance()->fileServer.port = relayPort;
}

TEST_F(Upload, CancelLeavesStateEightAndASecondFailureWhileAskingGetsNoSecondBox)
{
    CachedPackage(1);
    CutRelayAfterTenBytes();
    FileTransStatus second{};
    second.state = FTS_SEND_FAILED;
    BoxAnswer() = [&](const AskedBox&) {
        // A record not made by a session: handed back, never freed by the window.
        SendMessageW(hwnd, WM_USER_UPLOAD_RESULT, 0, reinterpret_cast<LPARAM>(&second));
        return IDCANCEL;
    };
    UseLanguageTable(true);
    ASSERT_TRUE(OpenSource(wnd, L"Cancel.ppt"));
    ASSERT_TRUE(WaitState(eDocState_UploadFailed, 30000));
    PumpMessagesFor(200);
    ASSERT_EQ(1u, AskedBoxes().size());
    EXPECT_EQ(std::wstring(LangText(64, L"").GetString()) + L"Cancel.ppt", AskedBoxes()[0].text);
    EXPECT_EQ(0x55u, AskedBoxes()[0].flags) << "error icon, Retry and Cancel";
    EXPECT_EQ(hwnd, AskedBoxes()[0].owner);
    EXPECT_FALSE(ConversionRowKept());
    EXPECT_TRUE(LogHas(L"Error : File Uploading Failed, file : "));
    EXPECT_EQ(0u, wnd->GetDocId());
    EXPECT_TRUE(room.reg.Messages(eType_FileNotice).empty());
}

TEST_F(Upload, ADamagedPackageIsShownAsFailedNeverAnnouncedAndCanBePickedAgain)
{
    std::string bytes = BuildPackage("Lesson", {SlideJpeg(1), SlideJpeg(2)});
    bytes.resize(bytes.size() / 2); // cut inside the first slide
    const CString package = packages.File(L"damaged");
    ASSERT_TRUE(WriteFileBytes(package, bytes));
    ASSERT_TRUE(room.db.SaveLVLInfo(kMd5, package));
    ASSERT_TRUE(OpenSource(wnd, L"Broken.ppt"));
    ASSERT_TRUE(PumpUntil([] { return !AskedBoxes().empty(); }, 30000));
    PumpMessagesFor(300);

    // The relay has the upload, but the room never hears of a package that does not unpack.
    EXPECT_TRUE(room.relay.Uploaded(RelayKnobs().relayId) == bytes);
    EXPECT_TRUE(room.reg.Messages(eType_FileNotice).empty());
    ASSERT_EQ(1u, AskedBoxes().size());
    EXPECT_EQ(L"Broken.ppt\nThe slide package is damaged: please pick the file again.", AskedBoxes()[0].text);
    EXPECT_EQ(L"Error", AskedBoxes()[0].caption);
    EXPECT_EQ(eDocState_ConvertFailed, wnd->GetDisplayState());
    EXPECT_EQ(eDocState_ConvertFailed, wnd->GetImageView()->GetState());
    EXPECT_EQ(0, wnd->GetPageList().pageCount);
    EXPECT_EQ(0u, wnd->GetDocId());
    // Nothing holds the pick any more: picking the file again converts it afresh.
    EXPECT_FALSE(ConversionRowKept());
    CString cached = L"<unchanged>";
    ASSERT_TRUE(room.db.GetLVLInfo(kMd5, cached));
    EXPECT_TRUE(cached.IsEmpty());
}

TEST_F(Upload, AWindowDestroyedWhileTheRetryBoxIsOpenTriesNothingMore)
{
    CachedPackage(1);
    CutRelayAfterTenBytes();
    size_t offers = 0;
    BoxAnswer() = [&](const AskedBox&) {
        // The class ends while the teacher reads the box, then the answer is Retry.
        offers = room.relay.Offers().size();
        room.relay.SetKnobs(RelayKnobs());
        DestroyWindow(hwnd);
        return IDRETRY;
    };
    ASSERT_TRUE(OpenSource(wnd, L"Late.ppt"));
    ASSERT_TRUE(PumpUntil([] { return !AskedBoxes().empty(); }, 30000));
    PumpMessagesFor(500);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_GE(offers, 1u);
    EXPECT_EQ(offers, room.relay.Offers().size()) << "no upload started for a window that is gone";
    EXPECT_TRUE(room.reg.Messages(eType_FileNotice).empty());
}

TEST_F(Upload, ADoneRecordOfAnotherUploadChangesNothing)
{
    CachedPackage(1);
    ASSERT_TRUE(OpenSource(wnd, L"Other.ppt"));
    // Sent, not posted: handled before the real upload's records are looked at.
    FileTransStatus done{};
    done.state = FTS_SEND_DONE;
    done.transferId = 99;
    done.sequence = wnd->GetUploadSequence() + 100;
    SendMessageW(hwnd, WM_USER_UPLOAD_RESULT, 0, reinterpret_cast<LPARAM>(&done));
    done.sequence = wnd->GetUploadSequence();
    done.tag = 5;
    SendMessageW(hwnd, WM_USER_UPLOAD_RESULT, 0, reinterpret_cast<LPARAM>(&done));
    EXPECT_EQ(0u, wnd->GetDocId());
    EXPECT_EQ(0, wnd->GetPageList().pageCount);
    EXPECT_NE(eDocState_Shown, wnd->GetDisplayState());
}

TEST_F(Upload, ACachedPackageIsSentAtOnceAndTheRealBoxsRetryButtonSendsItAgain)
{
    CDocWnd::SetMessageBoxFn(nullptr); // the client's own modal box
    const CString package = CachedPackage(2);
    CutRelayAfterTenBytes();
    std::wstring text;
    std::wstring caption;
    {
        Helper user([&] {
            HWND box = WaitForBox(20000);
            if (!box) return;
            CPaintManagerUI* pm = ManagerOf(box);
            text = pm->FindControl(L"MessageText")->GetText().GetData();
            caption = pm->FindControl(L"CaptionTitle")->GetText().GetData();
            room.relay.SetKnobs(RelayKnobs());
            ClickControl(box, L"RetryBtn");
        });
        const CString source = sources.File(L"Shown.ppt");
        ASSERT_TRUE(WriteFileBytes(source, "not a presentation: it is never opened"));
        ASSERT_TRUE(wnd->OpenSlideFile(source));
        EXPECT_EQ(ePhase_Idle, wnd->GetPPTMgr().GetPhase()) << "no conversion started";
        EXPECT_EQ(eDocState_Uploading, wnd->GetDisplayState());
        EXPECT_TRUE(WaitState(eDocState_Shown, 30000));
    }
    EXPECT_EQ(L"File Upload Failed! [Shown.ppt]", text);
    EXPECT_EQ(L"Error", caption);
    EXPECT_TRUE(room.relay.Uploaded(RelayKnobs().relayId) == ReadFileBytes(package));
    ExpectAnnounced(L"Shown.ppt", package);
    ASSERT_EQ(2, wnd->GetPageList().pageCount);
    EXPECT_EQ(1, PageOfImage(CString(wnd->GetImageView()->GetImage().GetData())));
}

TEST_F(Upload, AWindowDestroyedMidConversionOrMidUploadStopsItsWork)
{
    {
        FakePowerPointInstall office;
        ASSERT_TRUE(office.Ready());
        ASSERT_TRUE(wnd->OpenSlideFile(WritePresentation(sources, L"Long.ppt", "slides=40\n")));
        ASSERT_TRUE(PumpUntil([&] { return wnd->GetDisplayState() == eDocState_Converting; }, 20000));
        DestroyWindow(hwnd); // the window deletes itself and stops the conversion
        PumpMessagesFor(300);
        EXPECT_EQ(0, office.LiveObjects()) << "PowerPoint let go";
    }
    // An upload that may still be running when its window goes.
    CDocWnd* second = NewPreview();
    ASSERT_TRUE(second);
    CachedPackage(3);
    ASSERT_TRUE(OpenSource(second, L"Gone.ppt"));
    EXPECT_EQ(eDocState_Uploading, second->GetDisplayState());
    DestroyWindow(second->GetHWND());
    EXPECT_TRUE(room.relay.WaitConnectionsEnded(1, 10000));
    PumpMessagesFor(200);
    EXPECT_TRUE(room.reg.Messages(eType_FileNotice).empty());
}
