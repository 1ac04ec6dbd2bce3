// Update: moves itself out of the program folder, finds the installer's address, downloads and runs it,
// then restarts the client.
#include "updater/AddressQuery.h"
#include "updater/DownloadWnd.h"
#include "updater/UpdateArgs.h"

#include <winsock2.h>
#include <objidl.h> // gdiplus needs it with the lean Windows headers
#include <gdiplus.h>

namespace {
const int kGatewayHostString = 200;
const int kGatewayPortString = 201;

CString LoadText(HINSTANCE instance, int id)
{
    wchar_t text[256] = {};
    LoadStringW(instance, id, text, 256);
    return text;
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    CString line = commandLine ? commandLine : L"";
    CString folder = RunningFolder(), temp = TempFolderPath();
    if (folder.CompareNoCase(temp) != 0) {
        // The installer replaces the program folder's files, this one among them: run from a copy.
        CString copy;
        // Without a copy there is nothing to start: the command line alone would name whatever program
        // its first word happens to be. The client has closed already, so the user must hear of it.
        if (!CopySelfToTemp(copy)) {
            MessageBoxW(nullptr, L"Cannot copy the updater into the temporary folder!", L"Error", MB_OK);
            return 1;
        }
        RunProcess(L" " + line, copy);
        return 0;
    }

    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    CString address, program, arguments;
    if (!SplitUpdateArgs(line, address, program, arguments)) {
        MessageBoxW(nullptr, L"Parameter is invalid!", L"Error", MB_OK);
        WSACleanup();
        return 1;
    }
    if (address.IsEmpty()) {
        CString host = LoadText(instance, kGatewayHostString);
        uint16_t port = static_cast<uint16_t>(_wtoi(LoadText(instance, kGatewayPortString)));
        if (!QueryDownloadUrl(host, port, address)) {
            MessageBoxW(nullptr, L"Get download url fail!", L"Error", MB_OK);
            WSACleanup();
            return 1;
        }
    }

    Gdiplus::GdiplusStartupInput gdiplusInput;
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);
    // A window that cannot be made frees its object, whose end posts the quit that ends the loop.
    OpenDownloadWindow(new CDownloadWnd(address, program, arguments));
    MSG msg;
    HACCEL accelerators = nullptr; // the program has no accelerator table
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    Gdiplus::GdiplusShutdown(gdiplusToken);
    WSACleanup();
    return static_cast<int>(msg.wParam);
}
