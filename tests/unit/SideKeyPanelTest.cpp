///////////////////////////////////////////////////////////////////////////////
// The key-matching window and its panel, on the real toolkit and the real
// screen.
//
// The window is opened the way the settings dialog opens it (as a child of a
// settings dialog), in a private copy of the staged working-directory tree.
// Which picture an icon control shows is decided by comparing its pixels with
// the icon files, loaded here independently of the panel.
///////////////////////////////////////////////////////////////////////////////

#include "fixtures/GuiTestSupport.h"

#include "app/SideKeyApp.h"
#include "ui/MainDialog.h"
#include "ui/SideKeyPanel.h"
#include "ui/SideKeyWin.h"

#include <gtest/gtest.h>

#include <wx/log.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <cmath>
#include <memory>

using namespace guitest;

namespace
{

// The icon of each row, top to bottom; the files are <name><state>.bmp.
const char* const kRowIcons[14] = {
    "NewPage", "Save",     "PrePage", "NextPage",    "Mouse",       "BlackPen", "RedPen",
    "BluePen", "GreenPen", "Eraser",  "UserDefine2", "UserDefine1", "Orient",   "Start",
};

// ----------------------------------------------------------------------------
// icon corners on two common screens
// ----------------------------------------------------------------------------

struct ScreenCorners
{
    const char* name;
    int width;
    int height;
    int leftX;
    int rightX;
    int rowY[14];
};

void PrintTo(const ScreenCorners& s, std::ostream* os)
{
    *os << s.name;
}

const ScreenCorners kScreens[] = {
    {"Screen1024x768", 1024, 768, 292, 665,
     {43, 91, 138, 185, 232, 280, 327, 374, 421, 469, 516, 563, 610, 658}},
    {"Screen1920x1080", 1920, 1080, 561, 1293,
     {75, 141, 207, 274, 340, 407, 473, 540, 606, 673, 739, 806, 872, 939}},
};

wxPoint TableCorner(const ScreenCorners& s, int position)
{
    return wxPoint(position < 14 ? s.leftX : s.rightX, s.rowY[position % 14]);
}

// The corner of a position on the screen the tests run on: from the table
// for the two common sizes, otherwise from the layout rule.
wxPoint ExpectedCorner(int position)
{
    const wxSize screen = ScreenSize();
    for (const ScreenCorners& s : kScreens)
    {
        if (s.width == screen.x && s.height == screen.y)
            return TableCorner(s, position);
    }
    const double w = screen.x;
    const double h = screen.y;
    const double y = (position % 14) * ((0.8 * h) / 13) + 0.1 * h - 18;
    const double x = position < 14 ? 0.3 * w : 0.7 * w - 36;
    return wxPoint(int(std::trunc(x - 15)), int(std::trunc(y - 15)));
}

class KeyPositionTable : public testing::TestWithParam<ScreenCorners>
{
};

INSTANTIATE_TEST_SUITE_P(
    Screens, KeyPositionTable, testing::ValuesIn(kScreens),
    [](const testing::TestParamInfo<ScreenCorners>& i) { return std::string(i.param.name); });

TEST_P(KeyPositionTable, IconCornersOfAll28Positions)
{
    const ScreenCorners& s = GetParam();
    for (int p = 0; p < 28; ++p)
    {
        const SideKeyPanel::KeyPoint anchor = SideKeyPanel::KeyPosition(p, s.width, s.height);
        EXPECT_EQ(SideKeyPanel::IconCorner(anchor), TableCorner(s, p)) << "position " << p;
    }
}

TEST(KeyPosition, AnchorsAreKeptUnrounded)
{
    // 30 % of 1024 and 10 % of 768 less 18, as computed, not rounded.
    SideKeyPanel::KeyPoint a = SideKeyPanel::KeyPosition(0, 1024, 768);
    EXPECT_NEAR(a.x, 307.2, 1e-9);
    EXPECT_NEAR(a.y, 58.8, 1e-9);
    // Right column, last row: 70 % of 1024 less 36; 13 gaps of 80 % / 13.
    a = SideKeyPanel::KeyPosition(27, 1024, 768);
    EXPECT_NEAR(a.x, 680.8, 1e-9);
    EXPECT_NEAR(a.y, 0.8 * 768 + 58.8, 1e-9);
    // Row r of both columns is the same height.
    for (int r = 0; r < 14; ++r)
    {
        EXPECT_DOUBLE_EQ(SideKeyPanel::KeyPosition(r, 1920, 1080).y,
                         SideKeyPanel::KeyPosition(r + 14, 1920, 1080).y);
    }
}

TEST(KeyPosition, CornersTruncateTowardZero)
{
    // A tiny screen puts the first row above the top edge: -7.9 - 15 = -22.9
    // must become -22, not -23.
    const SideKeyPanel::KeyPoint a = SideKeyPanel::KeyPosition(0, 10, 101);
    EXPECT_NEAR(a.y, -7.9, 1e-9);
    EXPECT_EQ(SideKeyPanel::IconCorner(a), wxPoint(-12, -22));
    EXPECT_EQ(SideKeyPanel::IconCorner({16.9, 15.99}), wxPoint(1, 0));
}

// ----------------------------------------------------------------------------
// fixture: a settings dialog with its key-matching window
// ----------------------------------------------------------------------------

class PanelTest : public testing::Test
{
protected:
    void TearDown() override
    {
        if (m_dlg)
        {
            EXPECT_TRUE(DestroyAndWait(m_dlg)) << "the dialog was never deleted";
        }
        EXPECT_TRUE(WaitUntil([&] { return !m_win && !m_panel; }))
            << "the key-matching window outlived the dialog";
        m_app.reset();
        m_dir.reset();
    }

