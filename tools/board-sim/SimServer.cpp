///////////////////////////////////////////////////////////////////////////////
// SimServer implementation
///////////////////////////////////////////////////////////////////////////////

#include "SimServer.h"

#include "SimConnection.h"

#include <algorithm>

namespace
{
const char* const TOPIC = "SideKey";
}

SimServer::SimServer(Reporter reporter)
    : m_reporter(std::move(reporter))
{
}

SimServer::~SimServer()
{
    for (SimConnection* connection : m_connections)
    {
        connection->Disconnect();
        delete connection;
    }
}

wxConnectionBase* SimServer::OnAcceptConnection(const wxString& topic)
{
    if (topic != wxString::FromUTF8(TOPIC))
    {
        Report(wxS("refuse ") + topic);
        return nullptr;
    }
    Report(wxS("connect ") + topic);
    SimConnection* connection = new SimConnection(*this);
    m_connections.push_back(connection);
    return connection;
}

bool SimServer::Advise(int count)
{
    if (m_connections.empty())
        return false;
    SimConnection* connection = m_connections.back();
    // Item and data are free: the utility only counts notifications.
    for (int i = 0; i < count; ++i)
    {
        const wxString data = wxString::Format(wxS("%d"), i + 1);
        if (!connection->Advise(wxS("key"), data))
            return false;
    }
    return true;
}

bool SimServer::Drop()
{
    if (m_connections.empty())
        return false;
    SimConnection* connection = m_connections.back();
    m_connections.pop_back();
    connection->Disconnect();
    delete connection;
    Report(wxS("dropped"));
    return true;
}

void SimServer::Report(const wxString& line)
{
    if (m_reporter)
        m_reporter(line);
}

void SimServer::Forget(SimConnection* connection)
{
    m_connections.erase(std::remove(m_connections.begin(), m_connections.end(), connection),
                        m_connections.end());
}
