///////////////////////////////////////////////////////////////////////////////
// MyConnection implementation
///////////////////////////////////////////////////////////////////////////////

#include "link/MyConnection.h"

#include "app/SideKeyApp.h"
#include "ui/MainDialog.h"
#include "ui/SideKeyPanel.h"
#include "ui/SideKeyWin.h"

#include <cstdio>

MyConnection::MyConnection() = default;

MyConnection::~MyConnection() = default;

bool MyConnection::OnAdvise(const wxString& WXUNUSED(topic), const wxString& WXUNUSED(item),
                            const void* WXUNUSED(data), size_t WXUNUSED(size),
                            wxIPCFormat WXUNUSED(format))
{
    // Every notification is one matched key, whatever it carries. Each link
    // of the chain is null while its window does not exist.
    MainDialog* dialog = wxGetApp().m_mainDialog;
    SideKeyWin* win = dialog ? dialog->m_sideKeyWin : nullptr;
    SideKeyPanel* panel = win ? win->m_panel : nullptr;
    if (panel)
        panel->AdvanceKey();

    std::puts("Onadvise");
    std::fflush(stdout);
    return true;
}

bool MyConnection::OnDisconnect()
{
    std::puts("oNDisconnect()");
    std::fflush(stdout);

    SideKeyApp& app = wxGetApp();
    if (app.m_mainDialog)
    {
        app.m_mainDialog->CloseDialog();
        app.m_mainDialog = nullptr;
    }
    return true;
}