    void Prepare(int keyCount)
    {
        m_dir = std::make_unique<TempWorkDir>();
        const std::string board = keyCount == 14 ? "OrvaneTypeA" : "OrvaneTypeB";
        m_dir->WriteConfig(ConfigXml(board, {"1", "0"}));
        m_app = std::make_unique<AppState>(wxString(board), keyCount);
    }

    // Opens the window as the dialog's "设置" does, without showing it yet.
    SideKeyWin* OpenWindow()
    {
        MainDialog* dlg = NewMainDialog();
        m_dlg = dlg;
        SideKeyWin* win =
            new SideKeyWin(dlg, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0);
        dlg->m_sideKeyWin = win;
        m_win = win;
        m_panel = win->m_panel;
        return win;
    }

    void ShowAndActivate(SideKeyWin* win)
    {
        win->Show(true);
        win->Raise();
        ASSERT_TRUE(WaitUntil([&] { return win->IsShownOnScreen() && win->IsActive(); }))
            << "the key-matching window never became active";
    }

    // The icon files, loaded independently of the panel: [row][state 1..3].
    void LoadReferenceIcons()
    {
        const fs::path dir = m_dir->Root() / "Res" / "sidekey_res";
        for (int r = 0; r < 14; ++r)
        {
            for (int s = 1; s <= 3; ++s)
            {
                const fs::path file = dir / (std::string(kRowIcons[r]) + std::to_string(s) + ".bmp");
                m_ref[r][s] = wxBitmap(wxString(file.string()), wxBITMAP_TYPE_BMP);
                ASSERT_TRUE(m_ref[r][s].IsOk()) << file;
            }
        }
        // All 42 pictures differ, so a comparison names exactly one row and
        // state and any mix-up shows.
        for (int a = 0; a < 42; ++a)
        {
            for (int b = a + 1; b < 42; ++b)
            {
                ASSERT_FALSE(SamePixels(m_ref[a / 3][a % 3 + 1], m_ref[b / 3][b % 3 + 1]))
                    << kRowIcons[a / 3] << a % 3 + 1 << " and " << kRowIcons[b / 3] << b % 3 + 1
                    << " are the same picture";
            }
        }
    }

    // The state (1, 2, 3) whose picture the control at `position` shows, or
    // 0 when it shows none of that row's pictures.
    int StateShown(int position)
    {
        wxStaticBitmap* icon = m_panel->m_keyIcons[position];
        if (!icon)
            return -1;
        const wxBitmap shown = icon->GetBitmap();
        for (int s = 1; s <= 3; ++s)
        {
            if (SamePixels(shown, m_ref[position % 14][s]))
                return s;
        }
        return 0;
    }

    // The static-bitmap children of the panel, in child order.
    std::vector<wxStaticBitmap*> IconChildren()
    {
        std::vector<wxStaticBitmap*> icons;
        for (wxWindow* child : m_panel->GetChildren())
        {
            if (wxStaticBitmap* b = dynamic_cast<wxStaticBitmap*>(child))
                icons.push_back(b);
        }
        return icons;
    }

    // Every icon control of a panel at Current(k).
    void ExpectIcons(int keyCount, int k)
    {
        SCOPED_TRACE(testing::Message() << "at position " << k);
        EXPECT_EQ(m_panel->m_current, k);
        ASSERT_EQ(IconChildren().size(), size_t(keyCount)) << "replaced controls were not removed";
        for (int p = 0; p < keyCount; ++p)
        {
            const int expected = p < k ? 3 : (p == k ? 2 : 1);
            EXPECT_EQ(StateShown(p), expected) << "position " << p;
            wxStaticBitmap* icon = m_panel->m_keyIcons[p];
            if (!icon)
                continue;
            EXPECT_EQ(icon->GetParent(), m_panel.get());
            EXPECT_EQ(icon->GetPosition(), ExpectedCorner(p)) << "position " << p;
            EXPECT_EQ(icon->GetSize(), wxSize(35, 35)) << "position " << p;
        }
    }

