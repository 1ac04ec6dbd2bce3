// Watches the WM_USER_UI_NOTICE messages one of the class window's satellites receives (posted or
// sent), with the contents of their records copied before the satellite frees them.
#pragma once
#include <windows.h>
#include <cstdint>
#include <vector>

struct SeenNotice {
    WPARAM code = 0;
    LPARAM raw = 0;
    uint64_t id = 0;      // sub-codes 4, 12, 13, 14: the document id
    uint16_t page = 0;    // 4: the page; 12: the current page; 14: the percent
    uint16_t count = 0;   // 12: the page count
};

class NoticeSpy {
public:
    explicit NoticeSpy(HWND window);
    ~NoticeSpy();
    NoticeSpy(const NoticeSpy&) = delete;
    NoticeSpy& operator=(const NoticeSpy&) = delete;

    std::vector<SeenNotice> Of(WPARAM code) const;
    size_t Count(WPARAM code) const { return Of(code).size(); }
    void Clear() { m_seen.clear(); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window;
    WNDPROC m_original = nullptr;
    std::vector<SeenNotice> m_seen;
};
