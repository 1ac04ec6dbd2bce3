// The message box's text control and its behaviour with an incomplete or missing skin.
#include "dialogs/MessageBox.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/support/TestFolders.h"
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A manager with a tree, laid out off screen, for the text control to measure in.
class TextHost {
public:
    explicit TextHost(const wchar_t* attributes)
    {
        m_text = new CLVMBText;
        m_text->ApplyAttributeList(attributes);
        auto* root = new CVerticalLayoutUI; // the manager owns its root
        root->Add(m_text);
        m_pm.AttachDialog(root);
        m_pm.SetLayoutSize({300, 200});
        root->SetPos({0, 0, 300, 200});
    }
    CLVMBText* Text() { return m_text; }
    CPaintManagerUI& Manager() { return m_pm; }

private:
    CPaintManagerUI m_pm;
    CLVMBText* m_text;
};

} // namespace

TEST(MessageBoxParts, TextIsReadOnlyAndMeasuresAsABlockOfItsRatio)
{
    TextHost host(L"multiline=\"true\" textxyrate=\"4\" textpadding=\"2,3,4,5\"");
    CLVMBText* text = host.Text();
    EXPECT_FALSE(text->IsEnabled());
    text->SetText(L"one two three four five six seven eight nine ten eleven twelve");

    // The one-line size of the text, for the expected block width.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, host.Manager().GetFont(-1));
    RECT line{0, 0, 0, 0};
    DrawTextW(dc, text->GetText(), -1, &line, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteDC(dc);
    int e = host.Manager().GetFontInfo(-1)->tm.tmExternalLeading;
    int target = static_cast<int>(std::floor(std::sqrt(4.0 * line.right * (line.bottom + e))));

    SIZE natural = text->MeasureText(0);
    EXPECT_LE(natural.cx, target + 6); // laid out within the target width, plus the padding
    EXPECT_GT(natural.cy, line.bottom + 8); // more than one line
    SIZE limited = text->MeasureText(60);
    EXPECT_LE(limited.cx, 60 + 6);
    EXPECT_GT(limited.cy, natural.cy);
    // An unknown value of its own attribute changes nothing; adopted, the text estimates its block.
    text->SetAttribute(L"multiline", L"yes");
    text->SetAttribute(L"autoadopted", L"true");
    SIZE estimate = text->EstimateSize({300, 200});
    EXPECT_EQ(estimate.cx, natural.cx);
    EXPECT_EQ(estimate.cy, natural.cy);
}

TEST(MessageBoxParts, TextEstimateBeforeLayoutAndPaintInTheNormalColour)
{
    CLVMBText unplaced;
    SIZE available{123, 45};
    SIZE got = unplaced.EstimateSize(available);
    EXPECT_EQ(got.cx, 123);
    EXPECT_EQ(got.cy, 45);

    TextHost host(L"textcolor=\"#FF0000FF\" disabledtextcolor=\"#FFFF0000\" bkcolor=\"#FFFFFFFF\"");
    host.Text()->SetText(L"MMMMMMMM");
    MemoryDib dib(300, 200);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 300, 200});
    // The control is disabled, yet its text is not in the disabled colour.
    EXPECT_GT(dib.CountColor({0, 0, 300, 200}, 0x0000FF), 10);
    EXPECT_EQ(dib.CountColor({0, 0, 300, 200}, 0xFF0000), 0);
}

TEST(MessageBoxParts, IncompleteSkinShowsAsItIsAndMissingSkinAnswersZero)
{
    TempFolder folder(L"skin");
    CDuiString old = CPaintManagerUI::GetResourcePath();
    CreateDirectoryW(folder.File(L"skin"), nullptr);
    // No "MBBtnTab": neither caption, text nor buttons are chosen; the skin's button still answers.
    WriteFileBytes(folder.File(L"skin\\MessageBoxWnd.xml"), R"(<Window size="300,150"><VerticalLayout>
      <Label name="CaptionTitle" height="30" text="skin caption"/>
      <LVMBText name="MessageText" height="40"/>
      <LVMBIcon name="MessageIcon" height="20"/>
      <TabLayout name="CaptionBkTab" height="10"><Control/><Control/></TabLayout>
      <Button name="OkBtnOnly" height="30"/>
    </VerticalLayout></Window>)");
    CPaintManagerUI::SetResourcePath(folder.Path());
    CDuiString caption, message;
    int result;
    {
        Helper helper([&] {
            HWND box = WaitForBox();
            if (!box) return;
            caption = ManagerOf(box)->FindControl(L"CaptionTitle")->GetText();
            message = ManagerOf(box)->FindControl(L"MessageText")->GetText();
            ClickControl(box, L"OkBtnOnly");
        });
        result = ShowMessageBox(nullptr, L"text", L"caption", MB_YESNO);
    }
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(caption, L"skin caption");
    EXPECT_TRUE(message.IsEmpty());
    // No skin at all: no box, answer 0.
    DeleteFileW(folder.File(L"skin\\MessageBoxWnd.xml"));
    EXPECT_EQ(ShowMessageBox(nullptr, L"text", L"caption", MB_OK), 0);
    CPaintManagerUI::SetResourcePath(old);
}