    std::unique_ptr<TempWorkDir> m_dir;
    std::unique_ptr<AppState> m_app;
    wxWeakRef<MainDialog> m_dlg;
    wxWeakRef<SideKeyWin> m_win;
    wxWeakRef<SideKeyPanel> m_panel;
    wxBitmap m_ref[14][4];
};

class PanelPerKeyCount : public PanelTest, public testing::WithParamInterface<int>
{
};

INSTANTIATE_TEST_SUITE_P(KeyCounts, PanelPerKeyCount, testing::Values(14, 28),
                         [](const testing::TestParamInfo<int>& i) {
                             return std::to_string(i.param) + "Keys";
                         });

// ----------------------------------------------------------------------------
// window and panel layout on the real screen
// ----------------------------------------------------------------------------

TEST_P(PanelPerKeyCount, WindowCoversScreenAndHoldsOnlyThePanel)
{
    Prepare(GetParam());
    SideKeyWin* win = OpenWindow();

    // Before any full-screen mode: the constructor sized it to the screen.
    EXPECT_EQ(win->GetSize(), ScreenSize());
    EXPECT_EQ(win->GetName(), "frame");
    EXPECT_EQ(win->GetParent(), m_dlg.get());
    const long style = win->GetWindowStyleFlag();
    EXPECT_TRUE(style & wxSTAY_ON_TOP);
    EXPECT_EQ(style & (wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxMINIMIZE_BOX | wxMAXIMIZE_BOX), 0)
        << std::hex << style;
    EXPECT_FALSE(win->IsFullScreen());

    ASSERT_TRUE(m_panel);
    ASSERT_EQ(win->GetChildren().size(), 1u);
    EXPECT_EQ(win->GetChildren().front(), m_panel.get());
    EXPECT_EQ(m_panel->GetName(), "panel");
    const long panelStyle = m_panel->GetWindowStyleFlag();
    EXPECT_EQ(panelStyle & (wxNO_BORDER | wxWANTS_CHARS), long(wxNO_BORDER | wxWANTS_CHARS));
    EXPECT_EQ(panelStyle & wxTAB_TRAVERSAL, 0) << "no tab traversal on the panel";

    // Asked for in the constructor already, before the window is shown.
    EXPECT_EQ(wxWindow::FindFocus(), m_panel.get());
    ShowAndActivate(win);
    EXPECT_TRUE(WaitUntil([&] { return wxWindow::FindFocus() == m_panel.get(); }))
        << "the panel does not have the focus";
    EXPECT_TRUE(WaitUntil([&] { return m_panel->GetSize() == win->GetClientSize(); }))
        << "the panel does not fill the window";
}

TEST_P(PanelPerKeyCount, HintTextsAndOneIconPerPositionInUse)
{
    const int count = GetParam();
    Prepare(count);
    OpenWindow();
    LoadReferenceIcons();
    if (HasFatalFailure())
        return;

    // Children: the two texts first, then the icons.
    std::vector<wxWindow*> children(m_panel->GetChildren().begin(), m_panel->GetChildren().end());
    ASSERT_EQ(children.size(), size_t(2 + count));

    struct Text
    {
        wxString label;
        wxPoint pos;
        wxSize size;
    } const texts[2] = {
        {wxString(L"按ESC退出"), wxPoint(20, 20), wxSize(500, 150)},
        {wxString(L"提示：根据界面中两排快捷图标，依次点击白板上相应快捷按钮，进行按键匹配操作。"),
         wxPoint(60, 110), wxSize(160, 150)},
    };
    for (int i = 0; i < 2; ++i)
    {
        SCOPED_TRACE(testing::Message() << "text " << i);
        wxStaticText* text = dynamic_cast<wxStaticText*>(children[i]);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->GetLabel(), texts[i].label);
        EXPECT_EQ(text->GetPosition(), texts[i].pos);
        EXPECT_EQ(text->GetSize(), texts[i].size);
        EXPECT_EQ(text->GetName(), "staticText");
    }

