///////////////////////////////////////////////////////////////////////////////
// The settings dialog, the key-matching launch from it, and the application
// object's key filter and key count, on the real toolkit.
//
// Each test works in a private copy of the staged working-directory tree with
// a configuration file of its own. Handlers are driven with the events the
// controls send (or with real input through the X server), and their effect
// is checked on the controls, on the dialog's state and on the file.
///////////////////////////////////////////////////////////////////////////////

#include "fixtures/GuiTestSupport.h"

#include "app/SideKeyApp.h"
#include "ui/MainDialog.h"
#include "ui/SideKeyPanel.h"
#include "ui/SideKeyWin.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/iconbndl.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <clocale>
#include <memory>
#include <typeinfo>

using namespace guitest;

namespace
{

const long kDialogStyle = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;

int KeyCountFor(const std::string& board)
{
    return board == "OrvaneTypeA" ? 14 : 28;
}

// ----------------------------------------------------------------------------
// driving the controls
// ----------------------------------------------------------------------------

// Sends the command event a control sends when the user operates it; it
// travels from the control up to the dialog like a real one.
void Fire(wxWindow* control, wxEventType type, int value)
{
    wxCommandEvent event(type, control->GetId());
    event.SetEventObject(control);
    event.SetInt(value);
    control->GetEventHandler()->ProcessEvent(event);
}

enum class Act
{
    Check,
    Uncheck,
    BluePen,
    Eraser,
};

void Apply(MainDialog* dlg, Act act)
{
    switch (act)
    {
    case Act::Check:
    case Act::Uncheck:
    {
        const bool on = act == Act::Check;
        dlg->m_checkSoftKey->SetValue(on);
        Fire(dlg->m_checkSoftKey, wxEVT_CHECKBOX, on ? 1 : 0);
        break;
    }
    case Act::BluePen:
    case Act::Eraser:
    {
        wxRadioButton* radio = act == Act::BluePen ? dlg->m_radioBluePen : dlg->m_radioEraser;
        ASSERT_NE(radio, nullptr) << "no pen-tray group on this board";
        radio->SetValue(true);
        Fire(radio, wxEVT_RADIOBUTTON, 1);
        break;
    }
    }
}

void Press(wxButton* button)
{
    Fire(button, wxEVT_BUTTON, 0);
}

// Sets the C library's locale for the lifetime of the object.
class CLocale
{
public:
    explicit CLocale(const char* name)
    {
        const char* current = std::setlocale(LC_ALL, nullptr);
        m_saved = current ? current : "C";
        m_ok = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~CLocale() { std::setlocale(LC_ALL, m_saved.c_str()); }
    bool Ok() const { return m_ok; }

private:
    std::string m_saved;
    bool m_ok;
};

// ----------------------------------------------------------------------------
// fixture
// ----------------------------------------------------------------------------

class DialogTest : public testing::Test
{
protected:
    void TearDown() override
    {
        // A test that failed half-way may leave its windows behind.
        if (m_dlg)
        {
            EXPECT_TRUE(DestroyAndWait(m_dlg)) << "the dialog was never deleted";
        }
        m_app.reset();
        m_dir.reset();
    }

    // Prepares the working directory and the application object for a board
    // whose own section holds `own`.
    void Prepare(const std::string& board, const FlagValues& own)
    {
        m_board = board;
        m_dir = std::make_unique<TempWorkDir>();
        m_dir->WriteConfig(ConfigXml(board, own));
        m_original = m_dir->ConfigBytes();
        m_app = std::make_unique<AppState>(wxString::FromUTF8(board.c_str()), KeyCountFor(board));
    }

    MainDialog* Open(long style = kDialogStyle)
    {
        MainDialog* dlg = NewMainDialog(style);
        m_dlg = dlg;
        return dlg;
    }

    // Shows the dialog centred, as the application does, and waits until the
    // window manager has made it the active window.
    void ShowAndActivate(MainDialog* dlg)
    {
        dlg->Centre(wxBOTH);
        dlg->Show(true);
        dlg->Raise();
        ASSERT_TRUE(WaitUntil([&] { return dlg->IsShownOnScreen() && dlg->IsActive(); }))
            << "the dialog never became the active window";
    }

    // The dialog has asked for its own destruction: it is in the toolkit's
    // pending list now and gone, with the application's reference, after idle
    // processing.
    void ExpectDialogEnds(MainDialog* dlg)
    {
        EXPECT_EQ(PendingDeleteCount(dlg), 1) << "the dialog did not ask for deferred destruction";
        EXPECT_TRUE(m_dlg) << "the dialog was deleted at once, not at idle time";
        EXPECT_TRUE(WaitUntil([&] { return !m_dlg; })) << "the dialog was never deleted";
        EXPECT_FALSE(wxGetApp().m_mainDialog) << "the application still refers to the dialog";
    }

    // Every section except the board's own is as it was.
    void ExpectOtherSectionsUntouched()
    {
        const std::string now = m_dir->ConfigBytes();
        for (const std::string& s : KnownSections())
        {
            if (s == m_board)
                continue;
            for (const char* attr : {"Is_Had_Hand", "Enable_Soft_Sidekey", "bKeyPen"})
            {
                EXPECT_EQ(FlagAttributeIn(now, s, attr), FlagAttributeIn(m_original, s, attr))
                    << "section " << s << ", attribute " << attr;
            }
        }
        EXPECT_EQ(FlagAttributeIn(now, m_board, "Is_Had_Hand"), std::optional<std::string>("0"));
    }

