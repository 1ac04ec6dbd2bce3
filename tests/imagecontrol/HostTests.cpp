// The control in a container, as an OLE host uses it, windowed under the X server and windowless.
#include "tests/imagecontrol/ControlTestSupport.h"

#include <ocidl.h>

namespace {

// Counts calls; lives on the test's stack, so its count only shows who still holds it.
class TestFrame : public IOleInPlaceFrame {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
            IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
            *out = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++refs); }
    STDMETHOD_(ULONG, Release)() override { return static_cast<ULONG>(--refs); }
    STDMETHOD(GetWindow)(HWND* window) override
    {
        *window = container;
        return S_OK;
    }
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }
    STDMETHOD(GetBorder)(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHOD(RequestBorderSpace)(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHOD(SetBorderSpace)(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHOD(SetActiveObject)(IOleInPlaceActiveObject* object, LPCOLESTR) override
    {
        active = object;
        ++activeCalls;
        return S_OK;
    }
    STDMETHOD(InsertMenus)(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHOD(SetMenu)(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHOD(RemoveMenus)(HMENU) override { return E_NOTIMPL; }
    STDMETHOD(SetStatusText)(LPCOLESTR) override { return S_OK; }
    STDMETHOD(EnableModeless)(BOOL) override { return S_OK; }
    STDMETHOD(TranslateAccelerator)(LPMSG, WORD) override { return S_FALSE; }

    LONG refs = 0;
    HWND container = nullptr;
    IOleInPlaceActiveObject* active = nullptr;  // not held: only compared
    int activeCalls = 0;
};

class TestSite : public IOleClientSite, public IOleInPlaceSiteWindowless {
public:
    TestSite(HWND window, const RECT& position, bool offerWindowless)
        : container(window), position(position), offerWindowless(offerWindowless)
    {
        frame.container = window;
    }

    STDMETHOD(QueryInterface)(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
            *out = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (offerWindowless && (IsEqualIID(iid, IID_IOleInPlaceSiteEx) ||
                                     IsEqualIID(iid, IID_IOleInPlaceSiteWindowless)))
            *out = static_cast<IOleInPlaceSiteWindowless*>(this);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++refs); }
    STDMETHOD_(ULONG, Release)() override { return static_cast<ULONG>(--refs); }

    // IOleClientSite
    STDMETHOD(SaveObject)() override { ++saves; return S_OK; }
    STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker** out) override { *out = nullptr; return E_NOTIMPL; }
    STDMETHOD(GetContainer)(IOleContainer** out) override { *out = nullptr; return E_NOINTERFACE; }
    STDMETHOD(ShowObject)() override { return S_OK; }
    STDMETHOD(OnShowWindow)(BOOL) override { return S_OK; }
    STDMETHOD(RequestNewObjectLayout)() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHOD(GetWindow)(HWND* window) override
    {
        *window = container;
        return S_OK;
    }
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHOD(CanInPlaceActivate)() override { return S_OK; }
    STDMETHOD(OnInPlaceActivate)() override { ++inPlaceActivations; return S_OK; }
    STDMETHOD(OnUIActivate)() override { ++uiActivations; return S_OK; }
    STDMETHOD(GetWindowContext)(IOleInPlaceFrame** outFrame, IOleInPlaceUIWindow** document, LPRECT pos,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        frame.AddRef();
        *outFrame = &frame;
        *document = nullptr;
        *pos = position;
        *clip = position;
        info->fMDIApp = FALSE;
        info->hwndFrame = container;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHOD(Scroll)(SIZE) override { return E_NOTIMPL; }
    STDMETHOD(OnUIDeactivate)(BOOL) override { ++uiDeactivations; return S_OK; }
    STDMETHOD(OnInPlaceDeactivate)() override { ++inPlaceDeactivations; return S_OK; }
    STDMETHOD(DiscardUndoState)() override { return S_OK; }
    STDMETHOD(DeactivateAndUndo)() override { return S_OK; }
    STDMETHOD(OnPosRectChange)(LPCRECT) override { return S_OK; }

    // IOleInPlaceSiteEx
    STDMETHOD(OnInPlaceActivateEx)(BOOL* noRedraw, DWORD flags) override
    {
        if (noRedraw) *noRedraw = FALSE;
        activateExFlags = flags;
        ++inPlaceActivations;
        return S_OK;
    }
    STDMETHOD(OnInPlaceDeactivateEx)(BOOL) override { ++inPlaceDeactivations; return S_OK; }
    STDMETHOD(RequestUIActivate)() override { return S_OK; }

    // IOleInPlaceSiteWindowless
    STDMETHOD(CanWindowlessActivate)() override { return S_OK; }
    STDMETHOD(GetCapture)() override { return S_FALSE; }
    STDMETHOD(SetCapture)(BOOL) override { return S_OK; }
    STDMETHOD(GetFocus)() override { return S_FALSE; }
    STDMETHOD(SetFocus)(BOOL) override { return S_OK; }
    STDMETHOD(GetDC)(LPCRECT, DWORD, HDC*) override { return E_NOTIMPL; }
    STDMETHOD(ReleaseDC)(HDC) override { return E_NOTIMPL; }
    STDMETHOD(InvalidateRect)(LPCRECT, BOOL) override { ++invalidations; return S_OK; }
    STDMETHOD(InvalidateRgn)(HRGN, BOOL) override { ++invalidations; return S_OK; }
    STDMETHOD(ScrollRect)(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
    STDMETHOD(AdjustRect)(LPRECT) override { return S_OK; }
    STDMETHOD(OnDefWindowMessage)(UINT, WPARAM, LPARAM, LRESULT* result) override
    {
        *result = 0;
        return S_OK;
    }

    LONG refs = 0;
    HWND container;
    RECT position;
    bool offerWindowless;
    TestFrame frame;
    int inPlaceActivations = 0, inPlaceDeactivations = 0, uiActivations = 0, uiDeactivations = 0;
    int saves = 0, invalidations = 0;
    DWORD activateExFlags = 0;
};

LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// A top-level container window on the X server.
class ContainerWindow {
public:
    ContainerWindow()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = ContainerProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = L"ImageControlTestContainer";
        RegisterClassW(&windowClass);
        m_window = CreateWindowExW(0, L"ImageControlTestContainer", L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                                   0, 0, 240, 180, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~ContainerWindow()
    {
        if (m_window) DestroyWindow(m_window);
    }
    ContainerWindow(const ContainerWindow&) = delete;
    ContainerWindow& operator=(const ContainerWindow&) = delete;
    HWND Get() const { return m_window; }

private:
    HWND m_window = nullptr;
};

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// What the screen shows at a point of the window, read back from its device context.
COLORREF ScreenPixel(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

RECT ChildRectInParent(HWND child)
{
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class HostTest : public RegisteredControlTest {
protected:
    // One container for the suite: without a window manager, Wine waits about 2 s for every
    // top-level window it withdraws.
    static void SetUpTestSuite() { s_container = new ContainerWindow(); }
    static void TearDownTestSuite()
    {
        delete s_container;
        s_container = nullptr;
    }

    void SetUp() override
    {
        RegisteredControlTest::SetUp();
        m_container = s_container->Get();
        ASSERT_NE(nullptr, m_container) << "no X display for a top-level window";
        m_control = CreateControl();
        ASSERT_TRUE(m_control);
        ASSERT_EQ(S_OK, m_ole.QueryFrom(m_control));
        ASSERT_EQ(S_OK, m_inPlace.QueryFrom(m_control));
    }
    void TearDown() override
    {
        m_inPlace.Release();
        m_ole.Release();
        m_control.Release();
        RegisteredControlTest::TearDown();
    }

    static ContainerWindow* s_container;
    HWND m_container = nullptr;
    CComPtr<ILVImageCtl> m_control;
    CComPtr<IOleObject> m_ole;
    CComPtr<IOleInPlaceObject> m_inPlace;
};

ContainerWindow* HostTest::s_container = nullptr;

TEST_F(HostTest, WindowedActivationPaintsMovesAndDeactivates)
{
    RECT position = {20, 10, 120, 85};
    TestSite site(m_container, position, false);
    ASSERT_EQ(S_OK, m_ole->SetClientSite(&site));
    CComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(S_OK, persist.QueryFrom(m_control));
    ASSERT_EQ(S_OK, persist->InitNew());
    ASSERT_EQ(S_OK, Load(m_control, PictureFile(L"red.png")));

    ASSERT_EQ(S_OK, m_ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, m_container, &position));
    EXPECT_EQ(1, site.inPlaceActivations);
    EXPECT_EQ(0, site.uiActivations);
    HWND child = nullptr;
    ASSERT_EQ(S_OK, m_inPlace->GetWindow(&child));
    ASSERT_TRUE(IsWindow(child));
    EXPECT_EQ(m_container, GetParent(child));
    EXPECT_EQ(0x56000000u, static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)));
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    EXPECT_STREQ(L"TessellonLVImageCtl", className);
    RECT placed = ChildRectInParent(child);
    EXPECT_EQ(position.left, placed.left);
    EXPECT_EQ(position.top, placed.top);
    EXPECT_EQ(position.right, placed.right);
    EXPECT_EQ(position.bottom, placed.bottom);

    // The window's own paint draws the picture over its whole client area.
    RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Pump();
    EXPECT_EQ(RGB(255, 0, 0), ScreenPixel(child, 50, 37));
    EXPECT_EQ(RGB(255, 0, 0), ScreenPixel(child, 5, 5));
    EXPECT_EQ(RGB(0, 0, 0), ScreenPixel(m_container, 10, 5));

    RECT moved = {60, 40, 200, 160};
    ASSERT_EQ(S_OK, m_inPlace->SetObjectRects(&moved, &moved));
    placed = ChildRectInParent(child);
    EXPECT_EQ(moved.left, placed.left);
    EXPECT_EQ(moved.bottom, placed.bottom);
    RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Pump();
    EXPECT_EQ(RGB(255, 0, 0), ScreenPixel(child, 130, 110));

    ASSERT_EQ(S_OK, m_ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, m_container, &position));
    EXPECT_EQ(1, site.uiActivations);
    EXPECT_NE(nullptr, site.frame.active);
    CComPtr<IOleInPlaceActiveObject> active;
    ASSERT_EQ(S_OK, active.QueryFrom(m_control));
    EXPECT_EQ(active.Get(), site.frame.active);

    ASSERT_EQ(S_OK, m_inPlace->InPlaceDeactivate());
    EXPECT_EQ(1, site.uiDeactivations);
    EXPECT_EQ(1, site.inPlaceDeactivations);
    EXPECT_EQ(nullptr, site.frame.active);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(E_FAIL, m_inPlace->GetWindow(&child));

    ASSERT_EQ(S_OK, m_ole->Close(OLECLOSE_SAVEIFDIRTY));
    EXPECT_EQ(0, site.saves);  // nothing changed since InitNew
    ASSERT_EQ(S_OK, m_ole->SetClientSite(nullptr));
    EXPECT_EQ(0, site.refs);
    EXPECT_EQ(0, site.frame.refs);
}

TEST_F(HostTest, WindowlessActivationDrawsAtItsPositionWithoutAWindow)
{
    RECT position = {8, 6, 48, 36};
    TestSite site(m_container, position, true);
    ASSERT_EQ(S_OK, m_ole->SetClientSite(&site));
    ASSERT_EQ(S_OK, Load(m_control, PictureFile(L"still.gif")));
    ASSERT_EQ(S_OK, m_ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, m_container, &position));
    EXPECT_EQ(1, site.inPlaceActivations);
    EXPECT_EQ(static_cast<DWORD>(ACTIVATE_WINDOWLESS), site.activateExFlags);
    HWND child = reinterpret_cast<HWND>(1);
    EXPECT_EQ(E_FAIL, m_inPlace->GetWindow(&child));
    EXPECT_EQ(nullptr, child);
    EXPECT_EQ(nullptr, GetWindow(m_container, GW_CHILD));

    // The host draws a windowless control itself; without bounds the control uses its position.
    CComPtr<IViewObjectEx> view;
    ASSERT_EQ(S_OK, view.QueryFrom(m_control));
    DibCanvas canvas(64, 48);
    ASSERT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(), nullptr, nullptr,
                               nullptr, 0));
    EXPECT_TRUE(canvas.AreaIs({12, 10, 44, 32}, RGB(0, 0, 255)));
    EXPECT_TRUE(canvas.AreaIs({0, 0, 64, 6}, RGB(0, 0, 0)));
    EXPECT_TRUE(canvas.AreaIs({48, 0, 64, 48}, RGB(0, 0, 0)));

    CComPtr<IOleInPlaceObjectWindowless> windowless;
    ASSERT_EQ(S_OK, windowless.QueryFrom(m_control));
    LRESULT result = 99;
    EXPECT_EQ(S_FALSE, windowless->OnWindowMessage(WM_LBUTTONDOWN, 0, 0, &result));
    EXPECT_EQ(0, result);

    ASSERT_EQ(S_OK, m_ole->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(1, site.inPlaceDeactivations);
    ASSERT_EQ(S_OK, m_ole->SetClientSite(nullptr));
    EXPECT_EQ(0, site.refs);
}

TEST_F(HostTest, QuickActivationTakesTheSiteAndAnswersTheMiscStatus)
{
    RECT position = {0, 0, 50, 50};
    TestSite site(m_container, position, false);
    CComPtr<IQuickActivate> quick;
    ASSERT_EQ(S_OK, quick.QueryFrom(m_control));
    QACONTAINER container = {};
    container.cbSize = sizeof(container);
    container.pClientSite = &site;
    QACONTROL control = {};
    control.cbSize = sizeof(control);
    ASSERT_EQ(S_OK, quick->QuickActivate(&container, &control));
    EXPECT_EQ(0x20191u, control.dwMiscStatus);
    EXPECT_EQ(static_cast<DWORD>(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND), control.dwViewStatus);
    CComPtr<IOleClientSite> held;
    ASSERT_EQ(S_OK, m_ole->GetClientSite(&held));
    EXPECT_EQ(static_cast<IOleClientSite*>(&site), held.Get());
    held.Release();
    QACONTROL small = {};
    small.cbSize = 8;
    EXPECT_EQ(E_INVALIDARG, quick->QuickActivate(&container, &small));
    ASSERT_EQ(S_OK, m_ole->SetClientSite(nullptr));
    EXPECT_EQ(0, site.refs);
}

TEST_F(HostTest, ReleasingAnActiveControlTakesItsWindowAlong)
{
    RECT position = {10, 10, 60, 60};
    TestSite site(m_container, position, false);
    ASSERT_EQ(S_OK, m_ole->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, m_container, &position));
    HWND child = nullptr;
    ASSERT_EQ(S_OK, m_inPlace->GetWindow(&child));
    ASSERT_TRUE(IsWindow(child));
    m_inPlace.Release();
    m_ole.Release();
    m_control.Release();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(0, site.refs);
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

// OleCreate, as document containers embed a control: site first (the registered misc status asks
// for it), then a new storage, then in-place activation; OleSave writes the class and state back.
TEST_F(HostTest, OleCreateEmbedsTheControlInAStorage)
{
    CComPtr<ILockBytes> bytes;
    ASSERT_EQ(S_OK, CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes));
    CComPtr<IStorage> storage;
    ASSERT_EQ(S_OK, StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                                 &storage));
    RECT position = {30, 20, 90, 70};
    TestSite site(m_container, position, false);
    CComPtr<IOleObject> embedded;
    ASSERT_EQ(S_OK, OleCreate(CLSID_LVImageCtl, IID_IOleObject, OLERENDER_NONE, nullptr, &site, storage,
                              (void**)&embedded));
    CComPtr<IOleClientSite> held;
    ASSERT_EQ(S_OK, embedded->GetClientSite(&held));
    EXPECT_EQ(static_cast<IOleClientSite*>(&site), held.Get());
    held.Release();

    CComPtr<ILVImageCtl> control;
    ASSERT_EQ(S_OK, control.QueryFrom(embedded));
    ASSERT_EQ(S_OK, Load(control, PictureFile(L"red.png")));
    ASSERT_EQ(S_OK, embedded->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, m_container, &position));
    CComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(S_OK, inPlace.QueryFrom(embedded));
    HWND child = nullptr;
    ASSERT_EQ(S_OK, inPlace->GetWindow(&child));
    RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Pump();
    EXPECT_EQ(RGB(255, 0, 0), ScreenPixel(child, 30, 25));

    CComPtr<IPersistStorage> persist;
    ASSERT_EQ(S_OK, persist.QueryFrom(embedded));
    ASSERT_EQ(S_OK, OleSave(persist, storage, TRUE));
    CLSID stored = {};
    ASSERT_EQ(S_OK, ReadClassStg(storage, &stored));
    EXPECT_TRUE(IsEqualCLSID(CLSID_LVImageCtl, stored));

    ASSERT_EQ(S_OK, embedded->Close(OLECLOSE_NOSAVE));
    EXPECT_FALSE(IsWindow(child));
    ASSERT_EQ(S_OK, embedded->SetClientSite(nullptr));
    inPlace.Release();
    persist.Release();
    control.Release();
    embedded.Release();
    EXPECT_EQ(0, site.refs);
}

}  // namespace
