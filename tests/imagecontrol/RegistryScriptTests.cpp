// Registry scripts: what registration writes, what unregistration removes, and scripts refused.
#include "platform/atl/AtlRegistrar.h"
#include "tests/imagecontrol/ControlTestSupport.h"

namespace {

const wchar_t kTestRoot[] = L"Software\\LumenvaleScriptTest";

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
        m_script.AddReplacement(L"MODULE", L"C:\\x\\Tessellon.dll");
        m_script.AddReplacement(L"APPID", L"{C78C96F1-F639-41D4-81C6-A2B3CFFBDD27}");
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot); }

    static std::wstring Path(const wchar_t* below) { return std::wstring(kTestRoot) + below; }
    static std::wstring Value(const wchar_t* below, const wchar_t* name = nullptr)
    {
        std::wstring value;
        return RegString(HKEY_CURRENT_USER, Path(below), name, value) ? value : L"<missing>";
    }
    static bool Exists(const wchar_t* below) { return RegKeyExists(HKEY_CURRENT_USER, Path(below)); }

    CRegistryScript m_script;
};

const wchar_t kScript[] =
    L"HKCU\n"
    L"{\n"
    L"  NoRemove Software\n"
    L"  {\n"
    L"    NoRemove LumenvaleScriptTest\n"
    L"    {\n"
    L"      Plain.Key.1 = s 'Plain ''quoted'' Class'\n"
    L"      {\n"
    L"        CLSID = s '{B8199D69-3069-40E9-8A43-4D32393F7C7A}'\n"
    L"      }\n"
    L"      ForceRemove {B8199D69-3069-40E9-8A43-4D32393F7C7A} = s 'Class'\n"
    L"      {\n"
    L"        InprocServer32 = s '%MODULE%'\n"
    L"        {\n"
    L"          val ThreadingModel = s 'Apartment'\n"
    L"        }\n"
    L"        val AppID = s '%APPID%'\n"
    L"        val Flags = d '0x20191'\n"
    L"        ForceRemove 'Programmable'\n"
    L"        Percent = s '100%%'\n"
    L"      }\n"
    L"    }\n"
    L"  }\n"
    L"}\n";

TEST_F(ScriptTest, RegisterWritesKeysDefaultsValuesAndReplacements)
{
    ASSERT_EQ(S_OK, m_script.Register(kScript));
    EXPECT_EQ(L"Plain 'quoted' Class", Value(L"\\Plain.Key.1"));
    EXPECT_EQ(L"{B8199D69-3069-40E9-8A43-4D32393F7C7A}", Value(L"\\Plain.Key.1\\CLSID"));
    const wchar_t* cls = L"\\{B8199D69-3069-40E9-8A43-4D32393F7C7A}";
    EXPECT_EQ(L"Class", Value(cls));
    EXPECT_EQ(L"C:\\x\\Tessellon.dll", Value((std::wstring(cls) + L"\\InprocServer32").c_str()));
    EXPECT_EQ(L"Apartment", Value((std::wstring(cls) + L"\\InprocServer32").c_str(), L"ThreadingModel"));
    EXPECT_EQ(L"{C78C96F1-F639-41D4-81C6-A2B3CFFBDD27}", Value(cls, L"AppID"));
    EXPECT_EQ(L"100%", Value((std::wstring(cls) + L"\\Percent").c_str()));
    EXPECT_TRUE(Exists((std::wstring(cls) + L"\\Programmable").c_str()));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, Path(cls).c_str(), 0, KEY_READ, &key));
    DWORD flags = 0, size = sizeof(flags), type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"Flags", nullptr, &type, reinterpret_cast<BYTE*>(&flags), &size));
    RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(0x20191u, flags);
}

TEST_F(ScriptTest, ForceRemoveReplacesOldKeysAndUnregisterKeepsNoRemoveAndForeignKeys)
{
    const std::wstring cls = L"\\{B8199D69-3069-40E9-8A43-4D32393F7C7A}";
    for (const std::wstring& below : {cls + L"\\Old", std::wstring(L"\\Plain.Key.1\\Foreign")}) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, Path(below.c_str()).c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    ASSERT_EQ(S_OK, m_script.Register(kScript));
    EXPECT_FALSE(Exists((cls + L"\\Old").c_str()));
    EXPECT_TRUE(Exists((cls + L"\\InprocServer32").c_str()));
    // Another program's key below a normal key keeps that key; ForceRemove takes everything.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, Path((cls + L"\\Foreign").c_str()).c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    ASSERT_EQ(S_OK, m_script.Unregister(kScript));
    EXPECT_TRUE(Exists(L""));
    EXPECT_TRUE(Exists(L"\\Plain.Key.1\\Foreign"));
    EXPECT_FALSE(Exists(L"\\Plain.Key.1\\CLSID"));
    EXPECT_FALSE(Exists(cls.c_str()));
    // Unregistering what is gone is no error.
    EXPECT_EQ(S_OK, m_script.Unregister(kScript));
}

TEST_F(ScriptTest, PerUserSendsClassesRootToTheUsersClasses)
{
    CRegistryScript script;
    script.SetPerUser(true);
    std::vector<CRegistryScript::Root> roots;
    std::wstring error;
    ASSERT_TRUE(script.Parse(L"HKCR { A } HKLM { B } HKEY_CLASSES_ROOT { C }", roots, error)) << error.c_str();
    ASSERT_EQ(3u, roots.size());
    EXPECT_EQ(HKEY_CURRENT_USER, roots[0].hive);
    EXPECT_EQ(L"Software\\Classes", roots[0].subKey);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, roots[1].hive);
    EXPECT_EQ(L"", roots[1].subKey);
    EXPECT_EQ(HKEY_CURRENT_USER, roots[2].hive);
}

TEST_F(ScriptTest, MalformedScriptsAreRefusedAndWriteNothing)
{
    const wchar_t* bad[] = {
        L"HKCU { NoRemove Software { NoRemove LumenvaleScriptTest { A = s 'x' }",  // missing braces
        L"HKCU { NoRemove Software { NoRemove LumenvaleScriptTest { A = s 'x } } }",  // open quote
        L"HKCU { NoRemove Software { NoRemove LumenvaleScriptTest { A = q 'x' } } }",  // unknown type
        L"HKCU { NoRemove Software { NoRemove LumenvaleScriptTest { A = d 'ten' } } }",
        L"HKCU { NoRemove Software { NoRemove LumenvaleScriptTest { A = s '%NOPE%' } } }",
        L"HKCU { NoRemove Software { NoRemove LumenvaleScriptTest { A = s '%MODULE' } } }",
        L"HKCU { NoRemove Software { NoRemove LumenvaleScriptTest { 'A\\B' } } }",
        L"HKCU { NoRemove Software { NoRemove LumenvaleScriptTest { A = } } }",
        L"HKCU { val X = s 'y' }",
        L"HKXX { A }",
        L"HKCU A",
        L"{ }",
    };
    for (const wchar_t* script : bad) {
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), m_script.Register(script)) << script;
        EXPECT_FALSE(Exists(L"")) << script;
    }
    EXPECT_EQ(S_OK, m_script.Register(L""));
}

// Every prefix of a good script parses or is refused; none crashes or loops.
TEST_F(ScriptTest, EveryTruncationParsesOrFails)
{
    std::wstring script = kScript;
    for (size_t length = 0; length <= script.size(); ++length) {
        std::vector<CRegistryScript::Root> roots;
        std::wstring error;
        bool parsed = m_script.Parse(script.substr(0, length), roots, error);
        EXPECT_TRUE(parsed || !error.empty()) << length;
    }
}

}  // namespace
