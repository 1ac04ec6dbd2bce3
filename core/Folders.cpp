#include "core/Folders.h"

#include <shlobj.h>

namespace {

CString WithBackslash(CString folder)
{
    if (!folder.IsEmpty() && folder[folder.GetLength() - 1] != L'\\' && folder[folder.GetLength() - 1] != L'/')
        folder += L'\\';
    return folder;
}

CString& ModuleFolderSlot()
{
    static CString* folder = new CString; // never destroyed: used by at-exit destructors
    return *folder;
}

CString& DataFolderSlot()
{
    static CString* folder = new CString;
    return *folder;
}

} // namespace

void SetModuleFolderOverride(const CString& folder) { ModuleFolderSlot() = WithBackslash(folder); }
void SetAppDataFolderOverride(const CString& folder)
{
    DataFolderSlot() = WithBackslash(folder);
    EnsureFolder(DataFolderSlot());
}

CString GetModuleFolder()
{
    CString& folder = ModuleFolderSlot();
    if (folder.IsEmpty()) {
        wchar_t path[512] = {};
        DWORD length = GetModuleFileNameW(nullptr, path, 512);
        CString full(path, static_cast<int>(length < 512 ? length : 511));
        folder = full.Left(full.ReverseFind(L'\\') + 1);
    }
    return folder;
}

CString GetAppDataFolder()
{
    CString& folder = DataFolderSlot();
    if (folder.IsEmpty()) {
        wchar_t fromEnvironment[MAX_PATH] = {};
        if (GetEnvironmentVariableW(L"LUMENVALE_DATA_FOLDER", fromEnvironment, MAX_PATH) > 0) {
            folder = WithBackslash(fromEnvironment);
        } else {
            wchar_t common[MAX_PATH] = {};
            SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_APPDATA, FALSE);
            folder = CString(common) + L"\\Zentora\\Lumenvale\\";
        }
        EnsureFolder(folder);
    }
    return folder;
}

bool EnsureFolder(const CString& folder)
{
    CString path(folder);
    path.TrimRight(L"\\/");
    if (path.IsEmpty()) return false;
    int result = SHCreateDirectoryExW(nullptr, path, nullptr);
    if (result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) return true;
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const CString& path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
