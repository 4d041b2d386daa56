///////////////////////////////////////////////////////////////////////////////
// SideKeyApp implementation: start-up, shutdown and the Ctrl+Alt+I filter
///////////////////////////////////////////////////////////////////////////////

#include "app/SideKeyApp.h"

#include "app/Translate.h"
#include "config/CConfigXML.h"
#include "link/MyClient.h"
#include "link/MyConnection.h"
#include "ui/MainDialog.h"

#include <wx/filefn.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include <cstdio>

// Builds with AddressSanitizer (GCC defines the first, clang answers the
// second) get LeakSanitizer's interface.
#if defined(__SANITIZE_ADDRESS__)
#define SIDEKEY_HAS_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIDEKEY_HAS_LSAN 1
#endif
#endif
#ifdef SIDEKEY_HAS_LSAN
#include <sanitizer/lsan_interface.h>
#endif

// ----------------------------------------------------------------------------
// constants
// ----------------------------------------------------------------------------

const char* const SIDEKEY_WORK_DIR = "/usr/share/OrvaneDrv/QMLT";

namespace
{

const char* const CONFIG_PATH = "Config/config.xml";
const char* const CATALOG_NAME = "OrvaneDrv";
const char* const FALLBACK_CATALOG_NAME = "en_US/OrvaneDrv";
const char* const MAKER_WEB_ADDRESS = "http://www.orvane.com";
const int DEFAULT_SERVICE_PORT = 4869;

void PrintLine(const char* line)
{
    std::puts(line);
    std::fflush(stdout);
}

void ShowNoHardwareBox()
{
    wxMessageDialog box(nullptr,
                        _("没有发现硬件，请重新连接.\n请确定白板已连接计算机.\n"
                          "在进行软快捷键设置，请您先启动OrvaneLink服务!"),
                        _("警告"), wxOK | wxICON_ERROR);
    box.ShowModal();
}

void ShowNoSoftKeysBox()
{
    wxMessageDialog box(nullptr, _("您当前所使用的白板不带软快捷键.\n无需进行设置."),
                        _("警告"), wxOK | wxICON_WARNING);
    box.ShowModal();
}

} // anonymous namespace

// ============================================================================
// SideKeyApp
// ============================================================================

SideKeyApp::SideKeyApp()
    : m_mainDialog(nullptr),
      m_keyCount(0),
      m_client(nullptr),
      m_locale(nullptr)
{
    // An unusable lock file is not worth an error box: only
    // IsAnotherRunning() decides.
    wxLogNull noLog;
    m_instanceChecker.Create(wxS("OrvaneSideKey"), wxS("/tmp"));
}

SideKeyApp::~SideKeyApp()
{
    delete m_locale;
    // The client is not deleted: the link simply closes with the process,
    // without a last exchange with the service. It is kept on purpose, so
    // LeakSanitizer is told not to count it (nor what it holds) as a leak.
#ifdef SIDEKEY_HAS_LSAN
    if (m_client)
        __lsan_ignore_object(m_client);
#endif
    m_client = nullptr;
    m_locale = nullptr;
}

