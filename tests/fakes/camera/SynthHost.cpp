#include "tests/fakes/camera/SynthHost.h"

#include "tests/support/MessageSink.h"

#include <objbase.h>
#include <string>

ComScope::ComScope()
{
    m_ok = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) && SUCCEEDED(RegisterSynthDevices());
}

ComScope::~ComScope()
{
    CoUninitialize();
}

HRESULT RegisterSynthDevices()
{
    static HRESULT result = E_PENDING;
    if (result != E_PENDING)
        return result;
    HMODULE server = LoadLibraryW(L"SynthCamera.dll");
    if (!server)
        return result = HRESULT_FROM_WIN32(GetLastError());
    auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(server, "DllRegisterServer"));
    result = registerServer ? registerServer() : E_NOINTERFACE;
    return result;
}

namespace {

const wchar_t* const kMixingRenderers[] = {
    L"CLSID\\{B87BEB7B-8D29-423F-AE4D-6582C10175AC}", // VMR-7
    L"CLSID\\{51B4ABF3-748F-4E3B-A276-C828330E926A}", // VMR-9
    L"CLSID\\{6BC1CFFA-8FC1-4261-AC22-CFB4CC38DB50}", // default video renderer
};
const wchar_t kGdiRenderer[] = L"{70E102B0-5556-11CE-97C0-00AA0055595A}";

} // namespace

ScopedGdiRenderers::ScopedGdiRenderers()
{
    for (const wchar_t* key : kMixingRenderers) {
        HKEY treatAs = nullptr;
        std::wstring path = std::wstring(key) + L"\\TreatAs";
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &treatAs,
                            nullptr) != ERROR_SUCCESS) {
            m_ok = false;
            continue;
        }
        m_ok &= RegSetValueExW(treatAs, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kGdiRenderer),
                               sizeof(kGdiRenderer)) == ERROR_SUCCESS;
        RegCloseKey(treatAs);
    }
}

ScopedGdiRenderers::~ScopedGdiRenderers()
{
    for (const wchar_t* key : kMixingRenderers) {
        std::wstring path = std::wstring(key) + L"\\TreatAs";
        RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    }
}

void Pump(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}
