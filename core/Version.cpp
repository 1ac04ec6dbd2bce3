#include "core/Version.h"

#include <windows.h>
#include <vector>

CString GetFileVersionString()
{
    wchar_t path[512] = {};
    GetModuleFileNameW(nullptr, path, 512);
    return GetFileVersionString(path);
}

CString GetFileVersionString(const wchar_t* modulePath)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(modulePath, &ignored);
    if (size == 0) return CString();
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(modulePath, 0, size, block.data())) return CString();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO))
        return CString();
    CString text;
    text.Format(L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return text;
}
