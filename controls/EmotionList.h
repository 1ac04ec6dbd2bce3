// The emotion grid: every GIF of an emotion folder of the skin in rows of cells, the image under the
// mouse animated by the picker's timer, and the map from an emotion's name to its file.
#pragma once
#include "platform/ui/UIList.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#define DUI_MSGTYPE_SELECTIMAGE L"SelectImage"

struct EmotionImage;

class CImageElementUI : public CListElementUI {
public:
    CImageElementUI(int row, int height, std::vector<EmotionImage*> images);

    LPCTSTR GetClass() const override { return L"ImageElementUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void DoEvent(TEventUI& event) override;
    SIZE EstimateSize(SIZE szAvailable) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    void DrawItemText(HDC hDC, const RECT& rcItem) override;

private:
    std::vector<EmotionImage*> m_images; // owned by the grid
    DWORD m_dwLineColor = 0xFFCCCCCC;
};

class CEmotionListUI : public CListUI {
public:
    CEmotionListUI();
    ~CEmotionListUI() override;

    LPCTSTR GetClass() const override { return L"EmotionListUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void Init() override;
    void DoEvent(TEventUI& event) override;

    void LoadImages();
    void AnimateImageAt(int elapsed, POINT pt);
    CDuiString GetHotImagePath() const { return m_sHotImagePath; }
    CDuiString GetImagePathByName(LPCTSTR name) const;

    int GetColumns() const { return m_nColumns; }
    int GetRows() const { return m_nRows; }
    int GetImageCount() const { return static_cast<int>(m_images.size()); }
    // The frame the image at index shows next (0 after loading), -1 for no such image.
    int GetNextFrame(int index) const;
    CDuiString GetImageFolder() const { return m_sImageFolder; }

private:
    void ReleaseImages();

    int m_nColumns = 14;
    int m_nRows = 0;
    int m_nRowHeight = 31;
    CDuiString m_sImageFolder;
    CDuiString m_sSearchPattern;
    std::vector<std::unique_ptr<EmotionImage>> m_images;
    EmotionImage* m_pAnimated = nullptr;
    CDuiString m_sHotImagePath;
    int m_nElapsed = 0;
    std::unique_ptr<std::map<std::wstring, std::wstring>> m_nameMap;
};