    std::string m_board;
    std::unique_ptr<TempWorkDir> m_dir;
    std::unique_ptr<AppState> m_app;
    std::string m_original;
    wxWeakRef<MainDialog> m_dlg;
};

// ============================================================================
// controls, layout and window properties, per board type
// ============================================================================

class DialogPerBoard : public DialogTest, public testing::WithParamInterface<const char*>
{
protected:
    void SetUp() override { Prepare(GetParam(), {"1", "0"}); }
    bool PenTray() const { return std::string(GetParam()) == "OrvaneTypeB"; }
};

std::string BoardName(const testing::TestParamInfo<const char*>& info)
{
    return info.param;
}

INSTANTIATE_TEST_SUITE_P(Boards, DialogPerBoard,
                         testing::Values("OrvaneTypeA", "OrvaneTypeB", "orvanetypeb", "Other"),
                         BoardName);

TEST_P(DialogPerBoard, PenTrayGroupExistsOnlyForOrvaneTypeB)
{
    MainDialog* dlg = Open();
    EXPECT_NE(dlg->m_groupBox, nullptr);
    EXPECT_NE(dlg->m_checkSoftKey, nullptr);
    EXPECT_NE(dlg->m_btnOK, nullptr);
    EXPECT_NE(dlg->m_btnCancel, nullptr);
    EXPECT_NE(dlg->m_btnSetting, nullptr);
    EXPECT_EQ(dlg->m_penBox != nullptr, PenTray());
    EXPECT_EQ(dlg->m_labelKey4 != nullptr, PenTray());
    EXPECT_EQ(dlg->m_radioBluePen != nullptr, PenTray());
    EXPECT_EQ(dlg->m_radioEraser != nullptr, PenTray());
    EXPECT_FALSE(dlg->m_sideKeyWin);
}

struct ExpectedControl
{
    wxWindow* window;
    wxClassInfo* kind;
    int id; // 0: created with wxID_ANY
    wxString label;
    wxString name;
};

TEST_P(DialogPerBoard, ControlsInCreationOrderWithIdsLabelsAndNames)
{
    MainDialog* dlg = Open();
    std::vector<ExpectedControl> expected = {
        {dlg->m_groupBox, wxCLASSINFO(wxStaticBox), 0, wxString(), "groupBox"},
        {dlg->m_checkSoftKey, wxCLASSINFO(wxCheckBox), 7004, wxString(L"开启软快捷"), "check"},
        {dlg->m_btnOK, wxCLASSINFO(wxButton), 7001, wxString(L"确定"), "button"},
        {dlg->m_btnCancel, wxCLASSINFO(wxButton), 7002, wxString(L"取消"), "button"},
        {dlg->m_btnSetting, wxCLASSINFO(wxButton), 7003, wxString(L"设置"), "button"},
    };
    if (PenTray())
    {
        expected.push_back({dlg->m_penBox, wxCLASSINFO(wxStaticBox), 0, wxString(L"笔架按键设置"),
                            "groupBox"});
        expected.push_back({dlg->m_labelKey4, wxCLASSINFO(wxStaticText), 0, wxString(L"按键4:"),
                            "staticText"});
        expected.push_back({dlg->m_radioBluePen, wxCLASSINFO(wxRadioButton), 7005,
                            wxString(L"蓝色笔"), "radioButton"});
        expected.push_back({dlg->m_radioEraser, wxCLASSINFO(wxRadioButton), 7006,
                            wxString(L"板擦"), "radioButton"});
    }

    const wxWindowList& children = dlg->GetChildren();
    ASSERT_EQ(children.size(), expected.size());
    size_t i = 0;
    for (wxWindowList::const_iterator it = children.begin(); it != children.end(); ++it, ++i)
    {
        const ExpectedControl& e = expected[i];
        wxWindow* child = *it;
        SCOPED_TRACE(testing::Message() << "child " << i << " (" << e.name << ")");
        ASSERT_EQ(child, e.window) << "creation order differs";
        EXPECT_EQ(child->GetClassInfo(), e.kind) << child->GetClassInfo()->GetClassName();
        if (e.id == 0)
        {
            EXPECT_LT(child->GetId(), 0) << "should have been created with wxID_ANY";
        }
        else
        {
            EXPECT_EQ(child->GetId(), e.id);
        }
        EXPECT_EQ(child->GetLabel(), e.label);
        EXPECT_EQ(child->GetName(), e.name);
        EXPECT_EQ(child->GetParent(), dlg);
        EXPECT_EQ(child->GetWindowStyleFlag() & (wxRB_GROUP | wxCHK_3STATE | wxBU_EXACTFIT), 0)
            << "no style bits of its own";
    }

    // No button is the default one.
    EXPECT_EQ(dlg->GetDefaultItem(), nullptr);
}

TEST_P(DialogPerBoard, FixedStyleNameAndTitleWhateverStyleIsPassed)
{
    // The toolkit may add bits of its own to every dialog; a plain dialog
    // created with the intended style tells which.
    wxDialog reference(nullptr, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                       kDialogStyle);
    const long expected = reference.GetWindowStyleFlag();

    for (long passed : {kDialogStyle, 0L, long(wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER |
                                               wxMAXIMIZE_BOX | wxMINIMIZE_BOX | wxSTAY_ON_TOP)})
    {
        SCOPED_TRACE(testing::Message() << "style passed 0x" << std::hex << passed);
        MainDialog* dlg = Open(passed);
        const long style = dlg->GetWindowStyleFlag();
        EXPECT_EQ(style, expected) << std::hex << style;
        EXPECT_EQ(style & (wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX), kDialogStyle);
        EXPECT_EQ(style & (wxRESIZE_BORDER | wxMAXIMIZE_BOX | wxMINIMIZE_BOX | wxSTAY_ON_TOP), 0);
        EXPECT_EQ(dlg->GetName(), "dialog");
        EXPECT_EQ(dlg->GetTitle(), wxString(L"软快捷设置程序"));
        EXPECT_EQ(dlg->GetParent(), nullptr);
        EXPECT_FALSE(dlg->IsModal());
        ASSERT_TRUE(DestroyAndWait(m_dlg));
    }
}

// The expected shape of one sizer item.
struct SizerShape
{
    enum Kind
    {
        Window,
        Box,
        StaticBox,
    } kind;
    wxWindow* window; // Window: the control; StaticBox: its box
    int orient;
    int proportion;
    int flag;
    int border;
    std::vector<SizerShape> items;
};

void ExpectSizer(wxSizer* sizer, const SizerShape& shape, const std::string& path);

void ExpectItem(wxSizerItem* item, const SizerShape& shape, const std::string& path)
{
    SCOPED_TRACE(path);
    EXPECT_EQ(item->GetProportion(), shape.proportion);
    EXPECT_EQ(item->GetFlag(), shape.flag) << std::hex << "0x" << item->GetFlag();
    EXPECT_EQ(item->GetBorder(), shape.border);
    if (shape.kind == SizerShape::Window)
    {
        ASSERT_TRUE(item->IsWindow());
        EXPECT_EQ(item->GetWindow(), shape.window);
    }
    else
    {
        ASSERT_TRUE(item->IsSizer());
        ExpectSizer(item->GetSizer(), shape, path);
    }
}

void ExpectSizer(wxSizer* sizer, const SizerShape& shape, const std::string& path)
{
    SCOPED_TRACE(path);
    ASSERT_NE(sizer, nullptr);
    if (shape.kind == SizerShape::StaticBox)
    {
        ASSERT_EQ(typeid(*sizer), typeid(wxStaticBoxSizer));
        EXPECT_EQ(static_cast<wxStaticBoxSizer*>(sizer)->GetStaticBox(), shape.window);
    }
    else
    {
        ASSERT_EQ(typeid(*sizer), typeid(wxBoxSizer));
    }
    EXPECT_EQ(static_cast<wxBoxSizer*>(sizer)->GetOrientation(), shape.orient);
    const wxSizerItemList& items = sizer->GetChildren();
    ASSERT_EQ(items.size(), shape.items.size());
    size_t i = 0;
    for (wxSizerItemList::const_iterator it = items.begin(); it != items.end(); ++it, ++i)
        ExpectItem(*it, shape.items[i], path + "/" + std::to_string(i));
}

TEST_P(DialogPerBoard, SizerTreeProportionsFlagsAndBorders)
{
    MainDialog* dlg = Open();
    typedef SizerShape S;

    std::vector<S> top = {
        {S::StaticBox, dlg->m_groupBox, wxHORIZONTAL, 1, 0x20F0, 10,
         {{S::Box, nullptr, wxHORIZONTAL, 0, 0x20C0, 10,
           {{S::Window, dlg->m_checkSoftKey, 0, 0, 0x2020, 40, {}},
            {S::Window, dlg->m_btnSetting, 0, 0, 0x20E0, 10, {}}}}}},
    };
    if (PenTray())
    {
        top.push_back({S::StaticBox, dlg->m_penBox, wxHORIZONTAL, 0, 0x20B0, 10,
                       {{S::Box, nullptr, wxHORIZONTAL, 0, 0x20C0, 10,
                         {{S::Window, dlg->m_labelKey4, 0, 0, 0x2020, 40, {}},
                          {S::Window, dlg->m_radioBluePen, 0, 0, 0x2020, 10, {}},
                          {S::Window, dlg->m_radioEraser, 0, 0, 0x2020, 10, {}}}}}});
    }
    top.push_back({S::Box, nullptr, wxHORIZONTAL, 0, 0x20B0, 10,
                   {{S::Window, dlg->m_btnOK, 0, 0, 0x0030, 5, {}},
                    {S::Window, dlg->m_btnCancel, 0, 0, 0x0010, 35, {}}}});

    // The flag values above are the toolkit's constants combined.
    static_assert((wxEXPAND | wxALL) == 0x20F0, "");
    static_assert((wxEXPAND | wxTOP | wxBOTTOM) == 0x20C0, "");
    static_assert((wxEXPAND | wxRIGHT) == 0x2020, "");
    static_assert((wxEXPAND | wxTOP | wxBOTTOM | wxRIGHT) == 0x20E0, "");
    static_assert((wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM) == 0x20B0, "");
    static_assert((wxLEFT | wxRIGHT) == 0x0030 && wxLEFT == 0x0010, "");

    ExpectSizer(dlg->GetSizer(), {S::Box, nullptr, wxVERTICAL, 0, 0, 0, top}, "top");

    // The dialog takes the smallest size its sizers allow.
    EXPECT_EQ(dlg->GetSize(), dlg->GetSizer()->ComputeFittingWindowSize(dlg));
}

// ============================================================================
// dialog icon
// ============================================================================

struct IconCase
{
    const char* name;
    enum
    {
        Present,
        Missing,
        NotXpm
    } file;
};

void PrintTo(const IconCase& c, std::ostream* os)
{
    *os << c.name;
}

class DialogIcon : public DialogTest, public testing::WithParamInterface<IconCase>
{
};

INSTANTIATE_TEST_SUITE_P(Files, DialogIcon,
                         testing::Values(IconCase{"Present", IconCase::Present},
                                         IconCase{"Missing", IconCase::Missing},
                                         IconCase{"NotXpm", IconCase::NotXpm}),
                         [](const testing::TestParamInfo<IconCase>& i) { return std::string(i.param.name); });

TEST_P(DialogIcon, IconIsTheXpmFileOrNone)
{
    Prepare("OrvaneTypeA", {"0", "0"});
    const fs::path icon = m_dir->Root() / "Res" / "Sidekey.ico";
    if (GetParam().file == IconCase::Missing)
        fs::remove(icon);
    else if (GetParam().file == IconCase::NotXpm)
    {
        static const char notXpm[] = "\0\0\1\0\1\0 not an image";
        WriteFileBytes(icon, std::string(notXpm, sizeof(notXpm) - 1));
    }

    MainDialog* dlg = Open();
    // The whole bundle: GetIcon() alone answers only for the system icon size.
    const wxIconBundle& icons = dlg->GetIcons();
    if (GetParam().file == IconCase::Present)
    {
        ASSERT_EQ(icons.GetIconCount(), 1u);
        const wxIcon shown = icons.GetIconByIndex(0);
        wxIcon fromFile(wxString(icon.string()), wxBITMAP_TYPE_XPM);
        ASSERT_TRUE(fromFile.IsOk());
        EXPECT_TRUE(SamePixels(shown, fromFile)) << "the icon is not the file's picture";
    }
    else
    {
        EXPECT_EQ(icons.GetIconCount(), 0u);
    }
    // Either way the dialog is complete.
    EXPECT_NE(dlg->m_btnOK, nullptr);
}

// ============================================================================
// initial state from the stored values
// ============================================================================

typedef std::tuple<const char*, const char*, const char*> InitialParam; // board, switch, pen

class DialogInitialState : public DialogTest, public testing::WithParamInterface<InitialParam>
{
};

INSTANTIATE_TEST_SUITE_P(Stored, DialogInitialState,
                         testing::Combine(testing::Values("OrvaneTypeB", "OrvaneTypeA"),
                                          testing::Values("0", "1", "2"),
                                          testing::Values("0", "1", "5")),
                         [](const testing::TestParamInfo<InitialParam>& i) {
                             return std::string(std::get<0>(i.param)) + "_Switch" +
                                    std::get<1>(i.param) + "_Pen" + std::get<2>(i.param);
                         });

TEST_P(DialogInitialState, ControlsAndValuesFollowTheBoardsSection)
{
    const std::string board = std::get<0>(GetParam());
    const int soft = std::atoi(std::get<1>(GetParam()));
    const int pen = std::atoi(std::get<2>(GetParam()));
    Prepare(board, {std::get<1>(GetParam()), std::get<2>(GetParam())});

    MainDialog* dlg = Open();

    // Values other than 0 and 1 pass unchanged; setting the check box from
    // the program raises no event that would turn 2 into 1.
    EXPECT_EQ(dlg->m_enableSoftKeyStored, soft);
    EXPECT_EQ(dlg->m_enableSoftKey, soft);
    EXPECT_EQ(dlg->m_checkSoftKey->GetValue(), soft != 0);
    EXPECT_EQ(dlg->m_btnSetting->IsEnabled(), soft != 0);
    EXPECT_TRUE(dlg->m_btnOK->IsEnabled());
    EXPECT_TRUE(dlg->m_btnCancel->IsEnabled());
    EXPECT_TRUE(dlg->m_checkSoftKey->IsEnabled());

    if (board == "OrvaneTypeB")
    {
        EXPECT_EQ(dlg->m_keyPenStored, pen);
        EXPECT_EQ(dlg->m_keyPen, pen);
        EXPECT_EQ(dlg->m_radioEraser->GetValue(), pen != 0);
        EXPECT_EQ(dlg->m_radioBluePen->GetValue(), pen == 0) << "the radios are one group";
    }
    else
    {
        // Without the pen-tray group the stored pen value is not read.
        EXPECT_EQ(dlg->m_keyPenStored, 0);
        EXPECT_EQ(dlg->m_keyPen, 0);
    }
    EXPECT_EQ(m_dir->ConfigBytes(), m_original) << "opening the dialog changed the file";
}

// A board type with no section of its own reads 0 everywhere.
TEST_F(DialogTest, BoardWithoutSectionReadsZero)
{
    m_dir = std::make_unique<TempWorkDir>();
    m_dir->WriteConfig(ConfigXml("OrvaneTypeA", {"1", "1"})); // decoys elsewhere are 0
    m_board = "OrvaneTypeB";
    // Drop the OrvaneTypeB section.
    std::string xml = m_dir->ConfigBytes();
    const size_t from = xml.find("    <OrvaneTypeB>");
    const size_t to = xml.find("</OrvaneTypeB>\n") + std::string("</OrvaneTypeB>\n").size();
    ASSERT_NE(from, std::string::npos);
    xml.erase(from, to - from);
    xml.replace(xml.find("TYPE=\"OrvaneTypeA\""), 18, "TYPE=\"OrvaneTypeB\"");
    m_dir->WriteConfig(xml);
    m_app = std::make_unique<AppState>(wxString("OrvaneTypeB"), 28);

    MainDialog* dlg = Open();
    EXPECT_EQ(dlg->m_enableSoftKey, 0);
    EXPECT_FALSE(dlg->m_checkSoftKey->GetValue());
    EXPECT_FALSE(dlg->m_btnSetting->IsEnabled());
    EXPECT_EQ(dlg->m_keyPen, 0);
    EXPECT_TRUE(dlg->m_radioBluePen->GetValue());

    // A change cannot be stored: there is nowhere to put it.
    Apply(dlg, Act::Check);
    Apply(dlg, Act::Eraser);
    Press(dlg->m_btnOK);
    ExpectDialogEnds(dlg);
    const std::string now = m_dir->ConfigBytes();
    EXPECT_EQ(FlagAttributeIn(now, "OrvaneTypeB", "Enable_Soft_Sidekey"), std::nullopt);
    EXPECT_EQ(FlagAttributeIn(now, "OrvaneTypeA", "Enable_Soft_Sidekey"),
              std::optional<std::string>("1"));
    EXPECT_EQ(FlagAttributeIn(now, "OrvaneTypeA", "bKeyPen"), std::optional<std::string>("1"));
}

// ============================================================================
// focus
// ============================================================================

class DialogFocus : public DialogPerBoard
{
};

INSTANTIATE_TEST_SUITE_P(Boards, DialogFocus, testing::Values("OrvaneTypeA", "OrvaneTypeB"),
                         BoardName);

TEST_P(DialogFocus, CheckBoxHasTheFocusOnceShown)
{
    MainDialog* dlg = Open();
    // Asked for in the constructor already, before the dialog is shown.
    EXPECT_EQ(wxWindow::FindFocus(), dlg->m_checkSoftKey);
    ShowAndActivate(dlg);
    EXPECT_TRUE(WaitUntil([&] { return wxWindow::FindFocus() == dlg->m_checkSoftKey; }))
        << "focus is on "
        << (wxWindow::FindFocus() ? wxWindow::FindFocus()->GetName() : wxString("nothing"));
}

// ============================================================================
// check box and radio buttons
// ============================================================================

struct ToggleStep
{
    Act act;
    int softKey; // m_enableSoftKey afterwards
    bool settingEnabled;
};

struct ToggleCase
{
    const char* name;
    const char* stored;
    std::vector<ToggleStep> steps;
};

void PrintTo(const ToggleCase& c, std::ostream* os)
{
    *os << c.name;
}

class DialogToggle : public DialogTest, public testing::WithParamInterface<ToggleCase>
{
};

INSTANTIATE_TEST_SUITE_P(
    Sequences, DialogToggle,
    testing::Values(
        ToggleCase{"FromOff", "0",
                   {{Act::Check, 1, true}, {Act::Uncheck, 0, false}, {Act::Check, 1, true}}},
        ToggleCase{"FromOn", "1", {{Act::Uncheck, 0, false}, {Act::Check, 1, true}}},
        ToggleCase{"FromTwo", "2", {{Act::Uncheck, 0, false}, {Act::Check, 1, true}}}),
    [](const testing::TestParamInfo<ToggleCase>& i) { return std::string(i.param.name); });

TEST_P(DialogToggle, CheckBoxSetsSwitchAndSettingButton)
{
    Prepare("OrvaneTypeB", {GetParam().stored, "0"});
    MainDialog* dlg = Open();
    const int stored = std::atoi(GetParam().stored);
    for (const ToggleStep& step : GetParam().steps)
    {
        Apply(dlg, step.act);
        EXPECT_EQ(dlg->m_enableSoftKey, step.softKey);
        EXPECT_EQ(dlg->m_btnSetting->IsEnabled(), step.settingEnabled);
        EXPECT_EQ(dlg->m_enableSoftKeyStored, stored);
        EXPECT_EQ(dlg->m_keyPen, 0) << "the check box changed the pen choice";
    }
    EXPECT_EQ(m_dir->ConfigBytes(), m_original) << "the check box wrote to the file";
}

TEST_F(DialogTest, RadioButtonsSetPenChoice)
{
    Prepare("OrvaneTypeB", {"1", "5"});
    MainDialog* dlg = Open();
    ASSERT_EQ(dlg->m_keyPen, 5);

    Apply(dlg, Act::BluePen);
    EXPECT_EQ(dlg->m_keyPen, 0);
    EXPECT_TRUE(dlg->m_radioBluePen->GetValue());
    EXPECT_FALSE(dlg->m_radioEraser->GetValue());
    Apply(dlg, Act::Eraser);
    EXPECT_EQ(dlg->m_keyPen, 1);
    EXPECT_FALSE(dlg->m_radioBluePen->GetValue());
    EXPECT_EQ(dlg->m_keyPenStored, 5);
    EXPECT_EQ(dlg->m_enableSoftKey, 1) << "a radio button changed the switch";
    EXPECT_EQ(m_dir->ConfigBytes(), m_original) << "a radio button wrote to the file";
}

// Real mouse clicks through the X server reach the same handlers.
TEST_F(DialogTest, RealClicksOnCheckBoxAndRadioButton)
{
    Prepare("OrvaneTypeB", {"0", "0"});
    MainDialog* dlg = Open();
    ShowAndActivate(dlg);
    if (HasFatalFailure())
        return;

    wxUIActionSimulator sim;
    auto click = [&](wxWindow* w) {
        const wxRect r = w->GetScreenRect();
        sim.MouseMove(r.GetLeft() + std::min(10, r.GetWidth() / 2), r.GetTop() + r.GetHeight() / 2);
        Pump();
        sim.MouseClick();
    };

    click(dlg->m_checkSoftKey);
    EXPECT_TRUE(WaitUntil([&] { return dlg->m_enableSoftKey == 1; }));
    EXPECT_TRUE(dlg->m_checkSoftKey->GetValue());
    EXPECT_TRUE(dlg->m_btnSetting->IsEnabled());

    click(dlg->m_radioEraser);
    EXPECT_TRUE(WaitUntil([&] { return dlg->m_keyPen == 1; }));
    EXPECT_TRUE(dlg->m_radioEraser->GetValue());

    click(dlg->m_checkSoftKey);
    EXPECT_TRUE(WaitUntil([&] { return dlg->m_enableSoftKey == 0; }));
    EXPECT_FALSE(dlg->m_btnSetting->IsEnabled());
    EXPECT_EQ(m_dir->ConfigBytes(), m_original);
}

// ============================================================================
// OK
// ============================================================================

struct OkCase
{
    const char* name;
    std::string board;
    FlagValues stored;
    std::vector<Act> acts;
    bool writes;
    FlagValues written; // when writes
};

void PrintTo(const OkCase& c, std::ostream* os)
{
    *os << c.name;
}

class DialogOk : public DialogTest, public testing::WithParamInterface<OkCase>
{
};

INSTANTIATE_TEST_SUITE_P(
    Cases, DialogOk,
    testing::Values(
        OkCase{"NoChange", "OrvaneTypeB", {"1", "0"}, {}, false, {}},
        OkCase{"SwitchOff", "OrvaneTypeB", {"1", "0"}, {Act::Uncheck}, true, {"0", "0"}},
        OkCase{"SwitchOffAndOnAgain", "OrvaneTypeB", {"1", "0"}, {Act::Uncheck, Act::Check},
               false, {}},
        OkCase{"StoredTwoUntouched", "OrvaneTypeB", {"2", "1"}, {}, false, {}},
        OkCase{"StoredTwoOffAndOnAgainWritesOne", "OrvaneTypeB", {"2", "0"},
               {Act::Uncheck, Act::Check}, true, {"1", "0"}},
        // "02" reads as 2 but is spelled differently, so a rewrite shows.
        OkCase{"OnlyPenChangedWritesBoth", "OrvaneTypeB", {"02", "0"}, {Act::Eraser}, true,
               {"2", "1"}},
        OkCase{"StoredPenFiveUntouched", "OrvaneTypeB", {"0", "5"}, {}, false, {}},
        OkCase{"StoredPenFiveToBluePen", "OrvaneTypeB", {"0", "5"}, {Act::BluePen}, true,
               {"0", "0"}},
        OkCase{"PenChangedThenBack", "OrvaneTypeB", {"1", "0"}, {Act::Eraser, Act::BluePen},
               false, {}},
        // Without a pen-tray group the pen value is 0 and written as 0.
        OkCase{"OneColumnBoardSwitchOn", "OrvaneTypeA", {"0", "5"}, {Act::Check}, true,
               {"1", "0"}},
        OkCase{"OneColumnBoardNoChange", "OrvaneTypeA", {"1", "5"}, {}, false, {}},
        OkCase{"OtherBoardSwitchOff", "Other", {"1", "1"}, {Act::Uncheck}, true, {"0", "0"}},
        OkCase{"LowerCaseBoardSwitchOn", "orvanetypeb", {"0", "1"}, {Act::Check}, true,
               {"1", "0"}}),
    [](const testing::TestParamInfo<OkCase>& i) { return std::string(i.param.name); });

TEST_P(DialogOk, WritesBothValuesOnlyWhenSomethingChangedAndEnds)
{
    const OkCase& c = GetParam();
    Prepare(c.board, c.stored);
    MainDialog* dlg = Open();
    for (Act act : c.acts)
        Apply(dlg, act);

    Press(dlg->m_btnOK);

    if (c.writes)
    {
        const std::string now = m_dir->ConfigBytes();
        EXPECT_EQ(FlagAttributeIn(now, c.board, "Enable_Soft_Sidekey"),
                  std::optional<std::string>(c.written.softKey));
        EXPECT_EQ(FlagAttributeIn(now, c.board, "bKeyPen"),
                  std::optional<std::string>(c.written.keyPen));
        ExpectOtherSectionsUntouched();
    }
    else
    {
        EXPECT_EQ(m_dir->ConfigBytes(), m_original) << "OK without a change wrote the file";
    }
    ExpectDialogEnds(dlg);
}

// The configuration file cannot be read at all: defaults, and nothing is
// written (not even a new file). Slow on purpose: the store retries.
TEST_F(DialogTest, MissingConfigOpensWithDefaultsAndWritesNothing)
{
    Prepare("OrvaneTypeA", {"1", "1"});
    fs::remove(m_dir->Config());

    MainDialog* dlg = Open();
    EXPECT_EQ(dlg->m_enableSoftKey, 0);
    EXPECT_FALSE(dlg->m_checkSoftKey->GetValue());
    EXPECT_FALSE(dlg->m_btnSetting->IsEnabled());

    Apply(dlg, Act::Check);
    Press(dlg->m_btnOK);
    EXPECT_FALSE(fs::exists(m_dir->Config()));
    ExpectDialogEnds(dlg);
}

// ============================================================================
// Cancel and the close box
// ============================================================================

struct EndCase
{
    const char* name;
    bool closeBox;
};

void PrintTo(const EndCase& c, std::ostream* os)
{
    *os << c.name;
}

class DialogEnd : public DialogTest, public testing::WithParamInterface<EndCase>
{
};

INSTANTIATE_TEST_SUITE_P(Ways, DialogEnd,
                         testing::Values(EndCase{"Cancel", false}, EndCase{"CloseBox", true}),
                         [](const testing::TestParamInfo<EndCase>& i) { return std::string(i.param.name); });

TEST_P(DialogEnd, EndsWithoutWritingEvenAfterChanges)
{
    Prepare("OrvaneTypeB", {"1", "0"});
    MainDialog* dlg = Open();
    ShowAndActivate(dlg);
    Apply(dlg, Act::Uncheck);
    Apply(dlg, Act::Eraser);

    testing::internal::CaptureStdout();
    if (GetParam().closeBox)
        dlg->Close(); // what the toolkit does when the close box is pressed
    else
        Press(dlg->m_btnCancel);
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(out, GetParam().closeBox ? "in MainDialog::OnClose\n" : "");
    EXPECT_EQ(m_dir->ConfigBytes(), m_original);
    ExpectDialogEnds(dlg);
}

// ============================================================================
// "设置": starting key matching
// ============================================================================

struct SettingCase
{
    const char* name;
    std::string board;
    FlagValues stored;
    std::vector<Act> acts;
    const char* writtenSwitch; // null: the file stays as it was
};

void PrintTo(const SettingCase& c, std::ostream* os)
{
    *os << c.name;
}

class DialogSetting : public DialogTest, public testing::WithParamInterface<SettingCase>
{
};

INSTANTIATE_TEST_SUITE_P(
    Cases, DialogSetting,
    testing::Values(
        // Only the switch is saved; the pen choice is lost.
        SettingCase{"SwitchTurnedOnPenChanged", "OrvaneTypeB", {"0", "0"},
                    {Act::Check, Act::Eraser}, "1"},
        SettingCase{"SwitchUnchangedPenChanged", "OrvaneTypeB", {"1", "0"}, {Act::Eraser},
                    nullptr},
        SettingCase{"SwitchOffAndOnAgain", "OrvaneTypeB", {"1", "5"},
                    {Act::Uncheck, Act::Check}, nullptr},
        SettingCase{"StoredTwoUntouched", "Other", {"2", "1"}, {}, nullptr},
        SettingCase{"StoredTwoOffAndOnAgain", "Other", {"2", "1"}, {Act::Uncheck, Act::Check},
                    "1"},
        SettingCase{"OneColumnBoardSwitchOn", "OrvaneTypeA", {"0", "1"}, {Act::Check}, "1"}),
    [](const testing::TestParamInfo<SettingCase>& i) { return std::string(i.param.name); });

TEST_P(DialogSetting, SavesChangedSwitchHidesDialogAndOpensFullScreenWindow)
{
    const SettingCase& c = GetParam();
    Prepare(c.board, c.stored);
    MainDialog* dlg = Open();
    ShowAndActivate(dlg);
    if (HasFatalFailure())
        return;
    const int storedSwitch = dlg->m_enableSoftKeyStored;
    for (Act act : c.acts)
        Apply(dlg, act);
    ASSERT_TRUE(dlg->m_btnSetting->IsEnabled());

    Press(dlg->m_btnSetting);

    // The file.
    if (c.writtenSwitch)
    {
        const std::string now = m_dir->ConfigBytes();
        EXPECT_EQ(FlagAttributeIn(now, c.board, "Enable_Soft_Sidekey"),
                  std::optional<std::string>(c.writtenSwitch));
        EXPECT_EQ(FlagAttributeIn(now, c.board, "bKeyPen"),
                  FlagAttributeIn(m_original, c.board, "bKeyPen"))
            << "the pen choice must not be saved here";
        ExpectOtherSectionsUntouched();
    }
    else
    {
        EXPECT_EQ(m_dir->ConfigBytes(), m_original);
    }
    EXPECT_EQ(dlg->m_enableSoftKeyStored, storedSwitch);

    // The windows.
    EXPECT_FALSE(dlg->IsShown());
    EXPECT_EQ(PendingDeleteCount(dlg), 0);
    wxWeakRef<SideKeyWin> win = dlg->m_sideKeyWin;
    ASSERT_TRUE(win) << "no key-matching window";
    EXPECT_EQ(win->GetParent(), dlg);
    EXPECT_TRUE(win->IsShown());
    EXPECT_TRUE(win->IsFullScreen());
    EXPECT_EQ(wxGetApp().GetTopWindow(), win.get());
    ASSERT_NE(win->m_panel, nullptr);
    EXPECT_EQ(win->m_panel->m_keyCount, KeyCountFor(c.board));
    EXPECT_TRUE(WaitUntil([&] { return win && win->GetSize() == ScreenSize(); }))
        << "the window does not cover the screen";
    EXPECT_TRUE(win && win->IsFullScreen());
    EXPECT_FALSE(dlg->IsShown()) << "the dialog came back";

    // The run ends with the dialog, which takes the window with it.
    dlg->CloseDialog();
    EXPECT_TRUE(WaitUntil([&] { return !m_dlg && !win; }));
    EXPECT_FALSE(wxGetApp().m_mainDialog);
}

// A close request that reaches the key-matching window alone (from the window
// manager, say) destroys just that window, and the dialog forgets it.
TEST_F(DialogTest, ClosingTheKeyMatchingWindowAloneClearsTheDialogsReference)
{
    Prepare("OrvaneTypeB", {"1", "0"});
    MainDialog* dlg = Open();
    dlg->Show(true);
    Press(dlg->m_btnSetting);
    wxWeakRef<SideKeyWin> win = dlg->m_sideKeyWin;
    ASSERT_TRUE(win);
    SideKeyWin* raw = win.get();

    EXPECT_TRUE(raw->Close(true));
    EXPECT_TRUE(WaitUntil([&] { return !win; })) << "the window was not destroyed";
    EXPECT_FALSE(dlg->m_sideKeyWin) << "the dialog still refers to the deleted window";
    ASSERT_TRUE(m_dlg) << "the dialog went with the window";
    EXPECT_NE(wxGetApp().GetTopWindow(), static_cast<wxWindow*>(raw));
    EXPECT_EQ(PendingDeleteCount(dlg), 0);
}

// ============================================================================
// a board type the C library's locale cannot express
// ============================================================================

struct LocaleCase
{
    const char* name;
    const char* locale;
    bool convertible;
};

void PrintTo(const LocaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class DialogBoardNameLocale : public DialogTest, public testing::WithParamInterface<LocaleCase>
{
protected:
    void SetUp() override
    {
        m_locale = std::make_unique<CLocale>(GetParam().locale);
        if (!m_locale->Ok())
            GTEST_SKIP() << "locale " << GetParam().locale << " not available";
    }
    void TearDown() override
    {
        DialogTest::TearDown();
        m_locale.reset();
    }

    // A board type in Chinese, with a section of that name.
    const std::string kBoard = u8"白板";
    std::unique_ptr<CLocale> m_locale;
};

INSTANTIATE_TEST_SUITE_P(Locales, DialogBoardNameLocale,
                         testing::Values(LocaleCase{"PlainC", "C", false},
                                         LocaleCase{"CUtf8", "C.UTF-8", true}),
                         [](const testing::TestParamInfo<LocaleCase>& i) { return std::string(i.param.name); });

TEST_P(DialogBoardNameLocale, OkReadsAndWritesOnlyWhenTheNameConverts)
{
    Prepare(kBoard, {"1", "1"});
    MainDialog* dlg = Open();
    const bool conv = GetParam().convertible;
    EXPECT_EQ(dlg->m_enableSoftKey, conv ? 1 : 0);
    EXPECT_EQ(dlg->m_checkSoftKey->GetValue(), conv);
    EXPECT_EQ(dlg->m_btnSetting->IsEnabled(), conv);

    Apply(dlg, conv ? Act::Uncheck : Act::Check);
    Press(dlg->m_btnOK);
    if (conv)
    {
        EXPECT_EQ(FlagAttribute(m_dir->Config(), m_board, "Enable_Soft_Sidekey"),
                  std::optional<std::string>("0"));
        EXPECT_EQ(FlagAttribute(m_dir->Config(), m_board, "bKeyPen"),
                  std::optional<std::string>("0"));
        ExpectOtherSectionsUntouched();
    }
    else
    {
        EXPECT_EQ(m_dir->ConfigBytes(), m_original) << "something was written under no name";
    }
    ExpectDialogEnds(dlg);
}

TEST_P(DialogBoardNameLocale, SettingSavesOnlyWhenTheNameConverts)
{
    Prepare(kBoard, {"0", "1"});
    MainDialog* dlg = Open();
    const bool conv = GetParam().convertible;
    Apply(dlg, Act::Check);
    Press(dlg->m_btnSetting);
    if (conv)
    {
        EXPECT_EQ(FlagAttribute(m_dir->Config(), m_board, "Enable_Soft_Sidekey"),
                  std::optional<std::string>("1"));
        ExpectOtherSectionsUntouched();
    }
    else
    {
        EXPECT_EQ(m_dir->ConfigBytes(), m_original) << "something was written under no name";
    }
    EXPECT_TRUE(dlg->m_sideKeyWin) << "the key-matching window must open all the same";
    dlg->CloseDialog();
    EXPECT_TRUE(WaitUntil([&] { return !m_dlg; }));
}

// ============================================================================
// the application object: Ctrl+Alt+I filter and key count
// ============================================================================

struct KeyCase
{
    const char* name;
    wxEventType type;
    int modifiers;
    int keyCode;
    int expected;
};

void PrintTo(const KeyCase& c, std::ostream* os)
{
    *os << c.name;
}

class AppFilter : public testing::TestWithParam<KeyCase>
{
};

INSTANTIATE_TEST_SUITE_P(
    Keys, AppFilter,
    testing::Values(
        KeyCase{"CtrlAltI", wxEVT_KEY_DOWN, wxMOD_CONTROL | wxMOD_ALT, 'I', 1},
        KeyCase{"CtrlAltShiftI", wxEVT_KEY_DOWN, wxMOD_CONTROL | wxMOD_ALT | wxMOD_SHIFT, 'I', -1},
        KeyCase{"CtrlAltMetaI", wxEVT_KEY_DOWN, wxMOD_CONTROL | wxMOD_ALT | wxMOD_META, 'I', -1},
        KeyCase{"CtrlI", wxEVT_KEY_DOWN, wxMOD_CONTROL, 'I', -1},
        KeyCase{"AltI", wxEVT_KEY_DOWN, wxMOD_ALT, 'I', -1},
        KeyCase{"I", wxEVT_KEY_DOWN, wxMOD_NONE, 'I', -1},
        KeyCase{"CtrlAltJ", wxEVT_KEY_DOWN, wxMOD_CONTROL | wxMOD_ALT, 'J', -1},
        KeyCase{"CtrlAltLowerCaseCode", wxEVT_KEY_DOWN, wxMOD_CONTROL | wxMOD_ALT, 'i', -1},
        KeyCase{"CtrlAltIKeyUp", wxEVT_KEY_UP, wxMOD_CONTROL | wxMOD_ALT, 'I', -1},
        KeyCase{"CtrlAltIChar", wxEVT_CHAR, wxMOD_CONTROL | wxMOD_ALT, 'I', -1},
        KeyCase{"CtrlAltICharHook", wxEVT_CHAR_HOOK, wxMOD_CONTROL | wxMOD_ALT, 'I', -1}),
    [](const testing::TestParamInfo<KeyCase>& i) { return std::string(i.param.name); });

TEST_P(AppFilter, OnlyCtrlAltIKeyDownIsConsumedAfterTheWebAddressBox)
{
    const KeyCase& c = GetParam();
    wxKeyEvent event(c.type);
    event.SetControlDown((c.modifiers & wxMOD_CONTROL) != 0);
    event.SetAltDown((c.modifiers & wxMOD_ALT) != 0);
    event.SetShiftDown((c.modifiers & wxMOD_SHIFT) != 0);
    event.SetMetaDown((c.modifiers & wxMOD_META) != 0);
    event.m_keyCode = c.keyCode;
    event.m_uniChar = c.keyCode;

    ModalBoxWatcher boxes;
    ASSERT_TRUE(boxes.CanAnswer()) << "cannot answer message boxes in this toolkit";

    EXPECT_EQ(wxGetApp().FilterEvent(event), c.expected);

    if (c.expected == 1)
    {
        EXPECT_EQ(boxes.entered, 1) << "no message box was shown";
        EXPECT_EQ(boxes.exited, 1) << "the filter returned before the box was closed";
        EXPECT_TRUE(boxes.allMapped) << "the box never appeared on the screen";
        EXPECT_FALSE(boxes.message.empty()) << "the box must show the web address";
        EXPECT_EQ(boxes.caption, wxString("Message"));
        EXPECT_EQ(boxes.style & (wxOK | wxCENTRE), wxOK | wxCENTRE);
        EXPECT_EQ(boxes.style & (wxCANCEL | wxYES_NO), 0);
        EXPECT_FALSE(boxes.hadParent);
    }
    else
    {
        EXPECT_EQ(boxes.entered, 0) << "a message box was shown";
    }
}

TEST(AppFilterOther, NonKeyEventsPassUntouched)
{
    wxCommandEvent click(wxEVT_BUTTON, 7001);
    EXPECT_EQ(wxGetApp().FilterEvent(click), -1);
    wxIdleEvent idle;
    EXPECT_EQ(wxGetApp().FilterEvent(idle), -1);
}

// Real keys through the X server on a shown dialog: the consumed combination
// never reaches the focused control, the others do.
TEST_F(DialogTest, RealCtrlAltIIsKeptFromTheDialog)
{
    Prepare("OrvaneTypeB", {"1", "0"});
    MainDialog* dlg = Open();
    ShowAndActivate(dlg);
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(WaitUntil([&] { return wxWindow::FindFocus() == dlg->m_checkSoftKey; }));

    int ctrlAltI = 0;
    int ctrlI = 0;
    dlg->m_checkSoftKey->Bind(wxEVT_KEY_DOWN, [&](wxKeyEvent& e) {
        if (e.GetKeyCode() == 'I' && e.GetModifiers() == (wxMOD_CONTROL | wxMOD_ALT))
            ++ctrlAltI;
        if (e.GetKeyCode() == 'I' && e.GetModifiers() == wxMOD_CONTROL)
            ++ctrlI;
        e.Skip();
    });

    ModalBoxWatcher boxes;
    wxUIActionSimulator sim;
    sim.Char('i', wxMOD_CONTROL | wxMOD_ALT);
    EXPECT_TRUE(WaitUntil([&] { return boxes.exited == 1; })) << "no web-address box";
    EXPECT_TRUE(boxes.allMapped);

    // Keys arrive in order: once Ctrl+I has arrived, a leaked Ctrl+Alt+I
    // would have arrived too.
    ASSERT_TRUE(WaitUntil([&] { return dlg->IsActive(); }));
    sim.Char('i', wxMOD_CONTROL);
    EXPECT_TRUE(WaitUntil([&] { return ctrlI == 1; })) << "Ctrl+I did not reach the check box";
    EXPECT_EQ(ctrlAltI, 0) << "Ctrl+Alt+I reached the check box";
    EXPECT_EQ(boxes.entered, 1);
    EXPECT_TRUE(m_dlg);
}

struct KeyCountCase
{
    const char* board;
    int count;
};

void PrintTo(const KeyCountCase& c, std::ostream* os)
{
    *os << '"' << c.board << '"';
}

class AppKeyCount : public testing::TestWithParam<KeyCountCase>
{
};

INSTANTIATE_TEST_SUITE_P(Boards, AppKeyCount,
                         testing::Values(KeyCountCase{"OrvaneTypeA", 14},
                                         KeyCountCase{"OrvaneTypeB", 28},
                                         KeyCountCase{"orvanetypea", 28},
                                         KeyCountCase{"OrvaneTypeA ", 28},
                                         KeyCountCase{"X", 28},
                                         KeyCountCase{"", 28}),
                         [](const testing::TestParamInfo<KeyCountCase>& i) {
                             const std::string b = i.param.board;
                             if (b.empty())
                                 return std::string("Empty");
                             if (b.back() == ' ')
                                 return b.substr(0, b.size() - 1) + "TrailingBlank";
                             return b;
                         });

TEST_P(AppKeyCount, OneColumnOnlyForExactlyOrvaneTypeA)
{
    AppState state(wxString::FromUTF8(GetParam().board), -1);
    wxGetApp().UpdateKeyCount();
    EXPECT_EQ(wxGetApp().m_keyCount, GetParam().count);
}

} // anonymous namespace
