///////////////////////////////////////////////////////////////////////////////
// SimServer: the stand-in board service.
//
// A real wxTCPServer that accepts the topic "SideKey", answers every start
// and stop request with success and sends advise notifications on demand.
// Every event is reported as one line through the reporter it is given.
///////////////////////////////////////////////////////////////////////////////

#ifndef BOARDSIM_SIMSERVER_H
#define BOARDSIM_SIMSERVER_H

#include <wx/ipc.h>

#include <functional>
#include <vector>

class SimConnection;

class SimServer : public wxTCPServer
{
public:
    using Reporter = std::function<void(const wxString& line)>;

    explicit SimServer(Reporter reporter);
    virtual ~SimServer();

    wxConnectionBase* OnAcceptConnection(const wxString& topic) override;

    // Sends count advise notifications on the newest connection; false when
    // no client is connected.
    bool Advise(int count);
    // Closes the newest connection from the service's side.
    bool Drop();
    bool IsConnected() const { return !m_connections.empty(); }

    void Report(const wxString& line);
    void Forget(SimConnection* connection);

private:
    Reporter m_reporter;
    std::vector<SimConnection*> m_connections;
};

#endif // BOARDSIM_SIMSERVER_H
