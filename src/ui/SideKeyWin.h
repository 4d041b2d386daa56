///////////////////////////////////////////////////////////////////////////////
// SideKeyWin: the full-screen key-matching window.
//
// A borderless frame, child of the settings dialog, that covers the screen
// and holds exactly one SideKeyPanel. It ends with the settings dialog.
///////////////////////////////////////////////////////////////////////////////

#ifndef SIDEKEY_UI_SIDEKEYWIN_H
#define SIDEKEY_UI_SIDEKEYWIN_H

#include <wx/frame.h>

class SideKeyPanel;

class SideKeyWin : public wxFrame
{
public:
    // Only parent, title, pos and size are used: the window always has its
    // own fixed identifier and style.
    SideKeyWin(wxWindow* parent, wxWindowID id, const wxString& title,
               const wxPoint& pos, const wxSize& size, long style);
    virtual ~SideKeyWin();

    void FitToScreen();

    // The panel, a child of this window (not owned by the pointer).
    SideKeyPanel* m_panel;
};

#endif // SIDEKEY_UI_SIDEKEYWIN_H
