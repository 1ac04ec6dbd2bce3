// The server as regsvr32 and a host meet it: registration, creation, IDispatch, the proxy, unloading.
#include "tests/imagecontrol/ControlTestSupport.h"
#include "tests/support/Process.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const wchar_t kClsidKey[] = L"CLSID\\{B8199D69-3069-40E9-8A43-4D32393F7C7A}";
const wchar_t kAppIdKey[] = L"AppID\\{C78C96F1-F639-41D4-81C6-A2B3CFFBDD27}";
const wchar_t kInterfaceKey[] = L"Interface\\{3613429B-14BA-46AC-BDF2-D265E27C46AD}";
const wchar_t kUserClasses[] = L"Software\\Classes\\";

std::string ReadLog()
{
    std::ifstream file("C:\\log.txt", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::wstring Value(HKEY root, const std::wstring& path, const wchar_t* name = nullptr)
{
    std::wstring value;
    if (!RegString(root, path, name, value)) return L"<missing>";
    return value;
}

struct RegEntry {
    std::wstring path;
    const wchar_t* name;
    std::wstring value;
    bool anyCase = false;  // a module path is spelled as the loader found it
};

// What registration writes below HKEY_CLASSES_ROOT; unregistration removes every one of these keys.
std::vector<RegEntry> RegisteredEntries()
{
    const std::wstring clsid = L"{B8199D69-3069-40E9-8A43-4D32393F7C7A}", key = kClsidKey;
    const std::wstring appId = L"{C78C96F1-F639-41D4-81C6-A2B3CFFBDD27}";
    return {
        {L"Tessellon.LVImageCtl.1", nullptr, L"LVImageCtl Class"},
        {L"Tessellon.LVImageCtl.1\\CLSID", nullptr, clsid},
        {L"Tessellon.LVImageCtl", nullptr, L"LVImageCtl Class"},
        {L"Tessellon.LVImageCtl\\CLSID", nullptr, clsid},
        {L"Tessellon.LVImageCtl\\CurVer", nullptr, L"Tessellon.LVImageCtl.1"},
        {key, nullptr, L"LVImageCtl Class"},
        {key, L"AppID", appId},
        {key + L"\\ProgID", nullptr, L"Tessellon.LVImageCtl.1"},
        {key + L"\\VersionIndependentProgID", nullptr, L"Tessellon.LVImageCtl"},
        {key + L"\\InprocServer32", nullptr, ServerPath(), true},
        {key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {key + L"\\ToolboxBitmap32", nullptr, ServerPath() + L", 102", true},
        {key + L"\\MiscStatus", nullptr, L"0"},
        {key + L"\\MiscStatus\\1", nullptr, L"131473"},
        {key + L"\\TypeLib", nullptr, L"{CE4A54DA-2E22-45B0-AEDD-3B49749939F4}"},
        {key + L"\\Version", nullptr, L"1.0"},
        {kAppIdKey, nullptr, L"Tessellon"},
        {L"AppID\\Tessellon.DLL", L"AppID", appId},
        // The merged proxy serves the interface across apartments.
        {std::wstring(kInterfaceKey) + L"\\ProxyStubClsid32", nullptr, L"{3613429B-14BA-46AC-BDF2-D265E27C46AD}"},
    };
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.Loaded());
        ASSERT_EQ(S_OK, OleInitialize(nullptr));
    }
    void TearDown() override
    {
        m_server.Unregister();
        OleUninitialize();
    }
    ServerDll m_server;
};

TEST_F(ServerTest, RegistrationWritesClassProgIdAppIdAndTypeLibrary)
{
    // A stale key left under the class by an older version goes with the re-registration.
    std::wstring stale = std::wstring(kClsidKey) + L"\\Stale";
    HKEY staleKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, stale.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &staleKey, nullptr));
    RegCloseKey(staleKey);
    std::string logBefore = ReadLog();
    ASSERT_EQ(S_OK, m_server.Register());
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, stale));

    for (const RegEntry& entry : RegisteredEntries()) {
        std::wstring value = Value(HKEY_CLASSES_ROOT, entry.path, entry.name);
        if (entry.anyCase) {
            EXPECT_EQ(0, _wcsicmp(entry.value.c_str(), value.c_str())) << value.c_str();
        } else {
            EXPECT_EQ(entry.value, value) << entry.path.c_str();
        }
    }
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(kClsidKey) + L"\\Programmable"));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(kClsidKey) + L"\\Control"));

    CComPtr<ITypeLib> typeLib;
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_TessellonLib, 1, 0, 0x409, &typeLib));
    BSTR doc = nullptr;
    ASSERT_EQ(S_OK, typeLib->GetDocumentation(-1, nullptr, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"Tessellon 1.0 Type Library", doc);
    SysFreeString(doc);

    std::string added = ReadLog().substr(logBefore.size());
    // The log is written in text mode: each line ends with CR LF.
    EXPECT_EQ("DllRegisterServer called ...\r\nDll registered!\r\n", added);
}

