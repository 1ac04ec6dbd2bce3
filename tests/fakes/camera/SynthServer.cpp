// The in-process COM server of the synthetic devices and their registration in the capture
// categories, so the system device enumerator lists them as it lists real hardware.
#include "tests/fakes/camera/SynthDevices.h"
#include "tests/fakes/camera/SynthPattern.h"

#include <new>
#include <string>

namespace {

HINSTANCE g_module = nullptr;
volatile LONG g_objects = 0;

struct DeviceEntry {
    const CLSID* clsid;
    const wchar_t* name;
    const GUID* category;
    int kind;
};

const DeviceEntry kDevices[] = {
    {&CLSID_SynthCamera, SYNTH_CAMERA_NAME, &CLSID_VideoInputDeviceCategory, 0},
    {&CLSID_SynthCamera2, SYNTH_CAMERA2_NAME, &CLSID_VideoInputDeviceCategory, 1},
    {&CLSID_SynthMic, SYNTH_MIC_NAME, &CLSID_AudioInputDeviceCategory, 2},
};

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(int kind) : m_kind(kind) {}
    virtual ~ClassFactory() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_ref); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG count = InterlockedDecrement(&m_ref);
        if (count == 0)
            delete this;
        return count;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        HRESULT result = S_OK;
        auto* filter = new (std::nothrow) CSynthFilter(m_kind, &result);
        if (!filter)
            return E_OUTOFMEMORY;
        if (SUCCEEDED(result))
            result = filter->NonDelegatingQueryInterface(iid, out);
        filter->NonDelegatingRelease();
        return result;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    volatile LONG m_ref = 1;
    int m_kind;
};

std::wstring ClsidText(const CLSID& clsid)
{
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    return text;
}

bool RegisterServerKey(const DeviceEntry& device, const wchar_t* modulePath)
{
    std::wstring key = L"CLSID\\" + ClsidText(*device.clsid);
    HKEY classKey = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &classKey,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegSetValueExW(classKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(device.name),
                   static_cast<DWORD>((wcslen(device.name) + 1) * sizeof(wchar_t)));
    HKEY serverKey = nullptr;
    bool ok = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey,
                              nullptr) == ERROR_SUCCESS;
    if (ok) {
        const wchar_t* model = L"Both";
        RegSetValueExW(serverKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(modulePath),
                       static_cast<DWORD>((wcslen(modulePath) + 1) * sizeof(wchar_t)));
        RegSetValueExW(serverKey, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                       static_cast<DWORD>((wcslen(model) + 1) * sizeof(wchar_t)));
        RegCloseKey(serverKey);
    }
    RegCloseKey(classKey);
    return ok;
}

HRESULT RegisterInCategory(IFilterMapper2* mapper, const DeviceEntry& device)
{
    REGPINTYPES type = {device.kind == 2 ? &MEDIATYPE_Audio : &MEDIATYPE_Video,
                        device.kind == 2 ? &MEDIASUBTYPE_PCM : &MEDIASUBTYPE_RGB32};
    REGFILTERPINS2 pin = {};
    pin.dwFlags = REG_PINFLAG_B_OUTPUT;
    pin.cInstances = 1;
    pin.nMediaTypes = 1;
    pin.lpMediaType = &type;
    pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
    REGFILTER2 filter = {};
    filter.dwVersion = 2;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins2 = 1;
    filter.rgPins2 = &pin;
    std::wstring instance = ClsidText(*device.clsid);
    return mapper->RegisterFilter(*device.clsid, device.name, nullptr, device.category, instance.c_str(),
                                  &filter);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    for (const DeviceEntry& device : kDevices) {
        if (clsid == *device.clsid) {
            auto* factory = new (std::nothrow) ClassFactory(device.kind);
            if (!factory)
                return E_OUTOFMEMORY;
            HRESULT hr = factory->QueryInterface(iid, out);
            factory->Release();
            return hr;
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    // Tests load the server once per process; staying loaded keeps streaming threads safe.
    return S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer()
{
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameW(g_module, path, MAX_PATH))
        return HRESULT_FROM_WIN32(GetLastError());
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(&mapper));
    if (FAILED(hr))
        return hr;
    for (const DeviceEntry& device : kDevices) {
        if (!RegisterServerKey(device, path)) {
            hr = SELFREG_E_CLASS;
            break;
        }
        hr = RegisterInCategory(mapper, device);
        if (FAILED(hr))
            break;
    }
    mapper->Release();
    return hr;
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(&mapper));
    if (FAILED(hr))
        return hr;
    for (const DeviceEntry& device : kDevices) {
        std::wstring instance = ClsidText(*device.clsid);
        mapper->UnregisterFilter(device.category, instance.c_str(), *device.clsid);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClsidText(*device.clsid)).c_str());
    }
    mapper->Release();
    return S_OK;
}
