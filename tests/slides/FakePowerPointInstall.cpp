#include "tests/slides/FakePowerPointInstall.h"

namespace {

const wchar_t kClassKey[] = L"CLSID\\" FAKE_POWERPOINT_CLSID_TEXT;
const wchar_t kProgIdKey[] = L"PowerPoint.Application";
const wchar_t kOfficeKey[] = L"SOFTWARE\\Microsoft\\Office\\12.0\\PowerPoint";

bool SetString(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* value)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) != ERROR_SUCCESS) return false;
    LONG error = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return error == ERROR_SUCCESS;
}

template <typename Proc>
Proc Export(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Proc>(GetProcAddress(module, name)) : nullptr;
}

} // namespace

void FakePowerPointInstall::RemoveRegistration()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgIdKey);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgIdKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kOfficeKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kOfficeKey);
}

FakePowerPointInstall::FakePowerPointInstall(const Parts& parts) : m_root(L"office")
{
    RemoveRegistration();
    const CString dll = TestProgramFolder() + FAKE_POWERPOINT_DLL;
    m_server = LoadLibraryW(dll);
    bool ok = m_server != nullptr;
    if (ok && parts.registerClass) {
        CString server = CString(kClassKey) + L"\\InprocServer32";
        ok = SetString(HKEY_CLASSES_ROOT, server, nullptr, dll) &&
             SetString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Apartment") &&
             SetString(HKEY_CLASSES_ROOT, CString(kProgIdKey) + L"\\CLSID", nullptr, FAKE_POWERPOINT_CLSID_TEXT);
    }
    if (ok && parts.installRoot)
        ok = SetString(HKEY_LOCAL_MACHINE, CString(kOfficeKey) + L"\\InstallRoot", L"Path", m_root.Path());
    if (ok && parts.typeLibraryFile) ok = WriteFileBytes(m_root.File(L"MSPPT.OLB"), "type library stand-in");
    if (auto reset = Export<FakePowerPoint_ResetProc>(m_server, "FakePowerPoint_Reset")) reset();
    // Objects a worker ended by force still holds (an earlier case) are not this case's to count.
    m_liveBefore = LiveObjects();
    m_ready = ok && m_liveBefore >= 0;
}

FakePowerPointInstall::~FakePowerPointInstall()
{
    RemoveRegistration();
    if (auto reset = Export<FakePowerPoint_ResetProc>(m_server, "FakePowerPoint_Reset")) reset();
    if (m_server) FreeLibrary(m_server);
}

void FakePowerPointInstall::FailCreate(bool fail) const
{
    if (auto set = Export<FakePowerPoint_SetFailCreateProc>(m_server, "FakePowerPoint_SetFailCreate")) set(fail);
}

CString FakePowerPointInstall::Journal() const
{
    auto get = Export<FakePowerPoint_GetJournalProc>(m_server, "FakePowerPoint_GetJournal");
    if (!get) return CString();
    int length = get(nullptr, 0);
    CString text;
    wchar_t* buffer = text.GetBuffer(length + 1);
    get(buffer, length + 1);
    text.ReleaseBuffer();
    return text;
}

int FakePowerPointInstall::LiveObjects() const
{
    auto live = Export<FakePowerPoint_LiveObjectsProc>(m_server, "FakePowerPoint_LiveObjects");
    return live ? live() - m_liveBefore : -1;
}

CString WritePresentation(const TempFolder& folder, const wchar_t* name, const char* description)
{
    CString path = folder.File(name);
    WriteFileBytes(path, description);
    return path;
}
