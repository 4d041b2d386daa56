///////////////////////////////////////////////////////////////////////////////
// baseline_dialog: the least a wxWidgets program needs to show a dialog like
// the settings dialog, to measure orvane-sidekey's start-up and memory
// against.
//
// The same title, style and controls as the settings dialog of an
// "OrvaneTypeB" board (two static boxes, a check box, three buttons, a label
// and two radio buttons, laid out by the same sizers), centred and shown
// from OnInit(). No translations, no configuration file, no board-service
// link, no single-instance lock: everything the utility does beyond this is
// what the comparison is about.
//
// Two switches add one of the utility's start-up steps each, so that the
// benchmark can tell what they cost:
//   --locale     the C library and toolkit locale of the user's language
//                (wxLocale, as the utility sets it up for its catalogs)
//   --icon FILE  the window icon, loaded from FILE as XPM
///////////////////////////////////////////////////////////////////////////////

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/icon.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

namespace
{

class BaselineDialog : public wxDialog
{
public:
    explicit BaselineDialog(const wxString& iconFile)
        : wxDialog(nullptr, wxID_ANY, wxString::FromUTF8("软快捷设置程序"), wxDefaultPosition,
                   wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
    {
        if (!iconFile.empty())
        {
            wxLogNull noLog;
            wxIcon icon(iconFile, wxBITMAP_TYPE_XPM);
            if (icon.IsOk())
                SetIcon(icon);
        }

        wxStaticBox* group = new wxStaticBox(this, wxID_ANY, wxEmptyString);
        wxCheckBox* check = new wxCheckBox(this, wxID_ANY, wxString::FromUTF8("开启软快捷"));
        wxButton* ok = new wxButton(this, wxID_OK, wxString::FromUTF8("确定"));
        wxButton* cancel = new wxButton(this, wxID_CANCEL, wxString::FromUTF8("取消"));
        wxButton* setting = new wxButton(this, wxID_ANY, wxString::FromUTF8("设置"));
        check->SetFocus();
        setting->Enable(false);

        wxStaticBox* penGroup = new wxStaticBox(this, wxID_ANY,
                                                wxString::FromUTF8("笔架按键设置"));
        wxStaticText* label = new wxStaticText(this, wxID_ANY, wxString::FromUTF8("按键4:"));
        wxRadioButton* bluePen = new wxRadioButton(this, wxID_ANY, wxString::FromUTF8("蓝色笔"));
        wxRadioButton* eraser = new wxRadioButton(this, wxID_ANY, wxString::FromUTF8("板擦"));
        bluePen->SetValue(true);

        wxBoxSizer* top = new wxBoxSizer(wxVERTICAL);
        wxStaticBoxSizer* box = new wxStaticBoxSizer(group, wxHORIZONTAL);
        wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
        row->Add(check, 0, wxEXPAND | wxRIGHT, 40);
        row->Add(setting, 0, wxEXPAND | wxTOP | wxBOTTOM | wxRIGHT, 10);
        box->Add(row, 0, wxEXPAND | wxTOP | wxBOTTOM, 10);
        top->Add(box, 1, wxEXPAND | wxALL, 10);

        wxStaticBoxSizer* penBox = new wxStaticBoxSizer(penGroup, wxHORIZONTAL);
        wxBoxSizer* penRow = new wxBoxSizer(wxHORIZONTAL);
        penRow->Add(label, 0, wxEXPAND | wxRIGHT, 40);
        penRow->Add(bluePen, 0, wxEXPAND | wxRIGHT, 10);
        penRow->Add(eraser, 0, wxEXPAND | wxRIGHT, 10);
        penBox->Add(penRow, 0, wxEXPAND | wxTOP | wxBOTTOM, 10);
        top->Add(penBox, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);

        wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
        buttons->Add(ok, 0, wxLEFT | wxRIGHT, 5);
        buttons->Add(cancel, 0, wxLEFT, 35);
        top->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);

        SetSizer(top);
        top->Fit(this);
        Layout();

        Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Destroy(); }, wxID_OK);
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Destroy(); }, wxID_CANCEL);
    }
};

class BaselineApp : public wxApp
{
public:
    ~BaselineApp() override { delete m_locale; }

    bool OnInit() override
    {
        wxString iconFile;
        for (int i = 1; i < argc; ++i)
        {
            if (argv[i] == wxS("--locale"))
            {
                wxLogNull noLog;
                m_locale = new wxLocale;
                m_locale->Init(wxLocale::GetSystemLanguage(), wxLOCALE_LOAD_DEFAULT);
            }
            else if (argv[i] == wxS("--icon") && i + 1 < argc)
                iconFile = argv[++i];
        }
        BaselineDialog* dialog = new BaselineDialog(iconFile);
        dialog->Centre(wxBOTH);
        dialog->Show(true);
        return true;
    }

private:
    wxLocale* m_locale = nullptr;
};

} // anonymous namespace

wxIMPLEMENT_APP(BaselineApp);