bool SideKeyApp::OnInit()
{
    // The program has no text entry, so it needs no input method; the one
    // GTK picks for CJK locales (XIM) alone costs about a tenth of the
    // start-up. A method the user chose explicitly is kept.
    if (!wxGetEnv(wxS("GTK_IM_MODULE"), nullptr))
        wxSetEnv(wxS("GTK_IM_MODULE"), wxS("gtk-im-context-simple"));

    // The toolkit's own error reports (a bitmap that would not load, say) go
    // to stderr: apart from its own message boxes this program shows no
    // windows of the toolkit's.
    delete wxLog::SetActiveTarget(new wxLogStderr);

    {
        // Without the driver package's folder, relative paths resolve
        // against the start directory; that is not an error.
        wxLogNull noLog;
        wxSetWorkingDirectory(wxString::FromUTF8(SIDEKEY_WORK_DIR));
    }

    if (!InitLocale(wxLocale::GetSystemLanguage()))
        InitLocale(wxLANGUAGE_ENGLISH_US);

    if (m_instanceChecker.IsAnotherRunning())
    {
        wxMessageBox(_("已有一个相同的实例在运行中"), wxMessageBoxCaptionStr, wxOK | wxCENTRE);
        return false;
    }

    if (!ConnectService())
    {
        ShowNoHardwareBox();
        return false;
    }

    CConfigXML config;
    config.Load(CONFIG_PATH);
    char boardType[30] = {};
    int hadHand = -1;
    config.GetString("Global", "CurrentRun", "TYPE", boardType);
    config.GetInt(boardType, "Flag", "Is_Had_Hand", &hadHand, 0);
    config.Close();

    m_boardType = wxString::FromUTF8(boardType);
    std::printf("workType:%s\n", boardType);
    std::fflush(stdout);

    if (m_boardType.empty())
    {
        ShowNoHardwareBox();
        return false;
    }
    if (hadHand == 1)
    {
        ShowNoSoftKeysBox();
        return false;
    }

    UpdateKeyCount();

    m_mainDialog = new MainDialog(nullptr, wxID_ANY, _("软快捷设置程序"), wxDefaultPosition,
                                  wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
    m_mainDialog->Centre(wxBOTH);
    m_mainDialog->Show(true);
    return true;
}

bool SideKeyApp::InitLocale(int language)
{
    delete m_locale;
    m_locale = nullptr;

    // A system language the toolkit does not know (a locale name it cannot
    // map) has no catalog of ours either: go straight to the fallback.
    if (language == wxLANGUAGE_UNKNOWN)
        return false;

    // A language whose locale is not installed is no reason for an error
    // box: the program goes on with whatever catalog it finds.
    wxLogNull noLog;

    m_locale = new wxLocale;
    m_locale->Init(language, wxLOCALE_LOAD_DEFAULT);

    wxLocale::AddCatalogLookupPathPrefix(wxS("LANG"));

    // Whether a catalog is loaded decides, not what AddCatalog() says: the
    // toolkit reports success for a missing catalog in English.
    m_locale->AddCatalog(CATALOG_NAME);
    if (m_locale->IsLoaded(CATALOG_NAME))
        return true;
    m_locale->AddCatalog(FALLBACK_CATALOG_NAME);
    return m_locale->IsLoaded(FALLBACK_CATALOG_NAME);
}

void SideKeyApp::UpdateKeyCount()
{
    m_keyCount = (m_boardType == wxS("OrvaneTypeA")) ? 14 : 28;
}

int SideKeyApp::FilterEvent(wxEvent& event)
{
    if (event.GetEventType() != wxEVT_KEY_DOWN)
        return Event_Skip;

    const wxKeyEvent& key = static_cast<const wxKeyEvent&>(event);
    if (key.GetModifiers() != (wxMOD_CONTROL | wxMOD_ALT) || key.GetKeyCode() != 'I')
        return Event_Skip;

    wxMessageBox(wxString::FromUTF8(MAKER_WEB_ADDRESS), wxMessageBoxCaptionStr, wxOK | wxCENTRE);
    return Event_Processed;
}

// ----------------------------------------------------------------------------
// board-service link
// ----------------------------------------------------------------------------

bool SideKeyApp::ConnectService()
{
    int port = 0;
    {
        CConfigXML config;
        config.Load(CONFIG_PATH);
        config.GetInt("Global", "port", "num", &port, DEFAULT_SERVICE_PORT);
        config.Close();
    }
    const wxString service = wxString::Format(wxS("%d"), port);

    PrintLine("aa");
    m_client = new MyClient;
    bool connected = m_client->Connect(wxS("localhost"), service, wxS("SideKey"));
    if (!connected)
        PrintLine("Failed to make connection to server");
    return connected;
}

void SideKeyApp::SendCommand(int code, bool start)
{
    const wxString item = wxString::Format(wxS("%i"), code);
    MyConnection* connection = m_client ? m_client->GetConnection() : nullptr;
    if (!connection)
        return;
    if (start)
        connection->StartAdvise(item);
    else
        connection->StopAdvise(item);
}
