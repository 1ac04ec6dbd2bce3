// A read-mostly rich text pane for the chat displays: the system's rich edit control hosted in a
// native-window container of the skin, with the few operations the chat windows draw with.
#pragma once
#include "controls/PosLayouts.h"
#include "platform/ui/UIManager.h"

#include <richedit.h>

class CRichTextHostUI : public CWinContainerUI {
public:
    ~CRichTextHostUI() override;
    LPCTSTR GetClass() const override { return L"RichTextHostUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void DoInit() override;
    void SetEnabled(bool bEnable = true) override;
    // "limittext": the most characters the pane takes.
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

    HWND GetEditWindow() const { return m_edit; }
    void SetReadOnly(bool readOnly);
    // Characters in the text; -1 without an edit window.
    long GetTextLength() const;
    long GetLimitText() const;
    void SetLimitText(long limit);
    CDuiString GetAllText() const;
    // Empty and read-only.
    void Clear();
    // Puts the caret at the end of the text, where the next character and paragraph formats apply.
    void MoveToEnd();
    void SetSelectionCharFormat(CHARFORMAT2W& format);
    void SetParaFormat(PARAFORMAT2& format);
    void ReplaceSel(LPCTSTR text);
    void EndDown();
    void HomeUp();
    void Repaint();
    // Deletes the characters from..to, keeping the read-only state.
    void DeleteRange(long from, long to);

private:
    bool CreateEditWindow();

    HWND m_edit = nullptr;
    bool m_readOnly = true;
    long m_limit = 0x7FFFFFFE;
};

// A character format with every field the chat displays set: face, height in twips, colour as ARGB.
CHARFORMAT2W MakeCharFormat(LPCTSTR face, LONG heightTwips, DWORD argb, bool bold, bool italic, bool underline);
// A paragraph format with a start indent and an exact line spacing, both in twips.
PARAFORMAT2 MakeParaFormat(LONG startIndent, LONG lineSpacing);