TEST_F(ServerTest, TypeLibraryResourcesAndCallerLocaleSurviveRegistration)
{
    LCID before = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT)));
    ASSERT_EQ(S_OK, m_server.Register());
    EXPECT_EQ(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT), GetThreadLocale());
    SetThreadLocale(before);

    CComPtr<ITypeLib> typeLib;
    ASSERT_EQ(S_OK, LoadTypeLibEx(ServerPath().c_str(), REGKIND_NONE, &typeLib));
    struct Doc {
        const GUID* guid;
        MEMBERID member;
        const wchar_t* text;
    } docs[] = {
        {&CLSID_LVImageCtl, MEMBERID_NIL, L"LVImageCtl Class"},
        {&IID_ILVImageCtl, MEMBERID_NIL, L"ILVImageCtl Interface"},
        {&IID_ILVImageCtl, 1, L"Load a Image from file"},
        {&IID_ILVImageCtl, 2, L"method GetImagePath"},
        {&IID_ILVImageCtl, 3, L"property ObjectID"},
        {&IID_ILVImageCtl, 6, L"method GetHeight"},
        {&CLSID_FileTransferResultCtl, MEMBERID_NIL, L"FileTransferResultCtl Class"},
        {&IID_IFileTransferResultCtl, MEMBERID_NIL, L"IFileTransferResultCtl Interface"},
    };
    for (const Doc& doc : docs) {
        CComPtr<ITypeInfo> info;
        ASSERT_EQ(S_OK, typeLib->GetTypeInfoOfGuid(*doc.guid, &info)) << doc.text;
        BSTR text = nullptr;
        ASSERT_EQ(S_OK, info->GetDocumentation(doc.member, nullptr, &text, nullptr, nullptr)) << doc.text;
        EXPECT_STREQ(doc.text, text);
        SysFreeString(text);
    }

    HMODULE module = GetModuleHandleW(ServerPath().c_str());
    ASSERT_NE(nullptr, module);
    wchar_t name[32] = {};
    EXPECT_EQ(9, LoadStringW(module, 100, name, 32));
    EXPECT_STREQ(L"Tessellon", name);
    HANDLE bitmap = LoadImageW(module, MAKEINTRESOURCEW(102), IMAGE_BITMAP, 0, 0, 0);
    EXPECT_NE(nullptr, bitmap);
    if (bitmap) DeleteObject(bitmap);
}

TEST_F(ServerTest, UnregistrationRemovesItsKeysButKeepsTheSharedRoots)
{
    ASSERT_EQ(S_OK, m_server.Register());
    ASSERT_EQ(S_OK, m_server.Unregister());
    for (const RegEntry& entry : RegisteredEntries())
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, entry.path)) << entry.path.c_str();
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, kInterfaceKey));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"AppID"));

    CLSID clsid = {};
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(L"Tessellon.LVImageCtl", &clsid));
    CComPtr<ITypeLib> typeLib;
    EXPECT_NE(S_OK, LoadRegTypeLib(LIBID_TessellonLib, 1, 0, 0x409, &typeLib));
    CComPtr<IUnknown> object;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_LVImageCtl, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, (void**)&object));

    // Twice in a row is no error, as for a server that was never registered.
    EXPECT_EQ(S_OK, m_server.Unregister());
}

