// ActiveX control support: the state every control shares (sites, in-place activation, its window
// or windowless drawing, extent) and the OLE control interfaces on top of it, one class each, that
// a control class derives from together with CComControl.
#pragma once
#include "platform/atl/AtlCom.h"

#include <ocidl.h>
#include <olectl.h>

// What a control draws with: the device context and the rectangle to fill.
struct AtlDrawInfo {
    DWORD aspect = DVASPECT_CONTENT;
    HDC hdcDraw = nullptr;
    RECT bounds = {};
};

class CComControlBase {
public:
    CComControlBase();
    virtual ~CComControlBase();
    CComControlBase(const CComControlBase&) = delete;
    CComControlBase& operator=(const CComControlBase&) = delete;

    // The control's drawing; every host path (window paint, IViewObject::Draw) ends here.
    virtual HRESULT OnDraw(AtlDrawInfo& info) = 0;
    // Provided by CComControl<T> from the final class.
    virtual IUnknown* ControlUnknown() = 0;
    virtual const CLSID& ControlClsid() const = 0;

    // The window style of a windowed control.
    virtual DWORD ControlWindowStyle() const { return WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN; }
    virtual const wchar_t* ControlWindowClass() const { return L"LumenvaleAtlControl"; }

    HRESULT InPlaceActivate(LONG verb, const RECT* position);
    HRESULT InPlaceDeactivate();
    HRESULT UIDeactivate();
    HRESULT SetObjectRects(const RECT* position, const RECT* clip);
    // Asks the host to repaint the control.
    void FireViewChange();
    HRESULT DrawForHost(DWORD aspect, HDC hdc, const RECT* bounds);
    HRESULT SetClientSite(IOleClientSite* site);
    HRESULT SetExtent(DWORD aspect, const SIZEL* size);
    HRESULT GetExtent(DWORD aspect, SIZEL* size) const;
    HRESULT Close(DWORD saveOption);

    // The persisted state: a version word and the extent (HIMETRIC), 12 bytes.
    static const DWORD kStateVersion = 0x00010000;
    static const ULONG kStateSize = 12;
    HRESULT LoadState(IStream* stream);
    HRESULT SaveState(IStream* stream, bool clearDirty);

    HWND ControlWindow() const { return m_hWndCD; }
    bool InPlaceActive() const { return m_bInPlaceActive; }
    bool UIActive() const { return m_bUIActive; }
    bool Windowless() const { return m_bWndLess; }
    const RECT& Position() const { return m_rcPos; }

