///////////////////////////////////////////////////////////////////////////////
// MainDialog implementation
///////////////////////////////////////////////////////////////////////////////

#include "ui/MainDialog.h"

#include "app/SideKeyApp.h"
#include "app/Translate.h"
#include "config/CConfigXML.h"
#include "ui/SideKeyWin.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/icon.h>
#include <wx/log.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include <cstdio>
#include <string>

// ----------------------------------------------------------------------------
// constants
// ----------------------------------------------------------------------------

namespace
{

const char* const CONFIG_PATH = "Config/config.xml";
const char* const ICON_PATH = "Res/Sidekey.ico";
const char* const FLAG_KEY = "Flag";
const char* const ATTR_SOFT_KEY = "Enable_Soft_Sidekey";
const char* const ATTR_KEY_PEN = "bKeyPen";

// The settings dialog always has a caption with a close box and no resize
// border, whatever style it is given.
const long DIALOG_STYLE = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;

} // anonymous namespace

// ----------------------------------------------------------------------------
// event table
// ----------------------------------------------------------------------------

wxBEGIN_EVENT_TABLE(MainDialog, wxDialog)
    EVT_CLOSE(MainDialog::OnClose)
    EVT_BUTTON(ID_BTN_OK, MainDialog::OnOK)
    EVT_BUTTON(ID_BTN_CANCEL, MainDialog::OnCancel)
    EVT_BUTTON(ID_BTN_SETTING, MainDialog::OnSetting)
    EVT_CHECKBOX(ID_CHECK_SOFTKEY, MainDialog::OnCheckSoftKey)
    EVT_RADIOBUTTON(ID_RADIO_BLUEPEN, MainDialog::OnRadioBluePen)
    EVT_RADIOBUTTON(ID_RADIO_ERASER, MainDialog::OnRadioEraser)
    EVT_IDLE(MainDialog::OnIdle)
wxEND_EVENT_TABLE()

// ============================================================================
// MainDialog
// ============================================================================

MainDialog::MainDialog(wxWindow* parent, wxWindowID id, const wxString& title,
                       const wxPoint& pos, const wxSize& size, long WXUNUSED(style))
    : m_enableSoftKey(0),
      m_enableSoftKeyStored(0),
      m_keyPen(0),
      m_keyPenStored(0),
      m_groupBox(nullptr),
      m_checkSoftKey(nullptr),
      m_btnOK(nullptr),
      m_btnCancel(nullptr),
      m_btnSetting(nullptr),
      m_penBox(nullptr),
      m_radioBluePen(nullptr),
      m_radioEraser(nullptr),
      m_labelKey4(nullptr),
      m_waitingForService(false)
{
    Create(parent, id, title, pos, size, DIALOG_STYLE, wxS("dialog"));

    {
        // A missing or unreadable icon just leaves the dialog without one.
        wxLogNull noLog;
        wxIcon icon(wxString::FromUTF8(ICON_PATH), wxBITMAP_TYPE_XPM);
        if (icon.IsOk())
            SetIcon(icon);
    }

    m_groupBox = new wxStaticBox(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                 wxDefaultSize, 0, wxS("groupBox"));
    m_checkSoftKey = new wxCheckBox(this, ID_CHECK_SOFTKEY, _("开启软快捷"), wxDefaultPosition,
                                    wxDefaultSize, 0, wxDefaultValidator, wxS("check"));
    m_btnOK = new wxButton(this, ID_BTN_OK, _("确定"), wxDefaultPosition, wxDefaultSize, 0,
                           wxDefaultValidator, wxS("button"));
    m_btnCancel = new wxButton(this, ID_BTN_CANCEL, _("取消"), wxDefaultPosition,
                               wxDefaultSize, 0, wxDefaultValidator, wxS("button"));
    m_btnSetting = new wxButton(this, ID_BTN_SETTING, _("设置"), wxDefaultPosition,
                                wxDefaultSize, 0, wxDefaultValidator, wxS("button"));
    m_checkSoftKey->SetFocus();

    m_enableSoftKeyStored = ReadFlag(ATTR_SOFT_KEY);
    m_enableSoftKey = m_enableSoftKeyStored;
    m_checkSoftKey->SetValue(m_enableSoftKey != 0);
    if (m_enableSoftKey == 0)
        m_btnSetting->Enable(false);

    if (HasPenTrayGroup())
        CreatePenTrayGroup();

    DoLayout();
}

