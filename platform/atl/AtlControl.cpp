#include "platform/atl/AtlControl.h"
#include "platform/atl/AtlDispatch.h"

namespace {

// One inch in HIMETRIC: the extent of a control the host has not sized yet.
const LONG kDefaultExtent = 2540;
const wchar_t kContentsStream[] = L"Contents";

HINSTANCE CodeModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CodeModule), &module);
    return module;
}

}  // namespace

CComControlBase::CComControlBase()
{
    m_sizeExtent.cx = kDefaultExtent;
    m_sizeExtent.cy = kDefaultExtent;
}

CComControlBase::~CComControlBase()
{
    // A host that released the control without closing it still gets its window back.
    DestroyControlWindow();
}

HRESULT CComControlBase::SetClientSite(IOleClientSite* site)
{
    m_spClientSite = site;
    return S_OK;
}

HRESULT CComControlBase::SetExtent(DWORD aspect, const SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    if (size->cx <= 0 || size->cy <= 0) return E_INVALIDARG;
    m_sizeExtent = *size;
    m_bRequiresSave = true;
    return S_OK;
}

HRESULT CComControlBase::GetExtent(DWORD aspect, SIZEL* size) const
{
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    *size = m_sizeExtent;
    return S_OK;
}

HRESULT CComControlBase::LoadState(IStream* stream)
{
    if (!stream) return E_POINTER;
    DWORD words[3] = {};
    ULONG read = 0;
    HRESULT hr = stream->Read(words, sizeof(words), &read);
    if (FAILED(hr)) return hr;
    // Short or foreign data changes nothing.
    if (read != sizeof(words) || words[0] != kStateVersion) return E_FAIL;
    LONG cx = static_cast<LONG>(words[1]);
    LONG cy = static_cast<LONG>(words[2]);
    if (cx <= 0 || cy <= 0) return E_FAIL;
    m_sizeExtent.cx = cx;
    m_sizeExtent.cy = cy;
    m_bRequiresSave = false;
    return S_OK;
}

HRESULT CComControlBase::SaveState(IStream* stream, bool clearDirty)
{
    if (!stream) return E_POINTER;
    DWORD words[3] = {kStateVersion, static_cast<DWORD>(m_sizeExtent.cx), static_cast<DWORD>(m_sizeExtent.cy)};
    ULONG written = 0;
    HRESULT hr = stream->Write(words, sizeof(words), &written);
    if (FAILED(hr)) return hr;
    if (written != sizeof(words)) return STG_E_WRITEFAULT;
    if (clearDirty) m_bRequiresSave = false;
    return S_OK;
}

HRESULT CComControlBase::Activate()
{
    m_spWindowlessSite.QueryFrom(m_spClientSite);
    if (m_spWindowlessSite) m_spInPlaceSite = m_spWindowlessSite.Get();
    else m_spInPlaceSite.QueryFrom(m_spClientSite);
    if (!m_spInPlaceSite) return E_FAIL;
    if (m_spInPlaceSite->CanInPlaceActivate() != S_OK) {
        m_spInPlaceSite.Release();
        m_spWindowlessSite.Release();
        return E_FAIL;
    }
    m_bWndLess = m_spWindowlessSite && m_spWindowlessSite->CanWindowlessActivate() == S_OK;
    BOOL noRedraw = FALSE;
    HRESULT hr = m_bWndLess ? m_spWindowlessSite->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS)
                            : m_spInPlaceSite->OnInPlaceActivate();
    if (FAILED(hr)) {
        m_spInPlaceSite.Release();
        m_spWindowlessSite.Release();
        m_bWndLess = false;
        return hr;
    }
    m_bInPlaceActive = true;
    return S_OK;
}

HRESULT CComControlBase::InPlaceActivate(LONG verb, const RECT*)
{
    if (!m_spClientSite) return E_UNEXPECTED;
    if (!m_bInPlaceActive) {
        HRESULT hr = Activate();
        if (FAILED(hr)) return hr;
    }
    CComPtr<IOleInPlaceFrame> frame;
    CComPtr<IOleInPlaceUIWindow> document;
    RECT position = {}, clip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof(frameInfo);
    HRESULT hr = m_spInPlaceSite->GetWindowContext(&frame, &document, &position, &clip, &frameInfo);
    if (FAILED(hr)) {
        InPlaceDeactivate();
        return hr;
    }
    if (!m_bWndLess && !m_hWndCD) {
        HWND parent = nullptr;
        hr = m_spInPlaceSite->GetWindow(&parent);
        if (SUCCEEDED(hr)) hr = CreateControlWindow(parent, position);
        if (FAILED(hr)) {
            InPlaceDeactivate();
            return hr;
        }
    }
    SetObjectRects(&position, &clip);
    if (m_hWndCD) ShowWindow(m_hWndCD, SW_SHOWNA);
    if (verb == OLEIVERB_PRIMARY || verb == OLEIVERB_UIACTIVATE) UIActivate(frame, document);
    return S_OK;
}