TEST_F(ServerTest, InstallForTheUserOnlyWithTheExactWordUser)
{
    std::wstring userProgId = std::wstring(kUserClasses) + L"Tessellon.LVImageCtl.1";
    std::wstring userClass = std::wstring(kUserClasses) + kClsidKey;

    ASSERT_EQ(S_OK, m_server.Install(TRUE, L"USER"));
    EXPECT_EQ(L"LVImageCtl Class", Value(HKEY_CURRENT_USER, userProgId));
    EXPECT_EQ(L"131473", Value(HKEY_CURRENT_USER, userClass + L"\\MiscStatus\\1"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"Tessellon.LVImageCtl.1"));
    ASSERT_EQ(S_OK, m_server.Install(FALSE, L"user"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, userProgId));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, userClass));

    // Longer text that begins with the word, or none at all, registers for the machine.
    for (const wchar_t* line : {L"users", L"", static_cast<const wchar_t*>(nullptr)}) {
        ASSERT_EQ(S_OK, m_server.Install(TRUE, line));
        EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"Tessellon.LVImageCtl.1"));
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, userProgId));
        ASSERT_EQ(S_OK, m_server.Install(FALSE, line));
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"Tessellon.LVImageCtl.1"));
    }
}

// The system's own regsvr32 drives the same exports: /s register, /u unregister, /n /i:user install.
TEST_F(ServerTest, Regsvr32RegistersInstallsPerUserAndUnregisters)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    CString regsvr32 = CString(system) + L"\\regsvr32.exe";
    CString quoted = CString(L"\"") + ServerPath().c_str() + L"\"";
    std::wstring userProgId = std::wstring(kUserClasses) + L"Tessellon.LVImageCtl.1";

    // Each run: the switches, then whether the machine's and the user's ProgID keys exist after it.
    const struct {
        const wchar_t* switches;
        bool machine, user;
    } runs[] = {{L"/s ", true, false}, {L"/s /u ", false, false}, {L"/s /n /i:user ", false, true},
                {L"/s /u /n /i:user ", false, false}};
    for (const auto& r : runs) {
        ChildResult run = RunChild(regsvr32, r.switches + quoted, nullptr, 30000);
        ASSERT_TRUE(run.finished) << r.switches;
        EXPECT_EQ(0u, run.exitCode) << r.switches;
        EXPECT_EQ(r.machine, RegKeyExists(HKEY_CLASSES_ROOT, L"Tessellon.LVImageCtl.1")) << r.switches;
        EXPECT_EQ(r.user, RegKeyExists(HKEY_CURRENT_USER, userProgId)) << r.switches;
    }
}

TEST_F(ServerTest, ClassObjectCountsLocksAndObjectsForUnloading)
{
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, m_server.GetClassObject(CLSID_LVImageCtl, IID_IClassFactory, (void**)&factory));
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());

    CComPtr<IUnknown> outer;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, (void**)&outer));
    CComPtr<IUnknown> aggregated;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, (void**)&aggregated));
    EXPECT_EQ(nullptr, aggregated.Get());
    EXPECT_EQ(S_FALSE, m_server.CanUnloadNow());
    outer.Release();
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());

    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, m_server.CanUnloadNow());
    ASSERT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());

    CComPtr<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, (void**)&none));
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              m_server.GetClassObject(IID_IFileTransferResultCtl, IID_IClassFactory, (void**)&none));
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

class DispatchTest : public RegisteredControlTest {};

