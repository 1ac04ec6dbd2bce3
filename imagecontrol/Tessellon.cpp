// The server module of the image control: class object, registration (machine or per user), the
// merged interface proxy and the registration log.
#include "imagecontrol/LVImageCtl.h"
#include "imagecontrol/resource.h"
#include "platform/atl/AtlModule.h"

#include <cstdio>

// The interface proxy built from the IDL, its entry points renamed with the Prx prefix.
extern "C" {
BOOL WINAPI PrxDllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
HRESULT WINAPI PrxDllCanUnloadNow();
HRESULT WINAPI PrxDllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
HRESULT WINAPI PrxDllRegisterServer();
HRESULT WINAPI PrxDllUnregisterServer();
}

namespace {

const wchar_t kAppId[] = L"{C78C96F1-F639-41D4-81C6-A2B3CFFBDD27}";

class CTessellonModule : public CAtlModule {
public:
    using CAtlModule::CAtlModule;

protected:
    void AddReplacements(CRegistryScript& script) const override
    {
        script.AddReplacement(L"APPID", kAppId);
        script.AddReplacement(L"OLEMISC", std::to_wstring(CLVImageCtl::kOleMisc));
    }
};

const AtlObjectEntry kObjects[] = {
    {&CLSID_LVImageCtl, &CLVImageCtl::CreateInstance, IDR_LVIMAGECTL},
    {nullptr, nullptr, 0},
};

CTessellonModule g_atlModule(LIBID_TessellonLib, IDR_TESSELLON, kObjects);

// The registration log: one line per call, the file closed at once; no file, no line.
void AppendLog(const char* line)
{
    FILE* file = fopen("C:\\log.txt", "a+");
    if (!file) return;
    fprintf(file, "%s\n", line);
    fclose(file);
}

// Registration writes its keys with the system default locale, whatever the caller's thread uses.
class ScopedThreadLocale {
public:
    explicit ScopedThreadLocale(LCID locale) : m_saved(GetThreadLocale()) { SetThreadLocale(locale); }
    ~ScopedThreadLocale() { SetThreadLocale(m_saved); }
    ScopedThreadLocale(const ScopedThreadLocale&) = delete;
    ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;
private:
    LCID m_saved;
};

const LCID kRegistrationLocale = 0x0800;

// Per-user registration lasts for one DllInstall call.
class ScopedPerUser {
public:
    explicit ScopedPerUser(bool perUser) : m_saved(g_atlModule.PerUser()) { g_atlModule.SetPerUser(perUser); }
    ~ScopedPerUser() { g_atlModule.SetPerUser(m_saved); }
    ScopedPerUser(const ScopedPerUser&) = delete;
    ScopedPerUser& operator=(const ScopedPerUser&) = delete;
private:
    bool m_saved;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) g_atlModule.SetInstance(instance);
    if (reason == DLL_PROCESS_DETACH) OutputDebugStringW(L"Tessellon: DLL_PROCESS_DETACH\n");
    return PrxDllMain(instance, reason, reserved);
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    if (PrxDllCanUnloadNow() != S_OK) return S_FALSE;
    return g_atlModule.CanUnloadNow();
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (SUCCEEDED(PrxDllGetClassObject(clsid, iid, out))) return S_OK;
    return g_atlModule.GetClassObject(clsid, iid, out);
}

extern "C" HRESULT WINAPI DllRegisterServer()
{
    AppendLog("DllRegisterServer called ...");
    HRESULT hr;
    {
        ScopedThreadLocale locale(kRegistrationLocale);
        hr = g_atlModule.RegisterServer();
    }
    if (FAILED(hr)) {
        AppendLog("_AtlModule.DllRegisterServer failed.");
        return hr;
    }
    hr = PrxDllRegisterServer();
    AppendLog(FAILED(hr) ? "PrxDllRegisterServer failed." : "Dll registered!");
    return hr;
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    HRESULT hr;
    {
        ScopedThreadLocale locale(kRegistrationLocale);
        hr = g_atlModule.UnregisterServer();
    }
    if (FAILED(hr)) return hr;
    // Registering first makes the proxy's removal find every key it owns.
    hr = PrxDllRegisterServer();
    if (SUCCEEDED(hr)) hr = PrxDllUnregisterServer();
    return hr;
}

extern "C" HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine)
{
    // "user" exactly, in any case: the terminator is among the five characters compared.
    bool perUser = commandLine && _wcsnicmp(commandLine, L"user", 5) == 0;
    ScopedPerUser scope(perUser);
    if (!install) return DllUnregisterServer();
    HRESULT hr = DllRegisterServer();
    if (FAILED(hr)) DllUnregisterServer();
    return hr;
}
