#include "classroom/VideoWnd.h"

#include "classroom/CoverWnd.h"
#include "core/Logger.h"
#include "core/Records.h"
#include "core/WindowMessages.h"

#include <memory>

CVideoWnd::CVideoWnd(int32_t coverType) : m_coverType(coverType) {}

CVideoWnd::~CVideoWnd() = default;

HWND CVideoWnd::Create(HWND parent, LPCTSTR name)
{
    m_parent = parent;
    if (!CWindowWnd::Create(parent, name, 0x56000000, 0, 0, 0, 0, 0)) return nullptr;
    if (m_coverType == eVideoCover_Preview) {
        auto* cover = new (std::nothrow) CPreviewCoverWnd(m_hWnd);
        if (cover && cover->Create(parent, 0, 0, 0, 0)) {
            m_cover = cover;
            m_coverWindow = cover->GetHWND();
            ::ShowWindow(m_coverWindow, SW_HIDE);
        } else {
            delete cover; // never became a window
            LOG_ERROR(L"video window %s: its cover cannot be created", name ? name : L"");
        }
    }
    return m_hWnd;
}

CPreviewCoverWnd* CVideoWnd::GetCover() const
{
    return (m_cover && IsWindow(m_coverWindow)) ? m_cover : nullptr;
}

void CVideoWnd::PlaceCover()
{
    CPreviewCoverWnd* cover = GetCover();
    if (!cover) return;
    RECT own{}, parent{};
    GetWindowRect(m_hWnd, &own);
    GetWindowRect(m_parent, &parent);
    RECT both{};
    const bool inside = IntersectRect(&both, &own, &parent) && EqualRect(&both, &own);
    if (!inside) {
        ::ShowWindow(m_coverWindow, SW_HIDE);
        return;
    }
    SetWindowPos(m_hWnd, m_coverWindow, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(m_coverWindow, HWND_TOP, own.left, own.top, own.right - own.left, own.bottom - own.top,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    cover->Refresh();
}

void CVideoWnd::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (!dc) return;
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const wchar_t text[] = L"Loading Video....";
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, rc.right / 2 - 35, rc.bottom / 2 - 15, text, static_cast<int>(wcslen(text)));
    EndPaint(m_hWnd, &ps);
}

void CVideoWnd::PostPanelAction(WPARAM on)
{
    auto payload = std::make_unique<WndMsgPayload>();
    payload->SetCamera(m_hWnd, m_cameraIndex);
    if (::PostMessageW(m_parent, WM_USER_PANEL_ACTION, on, reinterpret_cast<LPARAM>(payload.get())))
        payload.release(); // the parent owns it now
}

void CVideoWnd::OnUiNotice(WPARAM code, LPARAM lParam)
{
    switch (code) {
    case 2: // cover selected or deselected
        if (m_coverType != eVideoCover_Preview) break;
        if (lParam == 1) PostPanelAction(1);
        else if (CPreviewCoverWnd* cover = GetCover()) cover->SetSelected(false, true);
        break;
    case 1: // cover clicked
        if (lParam & eCover_Selected) PostPanelAction(0);
        ::PostMessageW(m_parent, WM_USER_UI_NOTICE, 1, m_clickValue);
        break;
    case 24:
        if (m_coverWindow && IsWindow(m_coverWindow)) {
            if (lParam) PlaceCover();
            else ::ShowWindow(m_coverWindow, SW_HIDE);
        }
        break;
    case 16: {
        std::unique_ptr<int32_t> index(reinterpret_cast<int32_t*>(lParam));
        if (index && *index >= 0) m_cameraIndex = *index;
        break;
    }
    default:
        break;
    }
}

LRESULT CVideoWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_MOVE:
        PlaceCover();
        break;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) {
            RECT rc{};
            GetWindowRect(m_hWnd, &rc);
            SetWindowRgn(m_hWnd, CreateRectRgn(0, 0, rc.right - rc.left, rc.bottom - rc.top), TRUE);
        }
        PlaceCover();
        break;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_CLOSE:
        if (GetCover()) ::PostMessageW(m_coverWindow, WM_CLOSE, 0, 0);
        m_cover = nullptr;
        m_coverWindow = nullptr;
        break;
    case WM_USER_UI_NOTICE:
        OnUiNotice(wParam, lParam);
        break;
    case WM_USER_CASTMIX_NOTIFY:
        if (LOWORD(wParam) == 1) ::PostMessageW(m_parent, WM_USER_VIDEO_SIZE, 0, lParam);
        break;
    default:
        break;
    }
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void CVideoWnd::OnFinalMessage(HWND)
{
    // The cover belongs to the parent's top-level window, which may outlive this one.
    if (GetCover()) DestroyWindow(m_coverWindow);
    delete this;
}
