///////////////////////////////////////////////////////////////////////////////
// MyClient implementation
///////////////////////////////////////////////////////////////////////////////

#include "link/MyClient.h"

#include "link/MyConnection.h"

MyClient::MyClient()
    : m_connection(nullptr)
{
}

MyClient::~MyClient()
{
    Disconnect();
}

bool MyClient::Connect(const wxString& host, const wxString& service, const wxString& topic)
{
    m_connection = static_cast<MyConnection*>(MakeConnection(host, service, topic));
    return m_connection != nullptr;
}

void MyClient::Disconnect()
{
    if (m_connection)
    {
        m_connection->Disconnect();
        delete m_connection;
        m_connection = nullptr;
    }
}

wxConnectionBase* MyClient::OnMakeConnection()
{
    return new MyConnection;
}