    for (int p = 0; p < 28; ++p)
    {
        SCOPED_TRACE(testing::Message() << "position " << p);
        if (p >= count)
        {
            EXPECT_EQ(m_panel->m_keyIcons[p], nullptr);
            continue;
        }
        wxStaticBitmap* icon = m_panel->m_keyIcons[p];
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(children[2 + p], icon) << "icons are created in position order";
        EXPECT_EQ(icon->GetName(), "staticBitmap");
        EXPECT_EQ(icon->GetWindowStyleFlag() & wxBORDER_MASK & ~wxBORDER_NONE, 0);
    }
    ExpectIcons(count, 0);

    // All anchors are computed from the screen, whatever the key count.
    const wxSize screen = ScreenSize();
    for (int p = 0; p < 28; ++p)
    {
        const SideKeyPanel::KeyPoint a = SideKeyPanel::KeyPosition(p, screen.x, screen.y);
        EXPECT_DOUBLE_EQ(m_panel->m_keyPos[p].x, a.x) << "position " << p;
        EXPECT_DOUBLE_EQ(m_panel->m_keyPos[p].y, a.y) << "position " << p;
    }

    // All 84 bitmaps are loaded, row r at positions r and r + 14.
    for (int p = 0; p < 28; ++p)
    {
        EXPECT_TRUE(SamePixels(m_panel->m_bmpNormal[p], m_ref[p % 14][1])) << "position " << p;
        EXPECT_TRUE(SamePixels(m_panel->m_bmpCurrent[p], m_ref[p % 14][2])) << "position " << p;
        EXPECT_TRUE(SamePixels(m_panel->m_bmpDone[p], m_ref[p % 14][3])) << "position " << p;
    }
}

// ----------------------------------------------------------------------------
// stepping through the positions
// ----------------------------------------------------------------------------

TEST_P(PanelPerKeyCount, EachAdvanceMarksDoneAndHighlightsNext)
{
    const int count = GetParam();
    Prepare(count);
    OpenWindow();
    LoadReferenceIcons();
    if (HasFatalFailure())
        return;

    ExpectIcons(count, 0);
    for (int k = 1; k < count; ++k)
    {
        m_panel->AdvanceKey();
        ExpectIcons(count, k);
        EXPECT_EQ(PendingDeleteCount(m_dlg.get()), 0) << "the run ended early, at " << k;
        if (HasFailure())
            return;
    }

    if (count == 28)
    {
        // Positions 13 and 14 were crossed from the bottom of the left
        // column to the top of the right one.
        EXPECT_EQ(StateShown(13), 3);
        EXPECT_EQ(StateShown(14), 3);
    }
    EXPECT_EQ(StateShown(count - 1), 2) << "the last position must stay current";
}

TEST_F(PanelTest, CrossingFromLeftColumnToRightColumn)
{
    Prepare(28);
    OpenWindow();
    LoadReferenceIcons();
    if (HasFatalFailure())
        return;
    for (int k = 0; k < 13; ++k)
        m_panel->AdvanceKey();
    EXPECT_EQ(StateShown(13), 2);
    EXPECT_EQ(StateShown(14), 1);

    m_panel->AdvanceKey();
    EXPECT_EQ(m_panel->m_current, 14);
    EXPECT_EQ(StateShown(12), 3);
    EXPECT_EQ(StateShown(13), 3);
    EXPECT_EQ(StateShown(14), 2);
    EXPECT_EQ(StateShown(15), 1);
    EXPECT_EQ(StateShown(27), 1);
    EXPECT_EQ(m_panel->m_keyIcons[14]->GetPosition(), ExpectedCorner(14));
    EXPECT_EQ(m_panel->m_keyIcons[13]->GetPosition(), ExpectedCorner(13));
}

TEST_P(PanelPerKeyCount, AdvanceAfterTheLastPositionClosesTheDialogOnce)
{
    const int count = GetParam();
    Prepare(count);
    OpenWindow();
    LoadReferenceIcons();
    if (HasFatalFailure())
        return;
    for (int k = 1; k < count; ++k)
        m_panel->AdvanceKey();
    ASSERT_EQ(m_panel->m_current, count - 1);

    std::vector<wxStaticBitmap*> before(m_panel->m_keyIcons, m_panel->m_keyIcons + 28);

    // The count-th notification ends the run: the dialog asks for deferred
    // destruction and the panel does not change.
    m_panel->AdvanceKey();
    EXPECT_EQ(PendingDeleteCount(m_dlg.get()), 1) << "the settings dialog was not closed";
    ASSERT_TRUE(m_panel) << "the panel went at once, not at idle time";
    EXPECT_EQ(m_panel->m_current, count - 1);
    EXPECT_EQ(std::vector<wxStaticBitmap*>(m_panel->m_keyIcons, m_panel->m_keyIcons + 28), before);
    ExpectIcons(count, count - 1);

    // A notification that arrives before the deletion changes nothing.
    m_panel->AdvanceKey();
    EXPECT_EQ(PendingDeleteCount(m_dlg.get()), 1);
    EXPECT_EQ(m_panel->m_current, count - 1);
    EXPECT_EQ(std::vector<wxStaticBitmap*>(m_panel->m_keyIcons, m_panel->m_keyIcons + 28), before);
    ExpectIcons(count, count - 1);

    // At idle time the dialog goes, and the window and panel with it.
    EXPECT_TRUE(WaitUntil([&] { return !m_dlg && !m_win && !m_panel; }));
    EXPECT_FALSE(wxGetApp().m_mainDialog);
}

