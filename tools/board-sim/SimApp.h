///////////////////////////////////////////////////////////////////////////////
// SimApp: the stand-in board service's application object.
//
//   orvane-board-sim [--config FILE] [--port N] [--headless] [--icons FOLDER]
//
// Listens on the port that FILE names under Global/port/num (4869 when the
// file or element is missing; --port overrides). Prints one line per event
// on stdout and takes commands on stdin, one a line: "advise", "advise N",
// "drop", "quit". With --headless it opens no window; without it, it shows
// a virtual whiteboard: the board's shortcut buttons (a click sends one
// advise notification), the requests received and a "Drop link" button.
///////////////////////////////////////////////////////////////////////////////

#ifndef BOARDSIM_SIMAPP_H
#define BOARDSIM_SIMAPP_H

#include <wx/app.h>

#include <memory>

class SimFrame;
class SimServer;
class wxCmdLineParser;

class SimApp : public wxApp
{
public:
    SimApp();
    virtual ~SimApp();

    bool OnInit() override;
    int OnExit() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;

    void RunCommand(const wxString& line);

private:
    static long PortFromConfig(const wxString& path);
    void StartReadingStdin();

    std::unique_ptr<SimServer> m_server;
    wxString m_configPath;
    wxString m_iconFolder;
    SimFrame* m_frame;
    long m_port;
    bool m_headless;
};

wxDECLARE_APP(SimApp);

#endif // BOARDSIM_SIMAPP_H
