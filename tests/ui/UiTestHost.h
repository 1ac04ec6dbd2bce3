// A message-only window with a paint manager, a skin built from XML text and a log of notifications,
// and a 32-bit memory DIB to paint into.
#pragma once
#include "platform/ui/UIlib.h"

#include <cstdint>
#include <string>
#include <vector>

class UiTestHost : public INotifyUI, public IDialogBuilderCallback {
public:
    // A message-only window, or a hidden top-level one where native child windows are needed.
    explicit UiTestHost(bool topLevel = false);
    ~UiTestHost() override;

    // Builds the tree from XML, attaches it and lays it out in rc; false when the skin is refused.
    bool Load(const wchar_t* xml, RECT rc);
    HWND Window() const { return m_window; }
    CPaintManagerUI& Manager() { return m_pm; }
    CControlUI* Find(const wchar_t* name) { return m_pm.FindControl(name); }

    void Notify(TNotifyUI& msg) override;
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    // "type:name" of every notification, in order.
    std::vector<std::wstring> log;
    std::vector<std::wstring> unknownTags;

    // Mouse and keys as the window would receive them.
    void Click(int x, int y);
    void Press(int x, int y);
    void Release(int x, int y);
    void Move(int x, int y);
    void Key(WPARAM key);
    void Pump(DWORD ms);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_window = nullptr;
    CPaintManagerUI m_pm;
};

class MemoryDib {
public:
    MemoryDib(int width, int height);
    ~MemoryDib();
    MemoryDib(const MemoryDib&) = delete;
    MemoryDib& operator=(const MemoryDib&) = delete;
    HDC Dc() const { return m_dc; }
    void Fill(uint32_t rgb);
    // 0xRRGGBB of a pixel.
    uint32_t At(int x, int y) const { return m_bits[y * m_width + x] & 0xFFFFFF; }
    // Pixels of the rectangle that differ from rgb.
    int CountOther(const RECT& rc, uint32_t rgb) const;
    int CountColor(const RECT& rc, uint32_t rgb) const;

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    uint32_t* m_bits = nullptr;
    int m_width, m_height;
};

// "left,top,right,bottom", to compare a whole rectangle in one readable check.
inline std::wstring RectText(const RECT& rc)
{
    return std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"," + std::to_wstring(rc.right) + L"," +
           std::to_wstring(rc.bottom);
}

// Writes a 24-bit bottom-up BMP whose pixel (x, y) is colour(x, y) as 0xRRGGBB.
bool WriteTestBmp(const wchar_t* path, int width, int height, uint32_t (*colour)(int, int));
