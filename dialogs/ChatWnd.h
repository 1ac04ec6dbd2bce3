// The chat pane as a window of its own (shown beside a screen share): the room's messages and the
// client's notices, an input with emotions, and the font bar that sets the user's chat font.
#pragma once
#include "core/Records.h"
#include "core/SlicedQueue.h"
#include "platform/ui/UIlib.h"

#include <cstdint>

class CCmdProtocol;
class CEmotionWnd;
class CChatRichEditUI;
class CStudentList;
struct ChatMessageRecord;

class CChatWnd : public WindowImplBase {
public:
    CChatWnd() = default;

    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleChatWnd__"; }
    CDuiString GetSkinFile() override { return L"ChatWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void OnFinalMessage(HWND hWnd) override;

    // The channel sent messages go to; without one the room's command channel is used.
    void SetCommandChannel(CCmdProtocol* channel) { m_channel = channel; }
    void SendChatText();
    void ShowChatMessage(const UserRecord& sender, const ChatFont& font, const CString& text);
    void ShowSystemMessage(const CString& text);
    void SetFaceCheck(bool checked);

    const ChatFont& GetChatFont() const { return m_font; }
    int32_t GetChatCount() const { return m_chatCount; }
    int32_t GetSystemCount() const { return m_systemCount; }
    CEmotionWnd* GetEmotionPicker() const { return m_picker; }

    // Colours of the "FontColor" items, ARGB.
    static const uint32_t kFontColours[5];
    // Chat messages plus notices shown before the output is emptied.
    static const int32_t kClearThreshold = 300;

private:
    CStudentList* Roster();
    void FillFontBar();
    void ApplyFont();
    void OpenPicker();
    void InsertChosenEmotion();
    void OnChatMessage(ChatMessageRecord* record);
    // Empties the output once the threshold is reached, else counts the message.
    void CountChatMessage();
    void TrimOutput(int32_t senderSex);
    // A message as it arrived at timeText ("%Y-%m-%d %H:%M:%S").
    void WriteChatMessage(const UserRecord& sender, const ChatFont& font, const CString& text, const CString& timeText);
    void WriteSystemLine(const CString& line);
    // The room's messages are written in slices of the window's time, so a burst does not freeze it.
    void ShowPending();
    void SchedulePending();
    void WritePendingSlice();
    static const UINT kShowPendingMessage = WM_APP + 0x121;

    CStudentList* m_roster = nullptr;
    CEmotionWnd* m_picker = nullptr;
    CChatRichEditUI* m_input = nullptr;
    CChatRichEditUI* m_output = nullptr;
    ChatFont m_font;
    int32_t m_chatCount = 0;
    int32_t m_systemCount = 0;
    CCmdProtocol* m_channel = nullptr;
    SlicedQueue<ChatOutputLine> m_pending{kShowPendingMessage, kChatOutputSliceMs};
};