void CComControlBase::UIActivate(IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document)
{
    if (m_bUIActive) return;
    m_bUIActive = true;
    m_spInPlaceSite->OnUIActivate();
    if (m_hWndCD) SetFocus(m_hWndCD);
    else if (m_spWindowlessSite) m_spWindowlessSite->SetFocus(TRUE);
    CComPtr<IOleInPlaceActiveObject> active;
    active.QueryFrom(ControlUnknown());
    if (frame) {
        frame->SetActiveObject(active, nullptr);
        frame->SetBorderSpace(nullptr);
    }
    if (document) {
        document->SetActiveObject(active, nullptr);
        document->SetBorderSpace(nullptr);
    }
}

HRESULT CComControlBase::UIDeactivate()
{
    if (!m_bUIActive) return S_OK;
    m_bUIActive = false;
    if (!m_spInPlaceSite) return S_OK;
    CComPtr<IOleInPlaceFrame> frame;
    CComPtr<IOleInPlaceUIWindow> document;
    RECT position = {}, clip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof(frameInfo);
    if (SUCCEEDED(m_spInPlaceSite->GetWindowContext(&frame, &document, &position, &clip, &frameInfo))) {
        if (frame) frame->SetActiveObject(nullptr, nullptr);
        if (document) document->SetActiveObject(nullptr, nullptr);
    }
    m_spInPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT CComControlBase::InPlaceDeactivate()
{
    if (!m_bInPlaceActive) return S_OK;
    UIDeactivate();
    m_bInPlaceActive = false;
    DestroyControlWindow();
    if (m_bWndLess && m_spWindowlessSite) m_spWindowlessSite->OnInPlaceDeactivateEx(TRUE);
    else if (m_spInPlaceSite) m_spInPlaceSite->OnInPlaceDeactivate();
    m_spInPlaceSite.Release();
    m_spWindowlessSite.Release();
    m_bWndLess = false;
    return S_OK;
}

HRESULT CComControlBase::SetObjectRects(const RECT* position, const RECT*)
{
    if (!position) return E_POINTER;
    m_rcPos = *position;
    if (m_hWndCD) {
        SetWindowPos(m_hWndCD, nullptr, position->left, position->top, position->right - position->left,
                     position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
}

HRESULT CComControlBase::Close(DWORD saveOption)
{
    if (m_bRequiresSave && m_spClientSite &&
        (saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE)) {
        m_spClientSite->SaveObject();
        if (m_spOleAdviseHolder) m_spOleAdviseHolder->SendOnSave();
    }
    InPlaceDeactivate();
    if (m_spOleAdviseHolder) m_spOleAdviseHolder->SendOnClose();
    return S_OK;
}

void CComControlBase::FireViewChange()
{
    if (m_bInPlaceActive) {
        if (m_hWndCD) InvalidateRect(m_hWndCD, nullptr, TRUE);
        else if (m_bWndLess && m_spWindowlessSite) m_spWindowlessSite->InvalidateRect(nullptr, TRUE);
    } else if (m_spViewSink) {
        m_spViewSink->OnViewChange(DVASPECT_CONTENT, -1);
    }
}

HRESULT CComControlBase::DrawForHost(DWORD aspect, HDC hdc, const RECT* bounds)
{
    if (!hdc || !bounds) return E_INVALIDARG;
    AtlDrawInfo info;
    info.aspect = aspect;
    info.hdcDraw = hdc;
    info.bounds = *bounds;
    return OnDraw(info);
}

HRESULT CComControlBase::CreateControlWindow(HWND parent, const RECT& position)
{
    HINSTANCE instance = CodeModule();
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    if (!GetClassInfoExW(instance, ControlWindowClass(), &windowClass)) {
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = &CComControlBase::WindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.lpszClassName = ControlWindowClass();
        if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return HRESULT_FROM_WIN32(GetLastError());
    }
    HWND window = CreateWindowExW(0, ControlWindowClass(), nullptr, ControlWindowStyle(), position.left, position.top,
                                  position.right - position.left, position.bottom - position.top, parent, nullptr,
                                  instance, this);
    if (!window) {
        DWORD error = GetLastError();
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    m_hWndCD = window;
    return S_OK;
}

void CComControlBase::DestroyControlWindow()
{
    if (!m_hWndCD) return;
    // No message of the dying window may reach a control that is itself being destroyed.
    SetWindowLongPtrW(m_hWndCD, GWLP_USERDATA, 0);
    DestroyWindow(m_hWndCD);
    m_hWndCD = nullptr;
    // The class must not outlive the server's code when the host unloads it; this fails quietly
    // while other controls still have windows.
    UnregisterClassW(ControlWindowClass(), CodeModule());
}

LRESULT CALLBACK CComControlBase::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* control = reinterpret_cast<CComControlBase*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!control) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (control->m_hWndCD == window) control->m_hWndCD = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (!control->m_hWndCD) control->m_hWndCD = window;
    return control->OnMessage(message, wParam, lParam);
}

LRESULT CComControlBase::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint = {};
        HDC hdc = BeginPaint(m_hWndCD, &paint);
        if (hdc) {
            RECT client = {};
            GetClientRect(m_hWndCD, &client);
            DrawForHost(DVASPECT_CONTENT, hdc, &client);
            EndPaint(m_hWndCD, &paint);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        // The drawing fills the whole rectangle; erasing first would only flicker.
        return 1;
    default:
        return DefWindowProcW(m_hWndCD, message, wParam, lParam);
    }
}

// IOleObjectImpl

STDMETHODIMP IOleObjectImpl::SetClientSite(IOleClientSite* site) { return ControlBase()->SetClientSite(site); }

STDMETHODIMP IOleObjectImpl::GetClientSite(IOleClientSite** site)
{
    if (!site) return E_POINTER;
    return ControlBase()->m_spClientSite.CopyTo(site);
}

STDMETHODIMP IOleObjectImpl::Close(DWORD saveOption) { return ControlBase()->Close(saveOption); }

STDMETHODIMP IOleObjectImpl::GetMoniker(DWORD, DWORD, IMoniker** out)
{
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP IOleObjectImpl::GetClipboardData(DWORD, IDataObject** out)
{
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP IOleObjectImpl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT position)
{
    CComControlBase* control = ControlBase();
    if (site && !control->m_spClientSite) control->SetClientSite(site);
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return control->InPlaceActivate(verb, position);
    case OLEIVERB_HIDE:
        control->UIDeactivate();
        if (control->ControlWindow()) ShowWindow(control->ControlWindow(), SW_HIDE);
        return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
    default:
        break;
    }
    if (verb > 0) {
        // An unknown verb of the object's own range runs the primary verb.
        HRESULT hr = control->InPlaceActivate(OLEIVERB_PRIMARY, position);
        return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
    }
    return E_NOTIMPL;
}

STDMETHODIMP IOleObjectImpl::EnumVerbs(IEnumOLEVERB** out)
{
    if (!out) return E_POINTER;
    return OleRegEnumVerbs(ControlBase()->ControlClsid(), out);
}

STDMETHODIMP IOleObjectImpl::GetUserClassID(CLSID* clsid)
{
    if (!clsid) return E_POINTER;
    *clsid = ControlBase()->ControlClsid();
    return S_OK;
}

STDMETHODIMP IOleObjectImpl::GetUserType(DWORD form, LPOLESTR* type)
{
    if (!type) return E_POINTER;
    return OleRegGetUserType(ControlBase()->ControlClsid(), form, type);
}

STDMETHODIMP IOleObjectImpl::SetExtent(DWORD aspect, SIZEL* size) { return ControlBase()->SetExtent(aspect, size); }

STDMETHODIMP IOleObjectImpl::GetExtent(DWORD aspect, SIZEL* size) { return ControlBase()->GetExtent(aspect, size); }

STDMETHODIMP IOleObjectImpl::Advise(IAdviseSink* sink, DWORD* cookie)
{
    if (!cookie) return E_POINTER;
    *cookie = 0;
    CComControlBase* control = ControlBase();
    if (!control->m_spOleAdviseHolder) {
        HRESULT hr = CreateOleAdviseHolder(&control->m_spOleAdviseHolder);
        if (FAILED(hr)) return hr;
    }
    return control->m_spOleAdviseHolder->Advise(sink, cookie);
}

STDMETHODIMP IOleObjectImpl::Unadvise(DWORD cookie)
{
    CComControlBase* control = ControlBase();
    if (!control->m_spOleAdviseHolder) return OLE_E_NOCONNECTION;
    return control->m_spOleAdviseHolder->Unadvise(cookie);
}

STDMETHODIMP IOleObjectImpl::EnumAdvise(IEnumSTATDATA** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    CComControlBase* control = ControlBase();
    if (!control->m_spOleAdviseHolder) return E_FAIL;
    return control->m_spOleAdviseHolder->EnumAdvise(out);
}

STDMETHODIMP IOleObjectImpl::GetMiscStatus(DWORD aspect, DWORD* status)
{
    if (!status) return E_POINTER;
    return OleRegGetMiscStatus(ControlBase()->ControlClsid(), aspect, status);
}

// IOleInPlaceObjectWindowlessImpl

STDMETHODIMP IOleInPlaceObjectWindowlessImpl::GetWindow(HWND* window)
{
    if (!window) return E_POINTER;
    *window = ControlBase()->ControlWindow();
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP IOleInPlaceObjectWindowlessImpl::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result)
{
    // A windowless control with no input of its own leaves every message to the host.
    if (result) *result = 0;
    return S_FALSE;
}

STDMETHODIMP IOleInPlaceObjectWindowlessImpl::GetDropTarget(IDropTarget** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return E_NOTIMPL;
}

// IOleInPlaceActiveObjectImpl

STDMETHODIMP IOleInPlaceActiveObjectImpl::GetWindow(HWND* window)
{
    if (!window) return E_POINTER;
    *window = ControlBase()->ControlWindow();
    return *window ? S_OK : E_FAIL;
}

// IViewObjectExImpl

STDMETHODIMP IViewObjectExImpl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdc, LPCRECTL bounds,
                                     LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!hdc) return E_INVALIDARG;
    CComControlBase* control = ControlBase();
    RECT rect = {};
    if (bounds) {
        rect.left = bounds->left;
        rect.top = bounds->top;
        rect.right = bounds->right;
        rect.bottom = bounds->bottom;
    } else if (control->InPlaceActive() && control->Windowless()) {
        rect = control->Position();
    } else {
        return E_INVALIDARG;
    }
    return control->DrawForHost(aspect, hdc, &rect);
}

