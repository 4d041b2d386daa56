///////////////////////////////////////////////////////////////////////////////
// MyConnection: the live link to the board service.
//
// Delivers the service's advise notifications (one per shortcut key the
// user touches) to the key-matching panel, and closes the settings dialog
// when the service goes away.
///////////////////////////////////////////////////////////////////////////////

#ifndef SIDEKEY_LINK_MYCONNECTION_H
#define SIDEKEY_LINK_MYCONNECTION_H

#include <wx/ipc.h>

class MyConnection : public wxTCPConnection
{
public:
    MyConnection();
    virtual ~MyConnection();

    bool OnAdvise(const wxString& topic, const wxString& item, const void* data,
                  size_t size, wxIPCFormat format) override;

    // Unlike the base class, does not delete the connection: the client
    // owns it and keeps it, closed, until the program ends.
    bool OnDisconnect() override;
};

#endif // SIDEKEY_LINK_MYCONNECTION_H