TEST_F(PanelTest, MissingIconFolderStillGivesAWorkingPanel)
{
    Prepare(28);
    fs::remove_all(m_dir->Root() / "Res" / "sidekey_res");
    {
        wxLogNull quiet; // the toolkit reports each failed load
        OpenWindow();
    }
    ASSERT_TRUE(m_panel);
    EXPECT_EQ(m_panel->GetChildren().size(), 2u + 28u) << "the texts and 28 empty icon places";
    for (int p = 0; p < 28; ++p)
    {
        ASSERT_NE(m_panel->m_keyIcons[p], nullptr) << "position " << p;
        EXPECT_FALSE(m_panel->m_keyIcons[p]->GetBitmap().IsOk());
        EXPECT_FALSE(m_panel->m_bmpNormal[p].IsOk());
        EXPECT_FALSE(m_panel->m_bmpCurrent[p].IsOk());
        EXPECT_FALSE(m_panel->m_bmpDone[p].IsOk());
        EXPECT_EQ(m_panel->m_keyIcons[p]->GetPosition(), ExpectedCorner(p));
    }

    for (int k = 1; k < 28; ++k)
    {
        m_panel->AdvanceKey();
        ASSERT_EQ(m_panel->m_current, k);
    }
    EXPECT_EQ(IconChildren().size(), 28u);
    EXPECT_EQ(PendingDeleteCount(m_dlg.get()), 0);
    m_panel->AdvanceKey();
    EXPECT_EQ(PendingDeleteCount(m_dlg.get()), 1);
    EXPECT_TRUE(WaitUntil([&] { return !m_dlg && !m_win && !m_panel; }));
}

// ----------------------------------------------------------------------------
// keys
// ----------------------------------------------------------------------------

TEST_F(PanelTest, KeyDownEventsArePassedOn)
{
    Prepare(14);
    OpenWindow();
    for (int key : {int(WXK_ESCAPE), int(WXK_TAB), int(WXK_RETURN), int('A'), int(WXK_F1),
                    int(WXK_SPACE)})
    {
        wxKeyEvent event(wxEVT_KEY_DOWN);
        event.m_keyCode = key;
        event.SetEventObject(m_panel.get());
        const bool handled = m_panel->GetEventHandler()->ProcessEvent(event);
        EXPECT_FALSE(handled) << "key " << key;
        EXPECT_TRUE(event.GetSkipped()) << "key " << key;
    }
    // Nothing changed on the panel.
    EXPECT_EQ(m_panel->m_current, 0);
    EXPECT_EQ(PendingDeleteCount(m_dlg.get()), 0);
}

// Real keys through the X server: because the panel lets the key-down go on,
// the toolkit goes on to deliver the character, Tab and Enter included.
TEST_F(PanelTest, RealKeysReachThePanelAsCharacters)
{
    Prepare(28);
    SideKeyWin* win = OpenWindow();
    ShowAndActivate(win);
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(WaitUntil([&] { return wxWindow::FindFocus() == m_panel.get(); }));

    std::vector<int> chars;
    m_panel->Bind(wxEVT_CHAR, [&](wxKeyEvent& e) { chars.push_back(e.GetKeyCode()); });

    wxUIActionSimulator sim;
    const std::vector<int> keys = {'a', WXK_TAB, WXK_RETURN};
    for (size_t i = 0; i < keys.size(); ++i)
    {
        sim.Char(keys[i]);
        EXPECT_TRUE(WaitUntil([&] { return chars.size() > i; })) << "key " << keys[i];
        if (chars.size() > i)
        {
            EXPECT_EQ(chars[i], keys[i]);
        }
    }
    EXPECT_EQ(m_panel->m_current, 0);
    EXPECT_EQ(PendingDeleteCount(m_dlg.get()), 0);
    EXPECT_EQ(wxWindow::FindFocus(), m_panel.get()) << "a key moved the focus";
}

} // anonymous namespace