    // Shared with the interface classes.
    CComPtr<IOleClientSite> m_spClientSite;
    CComPtr<IOleInPlaceSite> m_spInPlaceSite;
    CComPtr<IOleInPlaceSiteWindowless> m_spWindowlessSite;
    CComPtr<IAdviseSink> m_spViewSink;
    DWORD m_viewAspects = 0;
    DWORD m_viewAdviseFlags = 0;
    CComPtr<IOleAdviseHolder> m_spOleAdviseHolder;
    CComPtr<IDataAdviseHolder> m_spDataAdviseHolder;
    CComPtr<IUnknown> m_spObjectSite;
    bool m_bRequiresSave = false;
    LONG m_freezeCount = 0;
    SIZEL m_sizeExtent;

private:
    // Finds the in-place site (windowless when the host allows it) and tells it.
    HRESULT Activate();
    HRESULT CreateControlWindow(HWND parent, const RECT& position);
    void DestroyControlWindow();
    void UIActivate(IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    bool m_bInPlaceActive = false;
    bool m_bUIActive = false;
    bool m_bWndLess = false;
    RECT m_rcPos = {};
    HWND m_hWndCD = nullptr;
};

// Ties the shared state to the final class T.
template <class T>
class CComControl : public CComControlBase {
public:
    IUnknown* ControlUnknown() override { return static_cast<T*>(this)->GetUnknown(); }
    const CLSID& ControlClsid() const override { return T::GetObjectCLSID(); }
};

// Each interface class reaches the shared state through ControlBase(), which the final control
// class answers with itself (one override serves every interface class).
class IOleObjectImpl : public IOleObject {
public:
    STDMETHOD(SetClientSite)(IOleClientSite* site) override;
    STDMETHOD(GetClientSite)(IOleClientSite** site) override;
    STDMETHOD(SetHostNames)(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHOD(Close)(DWORD saveOption) override;
    STDMETHOD(SetMoniker)(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker** out) override;
    STDMETHOD(InitFromData)(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetClipboardData)(DWORD, IDataObject** out) override;
    STDMETHOD(DoVerb)(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) override;
    STDMETHOD(EnumVerbs)(IEnumOLEVERB** out) override;
    STDMETHOD(Update)() override { return S_OK; }
    STDMETHOD(IsUpToDate)() override { return S_OK; }
    STDMETHOD(GetUserClassID)(CLSID* clsid) override;
    STDMETHOD(GetUserType)(DWORD form, LPOLESTR* type) override;
    STDMETHOD(SetExtent)(DWORD aspect, SIZEL* size) override;
    STDMETHOD(GetExtent)(DWORD aspect, SIZEL* size) override;
    STDMETHOD(Advise)(IAdviseSink* sink, DWORD* cookie) override;
    STDMETHOD(Unadvise)(DWORD cookie) override;
    STDMETHOD(EnumAdvise)(IEnumSTATDATA** out) override;
    STDMETHOD(GetMiscStatus)(DWORD aspect, DWORD* status) override;
    STDMETHOD(SetColorScheme)(LOGPALETTE*) override { return E_NOTIMPL; }
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IOleObjectImpl() = default;
};

class IOleInPlaceObjectWindowlessImpl : public IOleInPlaceObjectWindowless {
public:
    STDMETHOD(GetWindow)(HWND* window) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }
    STDMETHOD(InPlaceDeactivate)() override { return ControlBase()->InPlaceDeactivate(); }
    STDMETHOD(UIDeactivate)() override { return ControlBase()->UIDeactivate(); }
    STDMETHOD(SetObjectRects)(LPCRECT position, LPCRECT clip) override
    {
        return ControlBase()->SetObjectRects(position, clip);
    }
    STDMETHOD(ReactivateAndUndo)() override { return E_NOTIMPL; }
    STDMETHOD(OnWindowMessage)(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    STDMETHOD(GetDropTarget)(IDropTarget** out) override;
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IOleInPlaceObjectWindowlessImpl() = default;
};

class IOleInPlaceActiveObjectImpl : public IOleInPlaceActiveObject {
public:
    STDMETHOD(GetWindow)(HWND* window) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }
    STDMETHOD(TranslateAccelerator)(LPMSG) override { return S_FALSE; }
    STDMETHOD(OnFrameWindowActivate)(BOOL) override { return S_OK; }
    STDMETHOD(OnDocWindowActivate)(BOOL) override { return S_OK; }
    STDMETHOD(ResizeBorder)(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHOD(EnableModeless)(BOOL) override { return S_OK; }
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IOleInPlaceActiveObjectImpl() = default;
};

class IViewObjectExImpl : public IViewObjectEx {
public:
    STDMETHOD(Draw)(DWORD aspect, LONG lindex, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDC, HDC hdc,
                    LPCRECTL bounds, LPCRECTL windowBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                    ULONG_PTR contArg) override;
    STDMETHOD(GetColorSet)(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override { return E_NOTIMPL; }
    STDMETHOD(Freeze)(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(Unfreeze)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetAdvise)(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHOD(GetAdvise)(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHOD(GetExtent)(DWORD aspect, LONG lindex, DVTARGETDEVICE* target, LPSIZEL size) override;
    STDMETHOD(GetRect)(DWORD, LPRECTL) override { return E_NOTIMPL; }
    STDMETHOD(GetViewStatus)(DWORD* status) override;
    STDMETHOD(QueryHitPoint)(DWORD aspect, LPCRECT bounds, POINT point, LONG, DWORD* result) override;
    STDMETHOD(QueryHitRect)(DWORD aspect, LPCRECT bounds, LPCRECT rect, LONG, DWORD* result) override;
    STDMETHOD(GetNaturalExtent)(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) override
    {
        return E_NOTIMPL;
    }
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IViewObjectExImpl() = default;
};

class IOleControlImpl : public IOleControl {
public:
    STDMETHOD(GetControlInfo)(CONTROLINFO*) override { return E_NOTIMPL; }
    STDMETHOD(OnMnemonic)(MSG*) override { return E_NOTIMPL; }
    STDMETHOD(OnAmbientPropertyChange)(DISPID) override { return S_OK; }
    STDMETHOD(FreezeEvents)(BOOL freeze) override;
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IOleControlImpl() = default;
};

class IPersistStreamInitImpl : public IPersistStreamInit {
public:
    STDMETHOD(GetClassID)(CLSID* clsid) override;
    STDMETHOD(IsDirty)() override { return ControlBase()->m_bRequiresSave ? S_OK : S_FALSE; }
    STDMETHOD(Load)(LPSTREAM stream) override;
    STDMETHOD(Save)(LPSTREAM stream, BOOL clearDirty) override;
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER* size) override;
    STDMETHOD(InitNew)() override;
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IPersistStreamInitImpl() = default;
};

// Keeps the same state as the stream form, in the storage's "Contents" stream.
class IPersistStorageImpl : public IPersistStorage {
public:
    STDMETHOD(GetClassID)(CLSID* clsid) override;
    STDMETHOD(IsDirty)() override { return ControlBase()->m_bRequiresSave ? S_OK : S_FALSE; }
    STDMETHOD(InitNew)(IStorage* storage) override;
    STDMETHOD(Load)(IStorage* storage) override;
    STDMETHOD(Save)(IStorage* storage, BOOL sameAsLoad) override;
    STDMETHOD(SaveCompleted)(IStorage*) override { return S_OK; }
    STDMETHOD(HandsOffStorage)() override { return S_OK; }
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IPersistStorageImpl() = default;
};

class IObjectWithSiteImpl : public IObjectWithSite {
public:
    STDMETHOD(SetSite)(IUnknown* site) override;
    STDMETHOD(GetSite)(REFIID iid, void** out) override;
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IObjectWithSiteImpl() = default;
};

// The control has no property pages.
class ISpecifyPropertyPagesImpl : public ISpecifyPropertyPages {
public:
    STDMETHOD(GetPages)(CAUUID* pages) override;
protected:
    virtual ~ISpecifyPropertyPagesImpl() = default;
};

class IQuickActivateImpl : public IQuickActivate {
public:
    STDMETHOD(QuickActivate)(QACONTAINER* container, QACONTROL* control) override;
    STDMETHOD(SetContentExtent)(LPSIZEL size) override;
    STDMETHOD(GetContentExtent)(LPSIZEL size) override;
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IQuickActivateImpl() = default;
};

// The control offers no data formats; it only keeps the host's data advises.
class IDataObjectImpl : public IDataObject {
public:
    STDMETHOD(GetData)(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC*) override { return DV_E_FORMATETC; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* cookie) override;
    STDMETHOD(DUnadvise)(DWORD cookie) override;
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA** out) override;
protected:
    virtual CComControlBase* ControlBase() = 0;
    virtual ~IDataObjectImpl() = default;
};

class IProvideClassInfo2Impl : public IProvideClassInfo2 {
public:
    STDMETHOD(GetClassInfo)(ITypeInfo** out) override;
    STDMETHOD(GetGUID)(DWORD kind, GUID* guid) override;
protected:
    virtual CComControlBase* ControlBase() = 0;
    // The type library holding the coclass.
    virtual const GUID& ClassInfoLibId() const = 0;
    virtual WORD ClassInfoMajorVersion() const { return 1; }
    virtual WORD ClassInfoMinorVersion() const { return 0; }
    virtual ~IProvideClassInfo2Impl() = default;
};
