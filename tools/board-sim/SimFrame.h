///////////////////////////////////////////////////////////////////////////////
// SimFrame: the virtual whiteboard.
//
// The board's 14 shortcut buttons (a click sends one advise notification),
// a status line, the log of what the service received and a button that
// drops the link from the service's side.
///////////////////////////////////////////////////////////////////////////////

#ifndef BOARDSIM_SIMFRAME_H
#define BOARDSIM_SIMFRAME_H

#include <wx/frame.h>

class SimServer;
class wxListBox;
class wxStaticText;

class SimFrame : public wxFrame
{
public:
    SimFrame(SimServer& server, long port, const wxString& iconFolder);

    // Called for every line the service reports.
    void AddLog(const wxString& line);
    void UpdateStatus();

private:
    void OnShortcut(wxCommandEvent& event);
    void OnDrop(wxCommandEvent& event);

    SimServer& m_server;
    long m_port;
    wxStaticText* m_status;
    wxListBox* m_log;
};

#endif // BOARDSIM_SIMFRAME_H
