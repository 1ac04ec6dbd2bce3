#include "controls/PageCtrl.h"

#include "platform/ui/UIManager.h"

namespace {

const wchar_t kEllipsis[] = L"\x2026";

bool IsMouseEvent(int type) { return type > UIEVENT__MOUSEBEGIN && type < UIEVENT__MOUSEEND; }

} // namespace

void CPageCtrlUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"maxpages") == 0) {
        m_nMaxPages = _wtoi(pstrValue);
        if (m_nMaxPages < 1) m_nMaxPages = 1;
    } else if (wcscmp(pstrName, L"frontattr") == 0) {
        m_sPrevAttr = pstrValue;
    } else if (wcscmp(pstrName, L"backattr") == 0) {
        m_sNextAttr = pstrValue;
    } else if (wcscmp(pstrName, L"numattr") == 0) {
        m_sSlotAttr = pstrValue;
    } else {
        CContainerUI::SetAttribute(pstrName, pstrValue);
    }
}

void CPageCtrlUI::DoInit()
{
    if (m_pBar) return;
    m_pBar = new CHorizontalLayoutUI;
    m_pBar->SetMouseEnabled(false);
    Add(m_pBar);

    m_pPrev = new CButtonUI;
    if (!m_sPrevAttr.IsEmpty()) m_pPrev->ApplyAttributeList(m_sPrevAttr);
    m_pBar->Add(m_pPrev);
    m_pPrev->OnNotify += CDelegate(
        [this](void* param) {
            auto* msg = static_cast<TNotifyUI*>(param);
            if (msg->sType == DUI_MSGTYPE_CLICK && m_nCurSlot >= 0) SelectSlot(m_nCurSlot - 1);
            return true;
        },
        this, 1);
    for (int i = 0; i < m_nMaxPages; ++i) {
        auto* slot = new COptionUI;
        if (!m_sSlotAttr.IsEmpty()) slot->ApplyAttributeList(m_sSlotAttr);
        m_pBar->Add(slot);
        slot->OnNotify += CDelegate([this, i](void* param) { return OnSlotNotify(i, param); }, this, 100 + i);
    }
    m_pNext = new CButtonUI;
    if (!m_sNextAttr.IsEmpty()) m_pNext->ApplyAttributeList(m_sNextAttr);
    m_pBar->Add(m_pNext);
    m_pNext->OnNotify += CDelegate(
        [this](void* param) {
            auto* msg = static_cast<TNotifyUI*>(param);
            if (msg->sType == DUI_MSGTYPE_CLICK && m_nCurSlot >= 0) SelectSlot(m_nCurSlot + 1);
            return true;
        },
        this, 2);
    // Spacers on both sides centre the buttons and slots.
    m_pBar->AddAt(new CControlUI, 0);
    m_pBar->Add(new CControlUI);

    m_nVisibleSlots = m_nPageCount = m_nMaxPages;
    LayoutFront();
}

bool CPageCtrlUI::OnSlotNotify(int slot, void* param)
{
    auto* msg = static_cast<TNotifyUI*>(param);
    if (m_bSyncing || msg->sType != DUI_MSGTYPE_SELECTCHANGED) return true;
    COptionUI* option = GetSlot(slot);
    if (!option) return true;
    if (option->IsSelected()) SelectSlot(slot);
    // A click on the current slot leaves it selected; a deselected slot starts nothing.
    SyncSelection();
    return true;
}

COptionUI* CPageCtrlUI::GetSlot(int index) const
{
    if (!m_pBar || index < 0 || index >= m_nMaxPages) return nullptr;
    return static_cast<COptionUI*>(m_pBar->GetItemAt(index + 2));
}

bool CPageCtrlUI::IsEllipsis(int slot) const
{
    COptionUI* option = GetSlot(slot);
    return option && option->GetText() == kEllipsis;
}

int CPageCtrlUI::SlotNumber(int slot) const
{
    COptionUI* option = GetSlot(slot);
    return option ? _wtoi(option->GetText()) : 0;
}