MainDialog::~MainDialog() = default;

bool MainDialog::HasPenTrayGroup() const
{
    return wxGetApp().m_boardType == wxS("OrvaneTypeB");
}

void MainDialog::CreatePenTrayGroup()
{
    m_penBox = new wxStaticBox(this, wxID_ANY, _("笔架按键设置"), wxDefaultPosition,
                               wxDefaultSize, 0, wxS("groupBox"));
    m_labelKey4 = new wxStaticText(this, wxID_ANY, _("按键4:"), wxDefaultPosition,
                                   wxDefaultSize, 0, wxS("staticText"));
    m_radioBluePen = new wxRadioButton(this, ID_RADIO_BLUEPEN, _("蓝色笔"), wxDefaultPosition,
                                       wxDefaultSize, 0, wxDefaultValidator,
                                       wxS("radioButton"));
    m_radioEraser = new wxRadioButton(this, ID_RADIO_ERASER, _("板擦"), wxDefaultPosition,
                                      wxDefaultSize, 0, wxDefaultValidator,
                                      wxS("radioButton"));

    m_keyPenStored = ReadFlag(ATTR_KEY_PEN);
    m_keyPen = m_keyPenStored;
    if (m_keyPen != 0)
        m_radioEraser->SetValue(true);
    else
        m_radioBluePen->SetValue(true);
}

void MainDialog::DoLayout()
{
    wxBoxSizer* top = new wxBoxSizer(wxVERTICAL);

    wxStaticBoxSizer* softKeyBox = new wxStaticBoxSizer(m_groupBox, wxHORIZONTAL);
    wxBoxSizer* softKeyRow = new wxBoxSizer(wxHORIZONTAL);
    softKeyRow->Add(m_checkSoftKey, 0, wxEXPAND | wxRIGHT, 40);
    softKeyRow->Add(m_btnSetting, 0, wxEXPAND | wxTOP | wxBOTTOM | wxRIGHT, 10);
    softKeyBox->Add(softKeyRow, 0, wxEXPAND | wxTOP | wxBOTTOM, 10);
    top->Add(softKeyBox, 1, wxEXPAND | wxALL, 10);

    if (HasPenTrayGroup())
    {
        wxStaticBoxSizer* penBox = new wxStaticBoxSizer(m_penBox, wxHORIZONTAL);
        wxBoxSizer* penRow = new wxBoxSizer(wxHORIZONTAL);
        penRow->Add(m_labelKey4, 0, wxEXPAND | wxRIGHT, 40);
        penRow->Add(m_radioBluePen, 0, wxEXPAND | wxRIGHT, 10);
        penRow->Add(m_radioEraser, 0, wxEXPAND | wxRIGHT, 10);
        penBox->Add(penRow, 0, wxEXPAND | wxTOP | wxBOTTOM, 10);
        top->Add(penBox, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);
    }

    wxBoxSizer* buttonRow = new wxBoxSizer(wxHORIZONTAL);
    buttonRow->Add(m_btnOK, 0, wxLEFT | wxRIGHT, 5);
    buttonRow->Add(m_btnCancel, 0, wxLEFT, 35);
    top->Add(buttonRow, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);

    SetSizer(top);
    top->Fit(this);
    Layout();
}

// ----------------------------------------------------------------------------
// configuration
// ----------------------------------------------------------------------------

std::string MainDialog::SectionName() const
{
    // A board type the locale cannot express gives no name at all, which
    // the store treats as a missing section: reads give 0, writes nothing.
    wxCharBuffer name = wxGetApp().m_boardType.mb_str(wxConvLibc);
    return name.length() ? std::string(name.data(), name.length()) : std::string();
}

int MainDialog::ReadFlag(const char* attribute)
{
    int value = 0;
    CConfigXML config;
    config.Load(CONFIG_PATH);
    config.GetInt(SectionName().c_str(), FLAG_KEY, attribute, &value, 0);
    config.Close();
    return value;
}

