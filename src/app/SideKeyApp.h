///////////////////////////////////////////////////////////////////////////////
// SideKeyApp: the application object.
//
// Carries the start-up (working directory, translations, single instance,
// board-service link, board type) and holds what the windows share.
///////////////////////////////////////////////////////////////////////////////

#ifndef SIDEKEY_APP_SIDEKEYAPP_H
#define SIDEKEY_APP_SIDEKEYAPP_H

#include <wx/app.h>
#include <wx/intl.h>
#include <wx/snglinst.h>
#include <wx/string.h>
#include <wx/weakref.h>

#include "ui/MainDialog.h"

class MyClient;

// The driver package's folder, made the working directory at start.
extern const char* const SIDEKEY_WORK_DIR;

class SideKeyApp : public wxApp
{
public:
    SideKeyApp();
    virtual ~SideKeyApp();

    bool OnInit() override;
    int FilterEvent(wxEvent& event) override;

    bool InitLocale(int language);
    void UpdateKeyCount();

    // Board-service link.
    bool ConnectService();
    void SendCommand(int code, bool start);

    // The settings dialog. A weak reference, cleared by the toolkit when the
    // dialog is deleted (and by the link when it is lost), so it never
    // points at a deleted window.
    wxWeakRef<MainDialog> m_mainDialog;
    wxString m_boardType;
    int m_keyCount;
    wxSingleInstanceChecker m_instanceChecker;
    MyClient* m_client;
    wxLocale* m_locale;
};

wxDECLARE_APP(SideKeyApp);

#endif // SIDEKEY_APP_SIDEKEYAPP_H
