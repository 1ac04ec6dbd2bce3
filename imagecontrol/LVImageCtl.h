// The image control: shows one picture file stretched over its rectangle and animates GIFs by the
// time that passed between the host's repaints.
#pragma once
#include "imagecontrol/ImageCache.h"
#include "imagecontrol/Tessellon.h"
#include "platform/atl/AtlControl.h"
#include "platform/atl/AtlDispatch.h"

#include <string>

class CLVImageCtl : public CComObjectRootEx<CComSingleThreadModel>,
                    public IDispatchImpl<CLVImageCtl, ILVImageCtl, &LIBID_TessellonLib, 1, 0>,
                    public IPersistStreamInitImpl,
                    public IOleControlImpl,
                    public IOleObjectImpl,
                    public IOleInPlaceActiveObjectImpl,
                    public IViewObjectExImpl,
                    public IOleInPlaceObjectWindowlessImpl,
                    public ISupportErrorInfo,
                    public IObjectWithSiteImpl,
                    public IPersistStorageImpl,
                    public ISpecifyPropertyPagesImpl,
                    public IQuickActivateImpl,
                    public IDataObjectImpl,
                    public IProvideClassInfo2Impl,
                    public CComCoClass<CLVImageCtl, &CLSID_LVImageCtl>,
                    public CComControl<CLVImageCtl> {
public:
    // The registration's misc status: recompose on resize, can't link inside, inside-out,
    // activate when visible, set client site first.
    static const DWORD kOleMisc = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                                  OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;

    CLVImageCtl() = default;
    ~CLVImageCtl() override = default;

    LV_BEGIN_COM_MAP(CLVImageCtl)
        LV_COM_INTERFACE(CLVImageCtl, ILVImageCtl)
        LV_COM_INTERFACE(CLVImageCtl, IDispatch)
        LV_COM_INTERFACE(CLVImageCtl, IViewObjectEx)
        LV_COM_INTERFACE2(CLVImageCtl, IViewObject2, IViewObjectEx)
        LV_COM_INTERFACE2(CLVImageCtl, IViewObject, IViewObjectEx)
        LV_COM_INTERFACE(CLVImageCtl, IOleInPlaceObjectWindowless)
        LV_COM_INTERFACE2(CLVImageCtl, IOleInPlaceObject, IOleInPlaceObjectWindowless)
        LV_COM_INTERFACE2(CLVImageCtl, IOleWindow, IOleInPlaceObjectWindowless)
        LV_COM_INTERFACE(CLVImageCtl, IOleInPlaceActiveObject)
        LV_COM_INTERFACE(CLVImageCtl, IOleControl)
        LV_COM_INTERFACE(CLVImageCtl, IOleObject)
        LV_COM_INTERFACE(CLVImageCtl, IPersistStreamInit)
        LV_COM_INTERFACE2(CLVImageCtl, IPersist, IPersistStreamInit)
        LV_COM_INTERFACE(CLVImageCtl, ISupportErrorInfo)
        LV_COM_INTERFACE(CLVImageCtl, IPersistStorage)
        LV_COM_INTERFACE(CLVImageCtl, ISpecifyPropertyPages)
        LV_COM_INTERFACE(CLVImageCtl, IQuickActivate)
        LV_COM_INTERFACE(CLVImageCtl, IDataObject)
        LV_COM_INTERFACE(CLVImageCtl, IProvideClassInfo)
        LV_COM_INTERFACE(CLVImageCtl, IProvideClassInfo2)
        LV_COM_INTERFACE(CLVImageCtl, IObjectWithSite)
    LV_END_COM_MAP()

    // GDI+ must have started for the control to show anything.
    HRESULT FinalConstruct();
    void FinalRelease();

    // ILVImageCtl
    STDMETHOD(LoadImage)(BSTR bstrFileName, ULONG ulEditerWnd) override;
    STDMETHOD(GetImagePath)(char* pWCharBuf, LONG lBufCharSize) override;
    STDMETHOD(get_ObjectID)(ULONG* pVal) override;
    STDMETHOD(put_ObjectID)(ULONG newVal) override;
    STDMETHOD(OnDeleteObject)() override { return S_OK; }
    STDMETHOD(GetWidth)() override;
    STDMETHOD(GetHeight)() override;

    // ISupportErrorInfo
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID iid) override;

    HRESULT OnDraw(AtlDrawInfo& info) override;
    const wchar_t* ControlWindowClass() const override { return L"TessellonLVImageCtl"; }

protected:
    CComControlBase* ControlBase() override { return this; }
    const GUID& ClassInfoLibId() const override { return LIBID_TessellonLib; }

private:
    void SelectDueFrame();

    std::wstring m_path;
    ULONG m_objectId = 0;
    AnimationState m_animation;
    const ImageRecord* m_image = nullptr;
    std::unique_ptr<ImageCache> m_cache;
    RECT m_rect = {};
};
