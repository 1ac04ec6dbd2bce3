// Chat text with emotion tokens: "[\name]" names an emotion GIF; "/[" writes a plain bracket.
#pragma once
#include "platform/afx/AfxString.h"

#include <functional>
#include <utility>
#include <vector>

struct ChatTextPiece {
    CString plain;     // shown as text, escapes resolved
    CString imagePath; // the GIF that follows the text; empty for none
    bool hasToken = false;
};

// Looks a trimmed key up; an empty answer means no such emotion. May be empty (no picker).
using EmotionLookup = std::function<CString(const CString& key)>;

// Cuts a message into pieces, each up to and including one closing bracket; tokens that name no
// emotion stay as text.
std::vector<ChatTextPiece> SplitChatText(const CString& text, const EmotionLookup& lookup);

// Wine's rich edit wraps a paragraph in a time that grows with the square of its length: a soft line
// break ("\v", inside the paragraph) at least this often keeps writing a long text in proportion to it.
const int kSoftBreakRun = 256;
// The text with a soft break after the last blank of every stretch longer than kSoftBreakRun without a
// line break (at the stretch's end when it has no blank). run holds the stretch already written before
// the text and is left at the stretch the text ends with, so that pieces written in turn count as one.
CString WithSoftBreaks(const CString& text, int& run);

// Writes a message body: the text gathered between two images goes out in one write, as each write
// wraps the paragraph again, with soft breaks counted across the writes of the one body.
class ChatBodyWriter {
public:
    using Write = std::function<void(const CString& text)>;
    explicit ChatBodyWriter(Write write) : m_write(std::move(write)) {}
    // Gathers text for the next write.
    void Add(const CString& text) { m_pending += text; }
    // Writes what was gathered; call it before an image and at the body's end.
    void Flush();

private:
    Write m_write;
    CString m_pending;
    int m_run = 0;
};

// "%H:%M:%S" of a "%d-%d-%d %d:%d:%d" time text; the text itself when it does not read as a time.
CString ClockOfTimeText(const CString& timeText);
// "%04d-%02d-%02d" of a start time stored as fourteen digits; empty when it does not read.
CString DateOfStartTime(const CString& startTime);