// ----------------------------------------------------------------------------
// board service
// ----------------------------------------------------------------------------

bool MainDialog::TellService(int code, bool start)
{
    // The toolkit goes on dispatching events while it waits for the answer.
    // Hold off the user meanwhile (a second OK, Cancel or Escape would
    // destroy the dialog under this handler), and notice when the dialog
    // went all the same, through the loss of the link.
    wxWeakRef<MainDialog> self(this);
    m_waitingForService = true;
    {
        wxWindowDisabler noInput;
        wxGetApp().SendCommand(code, start);
    }
    if (!self)
        return false;
    m_waitingForService = false;
    return true;
}

// ----------------------------------------------------------------------------
// closing
// ----------------------------------------------------------------------------

void MainDialog::CloseDialog()
{
    Destroy();
}

bool MainDialog::Destroy()
{
    bool pending = wxDialog::Destroy();
    // The toolkit deletes the dialog at its next idle time; without a nudge
    // that may not come before the user moves the mouse.
    wxWakeUpIdle();
    return pending;
}

// ----------------------------------------------------------------------------
// event handlers
// ----------------------------------------------------------------------------

void MainDialog::OnClose(wxCloseEvent& event)
{
    if (m_waitingForService && event.CanVeto())
    {
        event.Veto();
        return;
    }
    std::puts("in MainDialog::OnClose");
    std::fflush(stdout);
    Destroy();
}

void MainDialog::OnOK(wxCommandEvent& WXUNUSED(event))
{
    if (m_waitingForService)
        return;
    if (m_enableSoftKey != m_enableSoftKeyStored || m_keyPen != m_keyPenStored)
    {
        const std::string section = SectionName();
        CConfigXML config;
        config.Load(CONFIG_PATH);
        config.SetInt(section.c_str(), FLAG_KEY, ATTR_SOFT_KEY, m_enableSoftKey);
        config.SetInt(section.c_str(), FLAG_KEY, ATTR_KEY_PEN, m_keyPen);
        config.Save();
        config.Close();

        // The board service's only notice that the settings changed.
        if (!TellService(-1, true) || !TellService(-1, false))
            return;
    }
    Destroy();
}

void MainDialog::OnCancel(wxCommandEvent& WXUNUSED(event))
{
    if (m_waitingForService)
        return;
    Destroy();
}

void MainDialog::OnSetting(wxCommandEvent& WXUNUSED(event))
{
    if (m_waitingForService)
        return;
    SideKeyApp& app = wxGetApp();

    if (m_enableSoftKey != m_enableSoftKeyStored)
    {
        // Only the switch is saved here; the pen-tray choice is not.
        CConfigXML config;
        config.Load(CONFIG_PATH);
        config.SetInt(SectionName().c_str(), FLAG_KEY, ATTR_SOFT_KEY, m_enableSoftKey);
        config.Save();
        config.Close();

        if (!TellService(-1, true) || !TellService(-1, false))
            return;
    }

    Show(false);
    if (!TellService(app.m_keyCount, true))
        return;

    SideKeyWin* win = new SideKeyWin(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                     wxDefaultSize, 0);
    m_sideKeyWin = win;
    win->Centre(wxBOTH);
    win->Show(true);
    app.SetTopWindow(win);
    win->ShowFullScreen(true, wxFULLSCREEN_ALL);
}

void MainDialog::OnCheckSoftKey(wxCommandEvent& WXUNUSED(event))
{
    m_enableSoftKey = m_checkSoftKey->GetValue() ? 1 : 0;
    m_btnSetting->Enable(m_enableSoftKey != 0);
}

void MainDialog::OnRadioBluePen(wxCommandEvent& WXUNUSED(event))
{
    m_keyPen = 0;
}

void MainDialog::OnRadioEraser(wxCommandEvent& WXUNUSED(event))
{
    m_keyPen = 1;
}

void MainDialog::OnIdle(wxIdleEvent& WXUNUSED(event))
{
    // The keyboard's physical state: Escape ends the run whichever window
    // has the focus, also while the dialog is hidden behind key matching.
    if (!m_waitingForService && wxGetKeyState(WXK_ESCAPE))
        CloseDialog();
}