TEST_F(DispatchTest, CreatedByEitherProgIdWithEveryControlInterface)
{
    for (const wchar_t* progId : {L"Tessellon.LVImageCtl", L"Tessellon.LVImageCtl.1"}) {
        CLSID clsid = {};
        ASSERT_EQ(S_OK, CLSIDFromProgID(progId, &clsid));
        EXPECT_TRUE(IsEqualCLSID(CLSID_LVImageCtl, clsid));
    }
    CComPtr<ILVImageCtl> control = CreateControl();
    ASSERT_TRUE(control);
    const IID* interfaces[] = {&IID_IDispatch, &IID_IViewObjectEx, &IID_IViewObject2, &IID_IViewObject,
                               &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceObject, &IID_IOleWindow,
                               &IID_IOleInPlaceActiveObject, &IID_IOleControl, &IID_IOleObject,
                               &IID_IPersistStreamInit, &IID_IPersist, &IID_ISupportErrorInfo, &IID_IPersistStorage,
                               &IID_ISpecifyPropertyPages, &IID_IQuickActivate, &IID_IDataObject,
                               &IID_IProvideClassInfo, &IID_IProvideClassInfo2, &IID_IObjectWithSite};
    CComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, control->QueryInterface(IID_IUnknown, (void**)&identity));
    for (const IID* iid : interfaces) {
        CComPtr<IUnknown> itf;
        ASSERT_EQ(S_OK, control->QueryInterface(*iid, (void**)&itf)) << GuidText(*iid).c_str();
        // Every interface leads back to the same object.
        CComPtr<IUnknown> back;
        ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, (void**)&back));
        EXPECT_EQ(identity.Get(), back.Get());
    }
    CComPtr<IUnknown> missing;
    EXPECT_EQ(E_NOINTERFACE, control->QueryInterface(IID_IFileTransferResultCtl, (void**)&missing));
    EXPECT_EQ(nullptr, missing.Get());
}

TEST_F(DispatchTest, NamesMapToTheirDispIds)
{
    CComPtr<ILVImageCtl> control = CreateControl();
    ASSERT_TRUE(control);
    struct Case {
        const wchar_t* name;
        DISPID id;
    } cases[] = {{L"LoadImage", 1}, {L"GetImagePath", 2}, {L"ObjectID", 3},
                 {L"OnDeleteObject", 4}, {L"GetWidth", 5}, {L"GetHeight", 6}, {L"getwidth", 5}};
    for (const Case& c : cases) {
        LPOLESTR name = const_cast<LPOLESTR>(c.name);
        DISPID id = 0;
        ASSERT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &id)) << c.name;
        EXPECT_EQ(c.id, id) << c.name;
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"Play");
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, control->GetIDsOfNames(IID_NULL, &unknown, 1, 0x409, &id));
    UINT count = 0;
    EXPECT_EQ(S_OK, control->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    CComPtr<ITypeInfo> info;
    EXPECT_EQ(DISP_E_BADINDEX, control->GetTypeInfo(1, 0, &info));
    ASSERT_EQ(S_OK, control->GetTypeInfo(0, 0, &info));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualIID(IID_ILVImageCtl, attr->guid));
    info->ReleaseTypeAttr(attr);
}