void CPageCtrlUI::SetSlotNumber(int slot, int number)
{
    COptionUI* option = GetSlot(slot);
    if (!option || slot >= m_nVisibleSlots) return;
    CDuiString text;
    text.Format(L"%d", number);
    option->SetText(text);
    option->SetEnabled(true);
}

void CPageCtrlUI::SetSlotEllipsis(int slot)
{
    COptionUI* option = GetSlot(slot);
    if (!option || slot >= m_nVisibleSlots) return;
    option->SetText(kEllipsis);
    option->SetEnabled(false);
}

void CPageCtrlUI::LayoutFront()
{
    int v = m_nVisibleSlots, n = m_nPageCount;
    if (v >= n || v < 4) {
        // Bars of fewer than four slots have no room for two ellipses: they show the first pages.
        for (int i = 0; i < v; ++i) SetSlotNumber(i, i + 1);
        return;
    }
    for (int i = 0; i <= v - 3; ++i) SetSlotNumber(i, i + 1);
    SetSlotEllipsis(v - 2);
    SetSlotNumber(v - 1, n);
}

bool CPageCtrlUI::SetPageCount(int count)
{
    if (count < 1) return false;
    if (count != m_nPageCount) {
        int oldVisible = m_nVisibleSlots;
        if (count < m_nMaxPages) {
            for (int i = oldVisible; i < count; ++i)
                if (GetSlot(i)) GetSlot(i)->SetVisible(true);
            for (int i = count; i < oldVisible; ++i)
                if (GetSlot(i)) GetSlot(i)->SetVisible(false);
            m_nVisibleSlots = count;
        } else {
            for (int i = oldVisible; i < m_nMaxPages; ++i)
                if (GetSlot(i)) GetSlot(i)->SetVisible(true);
            m_nVisibleSlots = m_nMaxPages;
        }
        m_nPageCount = count;
    }
    m_nCurPage = 1;
    LayoutFront();
    if (COptionUI* first = GetSlot(0)) first->Selected(true);
    return true;
}

void CPageCtrlUI::SelectSlot(int k)
{
    int v = m_nVisibleSlots;
    if (k < 0 || k >= v || k == m_nCurSlot || IsEllipsis(k)) return;
    int e = SlotNumber(k);
    int target = k;
    bool renumber = true;
    if (k > 0 && IsEllipsis(k - 1)) {
        if (k != v - 1) {
            SetSlotNumber(k, e - 1);
            target = k + 1;
        }
    } else if (k < v - 1 && IsEllipsis(k + 1)) {
        if (k != 0) {
            SetSlotNumber(k, e + 1);
            target = k - 1;
        }
    } else {
        renumber = false;
    }
    if (renumber) {
        int b = SlotNumber(k);
        for (int i = k - 1; i >= 1; --i) SetSlotNumber(i, b - (k - i));
        if (SlotNumber(1) != 2 || IsEllipsis(1)) SetSlotEllipsis(1);
        int c = SlotNumber(k);
        for (int i = k + 1; i <= v - 2; ++i) SetSlotNumber(i, c + (i - k));
        if (IsEllipsis(v - 2) || m_nPageCount != SlotNumber(v - 2) + 1) SetSlotEllipsis(v - 2);
    }
    m_nCurSlot = target;
    m_nCurPage = SlotNumber(target);
    if (COptionUI* option = GetSlot(target)) option->Selected(true);
    SyncSelection();
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_PAGECLICK, 0, 0, false);
}

void CPageCtrlUI::SyncSelection()
{
    if (m_bSyncing) return;
    m_bSyncing = true;
    for (int i = 0; i < m_nMaxPages; ++i) {
        COptionUI* option = GetSlot(i);
        bool selected = i == m_nCurSlot;
        if (option && option->IsSelected() != selected) option->Selected(selected, false);
    }
    m_bSyncing = false;
}

void CPageCtrlUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && IsMouseEvent(event.Type)) {
        if (m_pParent) m_pParent->DoEvent(event);
        return;
    }
    CContainerUI::DoEvent(event);
}

SIZE CPageCtrlUI::EstimateSize(SIZE szAvailable) { return CControlUI::EstimateSize(szAvailable); }
