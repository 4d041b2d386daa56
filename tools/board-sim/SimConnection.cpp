///////////////////////////////////////////////////////////////////////////////
// SimConnection implementation
///////////////////////////////////////////////////////////////////////////////

#include "SimConnection.h"

#include "SimServer.h"

SimConnection::SimConnection(SimServer& server)
    : m_server(server)
{
}

SimConnection::~SimConnection() = default;

bool SimConnection::OnStartAdvise(const wxString& WXUNUSED(topic), const wxString& item)
{
    m_server.Report(wxS("start ") + item);
    return true;
}

bool SimConnection::OnStopAdvise(const wxString& WXUNUSED(topic), const wxString& item)
{
    m_server.Report(wxS("stop ") + item);
    return true;
}

bool SimConnection::OnDisconnect()
{
    m_server.Forget(this);
    m_server.Report(wxS("disconnect"));
    delete this;
    return true;
}
