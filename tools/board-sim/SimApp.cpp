///////////////////////////////////////////////////////////////////////////////
// SimApp implementation
///////////////////////////////////////////////////////////////////////////////

#include "SimApp.h"

#include "SimFrame.h"
#include "SimServer.h"

#include <wx/cmdline.h>

#include <tinyxml.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace
{

const long DEFAULT_PORT = 4869;

void PrintLine(const wxString& line)
{
    std::puts(line.utf8_str().data());
    std::fflush(stdout);
}

} // anonymous namespace

SimApp::SimApp()
    : m_configPath(wxS("Config/config.xml")),
      m_iconFolder(wxS("Res/sidekey_res")),
      m_frame(nullptr),
      m_port(-1),
      m_headless(false)
{
}

SimApp::~SimApp() = default;

void SimApp::OnInitCmdLine(wxCmdLineParser& parser)
{
    parser.AddSwitch(wxS("h"), wxS("help"), wxS("show this help"), wxCMD_LINE_OPTION_HELP);
    parser.AddOption(wxS("c"), wxS("config"), wxS("configuration file naming the port"));
    parser.AddOption(wxS("p"), wxS("port"), wxS("TCP port to listen on"),
                     wxCMD_LINE_VAL_NUMBER);
    parser.AddSwitch(wxS(""), wxS("headless"), wxS("no window; commands on stdin"));
    parser.AddOption(wxS(""), wxS("icons"), wxS("folder of the shortcut pictures"));
}

bool SimApp::OnCmdLineParsed(wxCmdLineParser& parser)
{
    parser.Found(wxS("config"), &m_configPath);
    parser.Found(wxS("port"), &m_port);
    m_headless = parser.Found(wxS("headless"));
    parser.Found(wxS("icons"), &m_iconFolder);
    return true;
}

long SimApp::PortFromConfig(const wxString& path)
{
    TiXmlDocument doc;
    if (!doc.LoadFile(path.fn_str(), TIXML_DEFAULT_ENCODING))
        return DEFAULT_PORT;
    TiXmlElement* root = doc.FirstChildElement();
    TiXmlElement* global = root ? root->FirstChildElement("Global") : nullptr;
    TiXmlElement* port = global ? global->FirstChildElement("port") : nullptr;
    int num = 0;
    if (!port || port->QueryIntAttribute("num", &num) != TIXML_SUCCESS)
        return DEFAULT_PORT;
    return num;
}

bool SimApp::OnInit()
{
    if (!wxApp::OnInit())
        return false;

    if (m_port < 0)
        m_port = PortFromConfig(m_configPath);

    m_server.reset(new SimServer([this](const wxString& line) {
        PrintLine(line);
        if (m_frame)
            m_frame->AddLog(line);
    }));
    if (m_port <= 0 || m_port > 65535 || !m_server->Create(wxString::Format(wxS("%ld"), m_port)))
    {
        std::fprintf(stderr, "orvane-board-sim: cannot listen on port %ld (already in use?)\n",
                     m_port);
        m_server.reset();
        return false;
    }
    PrintLine(wxString::Format(wxS("listening %ld"), m_port));

    // Commands on stdin work in both modes, so scripts can drive the
    // virtual whiteboard too.
    StartReadingStdin();
    if (m_headless)
    {
        // Keep running without any window until told to quit.
        SetExitOnFrameDelete(false);
        return true;
    }

    m_frame = new SimFrame(*m_server, m_port, m_iconFolder);
    m_frame->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
        m_frame = nullptr;
        event.Skip();
    });
    m_frame->Show();
    return true;
}

int SimApp::OnExit()
{
    m_server.reset();
    return wxApp::OnExit();
}

void SimApp::StartReadingStdin()
{
    // Blocking reads on a thread of their own; each line is handed to the
    // main thread, where the link lives.
    std::thread([] {
        std::string line;
        while (std::getline(std::cin, line))
        {
            wxString command = wxString::FromUTF8(line.c_str());
            if (wxTheApp)
                wxTheApp->CallAfter([command] { wxGetApp().RunCommand(command); });
        }
    }).detach();
}

void SimApp::RunCommand(const wxString& line)
{
    wxString command = line;
    command.Trim(true).Trim(false);
    wxString argument;
    wxString verb = command.BeforeFirst(' ', &argument);

    if (verb == wxS("advise"))
    {
        long count = 1;
        if (!argument.empty() && (!argument.Trim().ToLong(&count) || count < 0))
        {
            std::fprintf(stderr, "orvane-board-sim: bad count: %s\n", argument.utf8_str().data());
            return;
        }
        if (!m_server->Advise(static_cast<int>(count)))
            std::fprintf(stderr, "orvane-board-sim: no client to advise\n");
    }
    else if (verb == wxS("drop"))
    {
        if (!m_server->Drop())
            std::fprintf(stderr, "orvane-board-sim: no client to drop\n");
    }
    else if (verb == wxS("quit"))
    {
        ExitMainLoop();
    }
    else if (!verb.empty())
    {
        std::fprintf(stderr, "orvane-board-sim: unknown command: %s\n", verb.utf8_str().data());
    }
}