STDMETHODIMP IViewObjectExImpl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    CComControlBase* control = ControlBase();
    control->m_spViewSink = sink;
    control->m_viewAspects = aspects;
    control->m_viewAdviseFlags = flags;
    return S_OK;
}

STDMETHODIMP IViewObjectExImpl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    CComControlBase* control = ControlBase();
    if (aspects) *aspects = control->m_viewAspects;
    if (flags) *flags = control->m_viewAdviseFlags;
    if (sink) control->m_spViewSink.CopyTo(sink);
    return S_OK;
}

STDMETHODIMP IViewObjectExImpl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return ControlBase()->GetExtent(aspect, size);
}

STDMETHODIMP IViewObjectExImpl::GetViewStatus(DWORD* status)
{
    if (!status) return E_POINTER;
    *status = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

STDMETHODIMP IViewObjectExImpl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT point, LONG, DWORD* result)
{
    if (!bounds || !result) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return E_FAIL;
    *result = PtInRect(bounds, point) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP IViewObjectExImpl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT rect, LONG, DWORD* result)
{
    if (!bounds || !rect || !result) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return E_FAIL;
    RECT overlap = {};
    *result = IntersectRect(&overlap, bounds, rect) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

// IOleControlImpl

STDMETHODIMP IOleControlImpl::FreezeEvents(BOOL freeze)
{
    CComControlBase* control = ControlBase();
    if (freeze) ++control->m_freezeCount;
    else if (control->m_freezeCount > 0) --control->m_freezeCount;
    return S_OK;
}

// IPersistStreamInitImpl

STDMETHODIMP IPersistStreamInitImpl::GetClassID(CLSID* clsid)
{
    if (!clsid) return E_POINTER;
    *clsid = ControlBase()->ControlClsid();
    return S_OK;
}

STDMETHODIMP IPersistStreamInitImpl::Load(LPSTREAM stream) { return ControlBase()->LoadState(stream); }

STDMETHODIMP IPersistStreamInitImpl::Save(LPSTREAM stream, BOOL clearDirty)
{
    return ControlBase()->SaveState(stream, clearDirty != FALSE);
}

STDMETHODIMP IPersistStreamInitImpl::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size) return E_POINTER;
    size->QuadPart = CComControlBase::kStateSize;
    return S_OK;
}

