///////////////////////////////////////////////////////////////////////////////
// SideKeyPanel implementation
///////////////////////////////////////////////////////////////////////////////

#include "ui/SideKeyPanel.h"

#include "app/SideKeyApp.h"
#include "app/Translate.h"
#include "ui/MainDialog.h"

#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>

// ----------------------------------------------------------------------------
// the icon set
// ----------------------------------------------------------------------------

namespace
{

const char* const ICON_FOLDER = "Res/sidekey_res/";

// Row r of both columns shows icon r; note UserDefine2 before UserDefine1,
// as printed on the board.
const char* const ICON_NAMES[SideKeyPanel::ROWS] = {
    "NewPage", "Save",     "PrePage", "NextPage",    "Mouse",       "BlackPen", "RedPen",
    "BluePen", "GreenPen", "Eraser",  "UserDefine2", "UserDefine1", "Orient",   "Start",
};

wxString IconFile(int row, int state)
{
    return wxString::FromUTF8(ICON_FOLDER) + wxString::FromUTF8(ICON_NAMES[row]) +
           wxString::Format(wxS("%d.bmp"), state);
}

} // anonymous namespace

// ----------------------------------------------------------------------------
// event table
// ----------------------------------------------------------------------------

wxBEGIN_EVENT_TABLE(SideKeyPanel, wxPanel)
    EVT_KEY_DOWN(SideKeyPanel::OnKeyDown)
wxEND_EVENT_TABLE()

// ============================================================================
// SideKeyPanel
// ============================================================================

SideKeyPanel::SideKeyPanel(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                           const wxSize& size, long WXUNUSED(style))
    : wxPanel(parent, id, pos, size, wxNO_BORDER | wxWANTS_CHARS, wxS("panel")),
      m_current(0),
      m_keyCount(std::clamp(wxGetApp().m_keyCount, 0, MAX_KEYS))
{
    std::fill(std::begin(m_keyPos), std::end(m_keyPos), KeyPoint{0.0, 0.0});
    std::fill(std::begin(m_keyIcons), std::end(m_keyIcons), nullptr);

    new wxStaticText(this, wxID_ANY, _("按ESC退出"), wxPoint(20, 20), wxSize(500, 150), 0,
                     wxS("staticText"));
    new wxStaticText(this, wxID_ANY,
                     _("提示：根据界面中两排快捷图标，依次点击白板上相应快捷按钮，进行按键匹配操作。"),
                     wxPoint(60, 110), wxSize(160, 150), 0, wxS("staticText"));

    ComputeKeyPositions();
    LoadKeyBitmaps();

    if (m_keyCount > 0)
        ShowIcon(0, m_bmpCurrent[0]);
    for (int p = 1; p < m_keyCount; ++p)
        ShowIcon(p, m_bmpNormal[p]);
}

SideKeyPanel::~SideKeyPanel()
{
    for (int p = 0; p < m_keyCount; ++p)
    {
        if (m_keyIcons[p])
        {
            m_keyIcons[p]->Destroy();
            m_keyIcons[p] = nullptr;
        }
    }
}

SideKeyPanel::KeyPoint SideKeyPanel::KeyPosition(int position, int screenWidth,
                                                 int screenHeight)
{
    const double w = screenWidth;
    const double h = screenHeight;
    const int row = position % ROWS;
    // 14 evenly spaced rows over 80 % of the height, starting 18 pixels
    // above 10 % of it; columns at 30 % and 36 pixels left of 70 % of the width.
    const double y = row * ((0.8 * h) / 13) + 0.1 * h - 18;
    const double x = position < ROWS ? 0.3 * w : 0.7 * w - 36;
    return KeyPoint{x, y};
}

wxPoint SideKeyPanel::IconCorner(const KeyPoint& anchor)
{
    // Truncation toward zero, as a cast does.
    return wxPoint(static_cast<int>(anchor.x - 15), static_cast<int>(anchor.y - 15));
}

void SideKeyPanel::ComputeKeyPositions()
{
    // The screen's size, not the panel's: the panel may not be laid out yet.
    const int width = wxSystemSettings::GetMetric(wxSYS_SCREEN_X);
    const int height = wxSystemSettings::GetMetric(wxSYS_SCREEN_Y);
    for (int p = 0; p < MAX_KEYS; ++p)
        m_keyPos[p] = KeyPosition(p, width, height);
}

void SideKeyPanel::LoadKeyBitmaps()
{
    // A file that will not load leaves an empty bitmap and an empty icon
    // place; matching goes on all the same.
    for (int row = 0; row < ROWS; ++row)
    {
        for (int copy = row; copy < MAX_KEYS; copy += ROWS)
        {
            m_bmpNormal[copy].LoadFile(IconFile(row, 1), wxBITMAP_TYPE_BMP);
            m_bmpCurrent[copy].LoadFile(IconFile(row, 2), wxBITMAP_TYPE_BMP);
            m_bmpDone[copy].LoadFile(IconFile(row, 3), wxBITMAP_TYPE_BMP);
        }
    }
}

void SideKeyPanel::ShowIcon(int position, const wxBitmap& bitmap)
{
    // A state change replaces the control rather than its bitmap.
    if (m_keyIcons[position])
        m_keyIcons[position]->Destroy();
    m_keyIcons[position] =
        new wxStaticBitmap(this, wxID_ANY, bitmap, IconCorner(m_keyPos[position]),
                           wxSize(ICON_SIZE, ICON_SIZE), wxBORDER_NONE, wxS("staticBitmap"));
}

void SideKeyPanel::AdvanceKey()
{
    const int k = m_current;
    if (k + 1 < m_keyCount)
    {
        ShowIcon(k, m_bmpDone[k]);
        ShowIcon(k + 1, m_bmpCurrent[k + 1]);
        m_current = k + 1;
        return;
    }

    // The last position was matched: the run is over. Repeated calls before
    // the dialog is deleted change nothing.
    wxWindow* win = GetParent();
    MainDialog* dialog = dynamic_cast<MainDialog*>(win ? win->GetParent() : nullptr);
    if (dialog)
        dialog->CloseDialog();
}

void SideKeyPanel::OnKeyDown(wxKeyEvent& event)
{
    event.Skip();
}
