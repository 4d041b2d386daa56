///////////////////////////////////////////////////////////////////////////////
// MainDialog: the settings dialog.
//
// Switches the soft shortcut keys on or off, chooses what pen-tray key 4 does
// (on "OrvaneTypeB" boards), and starts key matching. The program runs as
// long as this dialog exists: every way out ends in its destruction.
///////////////////////////////////////////////////////////////////////////////

#ifndef SIDEKEY_UI_MAINDIALOG_H
#define SIDEKEY_UI_MAINDIALOG_H

#include <wx/dialog.h>
#include <wx/weakref.h>

#include <string>

#include "ui/SideKeyWin.h"

class wxButton;
class wxCheckBox;
class wxRadioButton;
class wxStaticBox;
class wxStaticText;

enum
{
    ID_BTN_OK = 7001,
    ID_BTN_CANCEL = 7002,
    ID_BTN_SETTING = 7003,
    ID_CHECK_SOFTKEY = 7004,
    ID_RADIO_BLUEPEN = 7005,
    ID_RADIO_ERASER = 7006
};

class MainDialog : public wxDialog
{
public:
    MainDialog(wxWindow* parent, wxWindowID id, const wxString& title,
               const wxPoint& pos, const wxSize& size, long style);
    virtual ~MainDialog();

    // Asks for the dialog's deferred destruction; a second call changes
    // nothing.
    void CloseDialog();

    // Deferred destruction that also wakes the idle machinery, so that the
    // dialog goes (and the program ends) without waiting for another event.
    bool Destroy() override;

    // The key-matching window while it exists. A weak reference: the toolkit
    // clears it when the window is deleted, also when the window manager
    // closes the window alone, so notifications never reach a deleted panel.
    wxWeakRef<SideKeyWin> m_sideKeyWin;

    int m_enableSoftKey;
    int m_enableSoftKeyStored;
    int m_keyPen;
    int m_keyPenStored;

    wxStaticBox* m_groupBox;
    wxCheckBox* m_checkSoftKey;
    wxButton* m_btnOK;
    wxButton* m_btnCancel;
    wxButton* m_btnSetting;
    wxStaticBox* m_penBox;
    wxRadioButton* m_radioBluePen;
    wxRadioButton* m_radioEraser;
    wxStaticText* m_labelKey4;

    // True while a request to the board service waits for its answer.
    bool m_waitingForService;

    void OnClose(wxCloseEvent& event);
    void OnOK(wxCommandEvent& event);
    void OnCancel(wxCommandEvent& event);
    void OnSetting(wxCommandEvent& event);
    void OnCheckSoftKey(wxCommandEvent& event);
    void OnRadioBluePen(wxCommandEvent& event);
    void OnRadioEraser(wxCommandEvent& event);
    void OnIdle(wxIdleEvent& event);

private:
    // Sends one request to the board service and waits for its answer.
    // False when the dialog was destroyed during the wait.
    bool TellService(int code, bool start);

    bool HasPenTrayGroup() const;
    void CreatePenTrayGroup();
    void DoLayout();

    // Per-board values live in the section named after the board type.
    std::string SectionName() const;
    int ReadFlag(const char* attribute);

    wxDECLARE_EVENT_TABLE();
};

#endif // SIDEKEY_UI_MAINDIALOG_H
