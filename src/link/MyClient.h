///////////////////////////////////////////////////////////////////////////////
// MyClient: the client end of the link to the board service.
//
// Owns the one connection it makes; the connection is deleted only here.
///////////////////////////////////////////////////////////////////////////////

#ifndef SIDEKEY_LINK_MYCLIENT_H
#define SIDEKEY_LINK_MYCLIENT_H

#include <wx/ipc.h>

class MyConnection;

class MyClient : public wxTCPClient
{
public:
    MyClient();
    virtual ~MyClient();

    // Connects to the service; true when the link is up.
    bool Connect(const wxString& host, const wxString& service, const wxString& topic);
    void Disconnect();

    MyConnection* GetConnection() const { return m_connection; }

    wxConnectionBase* OnMakeConnection() override;

private:
    MyConnection* m_connection;
};

#endif // SIDEKEY_LINK_MYCLIENT_H
