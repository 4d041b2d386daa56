///////////////////////////////////////////////////////////////////////////////
// SideKeyWin implementation
///////////////////////////////////////////////////////////////////////////////

#include "ui/SideKeyWin.h"

#include "ui/SideKeyPanel.h"

#include <wx/settings.h>

SideKeyWin::SideKeyWin(wxWindow* parent, wxWindowID WXUNUSED(id), const wxString& title,
                       const wxPoint& pos, const wxSize& size, long WXUNUSED(style))
    : wxFrame(parent, wxID_ANY, title, pos, size, wxSTAY_ON_TOP | wxRESIZE_BORDER,
              wxS("frame")),
      m_panel(nullptr)
{
    m_panel = new SideKeyPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0);
    FitToScreen();
    m_panel->SetFocus();
}

SideKeyWin::~SideKeyWin() = default;

void SideKeyWin::FitToScreen()
{
    // Cover the screen from the start, before full-screen mode is switched on.
    const int width = wxSystemSettings::GetMetric(wxSYS_SCREEN_X);
    const int height = wxSystemSettings::GetMetric(wxSYS_SCREEN_Y);
    SetSize(-1, -1, width, height, wxSIZE_USE_EXISTING);
}