TEST_F(DispatchTest, InvokeLoadsAPictureAndReadsAndWritesObjectId)
{
    CComPtr<ILVImageCtl> control = CreateControl();
    ASSERT_TRUE(control);

    // Arguments go in reverse order: the window handle, then the file name.
    VARIANTARG args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    V_VT(&args[0]) = VT_UI4;
    V_UI4(&args[0]) = 0;
    V_VT(&args[1]) = VT_BSTR;
    V_BSTR(&args[1]) = SysAllocString(PictureFile(L"red.png").c_str());
    DISPPARAMS params = {args, nullptr, 2, 0};
    EXPECT_EQ(S_OK, control->Invoke(1, IID_NULL, 0x409, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    VariantClear(&args[1]);
    EXPECT_EQ(40, control->GetWidth());
    EXPECT_EQ(30, control->GetHeight());
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(S_OK, control->Invoke(5, IID_NULL, 0x409, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, control->Invoke(4, IID_NULL, 0x409, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));

    VARIANTARG value;
    VariantInit(&value);
    V_VT(&value) = VT_UI4;
    V_UI4(&value) = 0xC0FFEE;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&value, &named, 1, 1};
    ASSERT_EQ(S_OK, control->Invoke(3, IID_NULL, 0x409, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr));
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(S_OK, control->Invoke(3, IID_NULL, 0x409, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr));
    EXPECT_EQ(VT_UI4, V_VT(&result));
    EXPECT_EQ(0xC0FFEEu, V_UI4(&result));
    ULONG direct = 0;
    EXPECT_EQ(S_OK, control->get_ObjectID(&direct));
    EXPECT_EQ(0xC0FFEEu, direct);

    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              control->Invoke(99, IID_NULL, 0x409, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
              control->Invoke(1, IID_IDispatch, 0x409, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
}

TEST_F(DispatchTest, ClassInfoErrorInfoAndRegisteredOleStatus)
{
    CComPtr<ILVImageCtl> control = CreateControl();
    ASSERT_TRUE(control);
    CComPtr<ISupportErrorInfo> errorInfo;
    ASSERT_EQ(S_OK, errorInfo.QueryFrom(control));
    EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(IID_ILVImageCtl));
    EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch));
    EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_IOleObject));

    CComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(S_OK, classInfo.QueryFrom(control));
    CComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, classInfo->GetClassInfo(&coclass));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_TRUE(IsEqualCLSID(CLSID_LVImageCtl, attr->guid));
    coclass->ReleaseTypeAttr(attr);
    GUID source = {1};
    EXPECT_EQ(S_OK, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, source));
    EXPECT_EQ(E_INVALIDARG, classInfo->GetGUID(12345, &source));

    CComPtr<IOleObject> ole;
    ASSERT_EQ(S_OK, ole.QueryFrom(control));
    DWORD misc = 0;
    ASSERT_EQ(S_OK, ole->GetMiscStatus(DVASPECT_CONTENT, &misc));
    EXPECT_EQ(0x20191u, misc);
    LPOLESTR userType = nullptr;
    ASSERT_EQ(S_OK, ole->GetUserType(USERCLASSTYPE_FULL, &userType));
    EXPECT_STREQ(L"LVImageCtl Class", userType);
    CoTaskMemFree(userType);
    CLSID clsid = {};
    EXPECT_EQ(S_OK, ole->GetUserClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_LVImageCtl, clsid));
}

// A host on another thread reaches the control through the merged proxy.
TEST_F(DispatchTest, OtherApartmentCallsThroughTheProxy)
{
    CComPtr<ILVImageCtl> control = CreateControl();
    ASSERT_TRUE(control);
    ASSERT_EQ(S_OK, Load(control, PictureFile(L"red.png")));
    control->put_ObjectID(4242);
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_ILVImageCtl, control, &stream));

    HRESULT unmarshalled = E_FAIL, width = 0, pathResult = E_FAIL, shortResult = E_FAIL;
    wchar_t path[MAX_PATH] = {};
    wchar_t shortBuffer[4] = {L'#', L'#', L'#', L'#'};
    ULONG objectId = 0;
    bool isProxy = false;
    std::atomic<bool> done(false);
    std::thread host([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ILVImageCtl* remote = nullptr;
        unmarshalled = CoGetInterfaceAndReleaseStream(stream, IID_ILVImageCtl, (void**)&remote);
        if (SUCCEEDED(unmarshalled)) {
            isProxy = remote != control.Get();
            width = remote->GetWidth();
            remote->get_ObjectID(&objectId);
            // The whole wide buffer travels to the control's apartment and back.
            pathResult = remote->GetImagePath(reinterpret_cast<char*>(path), MAX_PATH);
            shortResult = remote->GetImagePath(reinterpret_cast<char*>(shortBuffer), 4);
            remote->Release();
        }
        CoUninitialize();
        done = true;
    });
    // The control's apartment must pump while the other thread calls in.
    DWORD start = GetTickCount();
    while (!done && GetTickCount() - start < 10000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    host.join();
    ASSERT_EQ(S_OK, unmarshalled);
    EXPECT_TRUE(isProxy);
    EXPECT_EQ(40, width);
    EXPECT_EQ(4242u, objectId);
    EXPECT_EQ(S_OK, pathResult);
    EXPECT_EQ(PictureFile(L"red.png"), std::wstring(path));
    EXPECT_EQ(S_FALSE, shortResult);
    EXPECT_EQ(L'#', shortBuffer[0]);
}

}  // namespace
