// The chat displays' rich edit: the layer's rich edit (with animated emotion images) plus what the chat
// windows draw with, and a way to empty a long page that does not go through Wine's rich edit.
#pragma once
#include "platform/ui/UIRichEdit.h"
#include "platform/ui/UIlib.h"

#include <utility>
#include <vector>

class CChatRichEditUI : public CRichEditUI {
public:
    LPCTSTR GetClass() const override { return L"ChatRichEditUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    // Every skin attribute is kept, so an emptied display comes back as the skin made it.
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

    // Deleting a long text with many paragraph formats spins inside Wine's rich edit (emptying by
    // SetText too), so an emptied display is a fresh control in the same place of the layout. Answers the
    // control that now stands there (this one when it has no container; it is then emptied in place);
    // the old one is deleted by the manager's cleanup, so the caller keeps only the answer.
    CChatRichEditUI* Emptied();

    // Puts the caret at the end of the text, where the next character and paragraph formats apply.
    void MoveToEnd();
    // Writes at the caret, also while the edit is read-only for the user.
    void Append(LPCTSTR text);
    // Inserts the image at the caret, also while read-only; false when it could not be shown.
    bool AppendGif(LPCTSTR path);
    // Deletes the characters from..to (an image counts as one character), keeping the read-only state.
    void DeleteRange(long from, long to);
    void HomeUp();
    // Repaints the native window, so the images show their current frames.
    void Repaint();

private:
    template <typename F>
    auto Writable(F write) -> decltype(write());

    std::vector<std::pair<CDuiString, CDuiString>> m_attributes;
};

// A character format with every field the chat displays set: face, height in twips, colour as ARGB.
CHARFORMAT2W MakeCharFormat(LPCTSTR face, LONG heightTwips, DWORD argb, bool bold, bool italic, bool underline);
// A paragraph format with a start indent and an exact line spacing, both in twips.
PARAFORMAT2 MakeParaFormat(LONG startIndent, LONG lineSpacing);
