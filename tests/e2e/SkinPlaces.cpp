// Where the controls of a shipped skin sit in a window of a given size, as the UI layer lays them out:
// the end-to-end test clicks the real windows there. Controls that the window shows or hides while
// it runs are named on the command line (Name=show, Name=hide, Name=tabN for a tab layout's page).
// Prints one line per visible named control: name, left, top, right, bottom (client coordinates).
// Usage: skin_places <skin folder> <file.xml> <width> <height> [Name=show|hide|tabN ...]
#include "controls/ControlFactory.h"
#include "platform/ui/UIlib.h"

#include <cstdio>
#include <string>

namespace {

class Builder : public IDialogBuilderCallback {
public:
    CControlUI* CreateControl(LPCTSTR pstrClass) override { return CreateLumenvaleControl(pstrClass); }
};

std::string Utf8(const wchar_t* text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

void Print(CControlUI* control)
{
    if (!control->IsVisible()) return;
    if (!control->GetName().IsEmpty()) {
        const RECT& rc = control->GetPos();
        printf("%s %ld %ld %ld %ld\n", Utf8(control->GetName().GetData()).c_str(), static_cast<long>(rc.left),
               static_cast<long>(rc.top), static_cast<long>(rc.right), static_cast<long>(rc.bottom));
    }
    auto* container = static_cast<IContainerUI*>(control->GetInterface(L"IContainer"));
    if (!container) return;
    for (int i = 0; i < container->GetCount(); ++i) Print(container->GetItemAt(i));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) {
        fprintf(stderr, "usage: skin_places <skin folder> <file.xml> <width> <height> [Name=show|hide|tabN ...]\n");
        return 2;
    }
    const int width = _wtoi(argv[3]), height = _wtoi(argv[4]);
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    std::wstring folder = argv[1];
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    CPaintManagerUI::SetResourcePath(folder.c_str());
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
    CPaintManagerUI manager;
    manager.Init(window);
    Builder callback;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(argv[2], nullptr, &callback, &manager);
    if (!root) {
        fprintf(stderr, "skin_places: cannot build %s\n", Utf8(argv[2]).c_str());
        return 1;
    }
    manager.AttachDialog(root);
    for (int i = 5; i < argc; ++i) {
        std::wstring item = argv[i];
        size_t equals = item.find(L'=');
        if (equals == std::wstring::npos) continue;
        std::wstring name = item.substr(0, equals), what = item.substr(equals + 1);
        CControlUI* control = manager.FindControl(name.c_str());
        if (!control) {
            fprintf(stderr, "skin_places: no control %s\n", Utf8(name.c_str()).c_str());
            return 1;
        }
        if (what == L"show" || what == L"hide") {
            control->SetVisible(what == L"show");
        } else if (what.compare(0, 3, L"tab") == 0) {
            auto* tab = static_cast<CTabLayoutUI*>(control->GetInterface(L"TabLayout"));
            if (tab) tab->SelectItem(_wtoi(what.c_str() + 3), false);
        }
    }
    manager.SetLayoutSize({width, height});
    root->SetPos({0, 0, width, height});
    // The first paint lays the tree out, as in the window.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    manager.PaintTo(memory, {0, 0, width, height});
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    Print(root);
    fflush(stdout);
    return 0;
}