STDMETHODIMP IPersistStreamInitImpl::InitNew()
{
    ControlBase()->m_bRequiresSave = false;
    return S_OK;
}

// IPersistStorageImpl

STDMETHODIMP IPersistStorageImpl::GetClassID(CLSID* clsid)
{
    if (!clsid) return E_POINTER;
    *clsid = ControlBase()->ControlClsid();
    return S_OK;
}

STDMETHODIMP IPersistStorageImpl::InitNew(IStorage* storage)
{
    if (!storage) return E_POINTER;
    ControlBase()->m_bRequiresSave = false;
    return S_OK;
}

STDMETHODIMP IPersistStorageImpl::Load(IStorage* storage)
{
    if (!storage) return E_POINTER;
    CComPtr<IStream> stream;
    HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
    if (FAILED(hr)) return hr;
    return ControlBase()->LoadState(stream);
}

STDMETHODIMP IPersistStorageImpl::Save(IStorage* storage, BOOL)
{
    if (!storage) return E_POINTER;
    CComPtr<IStream> stream;
    HRESULT hr = storage->CreateStream(kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                       &stream);
    if (FAILED(hr)) return hr;
    return ControlBase()->SaveState(stream, true);
}

// IObjectWithSiteImpl

STDMETHODIMP IObjectWithSiteImpl::SetSite(IUnknown* site)
{
    ControlBase()->m_spObjectSite = site;
    return S_OK;
}

