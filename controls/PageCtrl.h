// The page number bar: previous button, a fixed number of page slots and next button. With more pages
// than slots it shows the first and last pages and a window around the current one, "…" standing
// for the pages hidden between.
#pragma once
#include "platform/ui/UICommonControls.h"
#include "platform/ui/UIContainer.h"

#define DUI_MSGTYPE_PAGECLICK L"pageclick"

class CPageCtrlUI : public CContainerUI {
public:
    void DoInit() override;
    void DoEvent(TEventUI& event) override;
    SIZE EstimateSize(SIZE szAvailable) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

    bool SetPageCount(int count);
    int GetPageCount() const { return m_nPageCount; }
    int GetCurrentPage() const { return m_nCurPage; }
    int GetCurrentSlot() const { return m_nCurSlot; }
    int GetVisibleSlots() const { return m_nVisibleSlots; }

    // For the window's tests and tooling: the slot texts as shown, "…" for the ellipsis.
    COptionUI* GetSlot(int index) const;
    CButtonUI* GetPrevButton() const { return m_pPrev; }
    CButtonUI* GetNextButton() const { return m_pNext; }

private:
    bool IsEllipsis(int slot) const;
    int SlotNumber(int slot) const;
    void SetSlotNumber(int slot, int number);
    void SetSlotEllipsis(int slot);
    void LayoutFront();
    void SelectSlot(int k);
    // Only the current slot shows selected, whether or not the skin groups the slots.
    void SyncSelection();
    bool OnSlotNotify(int slot, void* param);

    CHorizontalLayoutUI* m_pBar = nullptr;
    CButtonUI* m_pPrev = nullptr;
    CButtonUI* m_pNext = nullptr;
    int m_nMaxPages = 1;
    int m_nVisibleSlots = 1;
    CDuiString m_sPrevAttr;
    CDuiString m_sNextAttr;
    CDuiString m_sSlotAttr;
    int m_nPageCount = 1;
    int m_nCurPage = 0;
    int m_nCurSlot = -1;
    bool m_bSyncing = false;
};
