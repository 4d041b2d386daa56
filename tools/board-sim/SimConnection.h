///////////////////////////////////////////////////////////////////////////////
// SimConnection: one client's link to the stand-in board service.
///////////////////////////////////////////////////////////////////////////////

#ifndef BOARDSIM_SIMCONNECTION_H
#define BOARDSIM_SIMCONNECTION_H

#include <wx/ipc.h>

class SimServer;

class SimConnection : public wxTCPConnection
{
public:
    explicit SimConnection(SimServer& server);
    virtual ~SimConnection();

    // Every start and stop request is answered at once with success.
    bool OnStartAdvise(const wxString& topic, const wxString& item) override;
    bool OnStopAdvise(const wxString& topic, const wxString& item) override;
    bool OnDisconnect() override;

private:
    SimServer& m_server;
};

#endif // BOARDSIM_SIMCONNECTION_H