STDMETHODIMP IObjectWithSiteImpl::GetSite(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    IUnknown* site = ControlBase()->m_spObjectSite;
    if (!site) return E_FAIL;
    return site->QueryInterface(iid, out);
}

// ISpecifyPropertyPagesImpl

STDMETHODIMP ISpecifyPropertyPagesImpl::GetPages(CAUUID* pages)
{
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    return S_OK;
}

// IQuickActivateImpl

STDMETHODIMP IQuickActivateImpl::QuickActivate(QACONTAINER* container, QACONTROL* control)
{
    if (!container || !control) return E_POINTER;
    if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL)) return E_INVALIDARG;
    CComControlBase* base = ControlBase();
    HRESULT hr = base->SetClientSite(container->pClientSite);
    if (FAILED(hr)) return hr;
    if (container->pAdviseSink) {
        base->m_spViewSink = container->pAdviseSink;
        base->m_viewAspects = DVASPECT_CONTENT;
        base->m_viewAdviseFlags = 0;
    }
    ULONG size = control->cbSize;
    ZeroMemory(control, size);
    control->cbSize = size;
    DWORD misc = 0;
    if (FAILED(OleRegGetMiscStatus(base->ControlClsid(), DVASPECT_CONTENT, &misc))) misc = 0;
    control->dwMiscStatus = misc;
    control->dwViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

STDMETHODIMP IQuickActivateImpl::SetContentExtent(LPSIZEL size)
{
    return ControlBase()->SetExtent(DVASPECT_CONTENT, size);
}

STDMETHODIMP IQuickActivateImpl::GetContentExtent(LPSIZEL size)
{
    return ControlBase()->GetExtent(DVASPECT_CONTENT, size);
}

// IDataObjectImpl

STDMETHODIMP IDataObjectImpl::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* cookie)
{
    if (!cookie) return E_POINTER;
    *cookie = 0;
    CComControlBase* control = ControlBase();
    if (!control->m_spDataAdviseHolder) {
        HRESULT hr = CreateDataAdviseHolder(&control->m_spDataAdviseHolder);
        if (FAILED(hr)) return hr;
    }
    return control->m_spDataAdviseHolder->Advise(this, format, flags, sink, cookie);
}

STDMETHODIMP IDataObjectImpl::DUnadvise(DWORD cookie)
{
    CComControlBase* control = ControlBase();
    if (!control->m_spDataAdviseHolder) return OLE_E_NOCONNECTION;
    return control->m_spDataAdviseHolder->Unadvise(cookie);
}

STDMETHODIMP IDataObjectImpl::EnumDAdvise(IEnumSTATDATA** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    CComControlBase* control = ControlBase();
    if (!control->m_spDataAdviseHolder) return E_FAIL;
    return control->m_spDataAdviseHolder->EnumAdvise(out);
}

// IProvideClassInfo2Impl

STDMETHODIMP IProvideClassInfo2Impl::GetClassInfo(ITypeInfo** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    CComPtr<ITypeLib> typeLib;
    HRESULT hr = AtlLoadTypeLib(ClassInfoLibId(), ClassInfoMajorVersion(), ClassInfoMinorVersion(), &typeLib);
    if (FAILED(hr)) return hr;
    return typeLib->GetTypeInfoOfGuid(ControlBase()->ControlClsid(), out);
}

STDMETHODIMP IProvideClassInfo2Impl::GetGUID(DWORD kind, GUID* guid)
{
    if (!guid) return E_POINTER;
    *guid = GUID_NULL;
    // The control has no event interface: its default source is the null IID.
    return kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID ? S_OK : E_INVALIDARG;
}
