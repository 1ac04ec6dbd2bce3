#include "tests/support/TestFolders.h"

#include "core/Folders.h"

#include <windows.h>
#include <shellapi.h>
#include <cstdio>

namespace {
CString TempRoot()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    CString root = CString(temp) + L"lvtests\\";
    EnsureFolder(root);
    return root;
}
LONG g_counter = 0;
} // namespace

TempFolder::TempFolder(const wchar_t* tag)
{
    m_path.Format(L"%s%s_%lu_%ld\\", TempRoot().GetString(), tag ? tag : L"t", GetCurrentProcessId(),
                  InterlockedIncrement(&g_counter));
    RemoveTree(m_path);
    EnsureFolder(m_path);
}

TempFolder::~TempFolder() { RemoveTree(m_path); }

bool RemoveTree(const CString& folder)
{
    CString path(folder);
    path.TrimRight(L"\\");
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return true;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path + L"\\*", &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            CString name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            CString child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child, FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryW(path) != 0;
}

bool WriteFileBytes(const CString& path, const std::string& bytes)
{
    FILE* file = _wfopen(path, L"wb");
    if (!file) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

std::string ReadFileBytes(const CString& path)
{
    std::string bytes;
    FILE* file = _wfopen(path, L"rb");
    if (!file) return bytes;
    char block[8192];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
    fclose(file);
    return bytes;
}

CString TestProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    CString full(path);
    return full.Left(full.ReverseFind(L'\\') + 1);
}

ScopedDataFolder::ScopedDataFolder() : m_folder(L"data") { SetAppDataFolderOverride(m_folder.Path()); }
ScopedDataFolder::~ScopedDataFolder() = default;

ScopedModuleFolder::ScopedModuleFolder() : m_folder(L"prog") { SetModuleFolderOverride(m_folder.Path()); }
ScopedModuleFolder::~ScopedModuleFolder() { SetModuleFolderOverride(TestProgramFolder()); }
