///////////////////////////////////////////////////////////////////////////////
// SimFrame implementation
///////////////////////////////////////////////////////////////////////////////

#include "SimFrame.h"

#include "SimServer.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/log.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace
{

// The printed shortcut keys, top to bottom, as on the board and on the
// utility's key-matching screen.
const char* const SHORTCUTS[] = {
    "NewPage", "Save",     "PrePage", "NextPage",    "Mouse",       "BlackPen", "RedPen",
    "BluePen", "GreenPen", "Eraser",  "UserDefine2", "UserDefine1", "Orient",   "Start",
};

} // anonymous namespace

SimFrame::SimFrame(SimServer& server, long port, const wxString& iconFolder)
    : wxFrame(nullptr, wxID_ANY, wxS("Virtual whiteboard")),
      m_server(server),
      m_port(port),
      m_status(nullptr),
      m_log(nullptr)
{
    wxPanel* panel = new wxPanel(this);

    // The board's edge: the shortcut buttons in one column.
    wxBoxSizer* keys = new wxBoxSizer(wxVERTICAL);
    for (const char* name : SHORTCUTS)
    {
        wxBitmap picture;
        {
            wxLogNull noLog;
            picture.LoadFile(iconFolder + wxS("/") + wxString::FromUTF8(name) + wxS("2.bmp"),
                             wxBITMAP_TYPE_BMP);
        }
        wxButton* button;
        if (picture.IsOk())
            button = new wxBitmapButton(panel, wxID_ANY, picture);
        else
            button = new wxButton(panel, wxID_ANY, wxString::FromUTF8(name));
        button->SetName(wxString::FromUTF8(name));
        button->SetToolTip(wxString::FromUTF8(name));
        button->Bind(wxEVT_BUTTON, &SimFrame::OnShortcut, this);
        keys->Add(button, 0, wxALL, 2);
    }

    m_status = new wxStaticText(panel, wxID_ANY, wxEmptyString);
    m_log = new wxListBox(panel, wxID_ANY, wxDefaultPosition, wxSize(320, 360));
    wxButton* drop = new wxButton(panel, wxID_ANY, wxS("Drop link"));
    drop->Bind(wxEVT_BUTTON, &SimFrame::OnDrop, this);

    wxBoxSizer* side = new wxBoxSizer(wxVERTICAL);
    side->Add(m_status, 0, wxEXPAND | wxBOTTOM, 8);
    side->Add(new wxStaticText(panel, wxID_ANY, wxS("Requests received:")), 0, wxBOTTOM, 4);
    side->Add(m_log, 1, wxEXPAND | wxBOTTOM, 8);
    side->Add(new wxStaticText(panel, wxID_ANY,
                               wxS("Click a shortcut key to press it on the board.")),
              0, wxBOTTOM, 8);
    side->Add(drop, 0, wxALIGN_RIGHT);

    wxBoxSizer* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(keys, 0, wxALL, 8);
    top->Add(side, 1, wxEXPAND | wxALL, 8);
    panel->SetSizer(top);
    top->SetSizeHints(this);

    UpdateStatus();
}

void SimFrame::AddLog(const wxString& line)
{
    m_log->Append(line);
    m_log->EnsureVisible(m_log->GetCount() - 1);
    UpdateStatus();
}

void SimFrame::UpdateStatus()
{
    m_status->SetLabel(wxString::Format(wxS("Listening on port %ld, %s"), m_port,
                                        m_server.IsConnected() ? wxS("connected")
                                                               : wxS("not connected")));
}

void SimFrame::OnShortcut(wxCommandEvent& event)
{
    wxWindow* button = wxDynamicCast(event.GetEventObject(), wxWindow);
    const wxString name = button ? button->GetName() : wxString();
    if (m_server.Advise(1))
        AddLog(wxS("(pressed ") + name + wxS(")"));
    else
        AddLog(wxS("(no client: ") + name + wxS(" ignored)"));
}

void SimFrame::OnDrop(wxCommandEvent& WXUNUSED(event))
{
    if (!m_server.Drop())
        AddLog(wxS("(no client to drop)"));
}
