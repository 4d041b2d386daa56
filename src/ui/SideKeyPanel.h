///////////////////////////////////////////////////////////////////////////////
// SideKeyPanel: the content of the key-matching screen.
//
// Shows the 14 shortcut icons in one column (14 positions) or twice in two
// columns (28 positions), highlights the one to press next and moves on with
// every AdvanceKey(). After the last position it closes the settings dialog.
///////////////////////////////////////////////////////////////////////////////

#ifndef SIDEKEY_UI_SIDEKEYPANEL_H
#define SIDEKEY_UI_SIDEKEYPANEL_H

#include <wx/bitmap.h>
#include <wx/panel.h>

class wxStaticBitmap;

class SideKeyPanel : public wxPanel
{
public:
    // Key positions: 0-13 the left column top to bottom, 14-27 the right one.
    static constexpr int MAX_KEYS = 28;
    static constexpr int ROWS = 14;
    static constexpr int ICON_SIZE = 35;

    struct KeyPoint
    {
        double x;
        double y;
    };

    // The style argument is not used: the panel's style is fixed.
    SideKeyPanel(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                 long style);
    virtual ~SideKeyPanel();

    // One matched key: the current position is done, the next one current.
    // After the last position, asks the settings dialog to close.
    void AdvanceKey();

    void ComputeKeyPositions();
    void LoadKeyBitmaps();

    // Anchor of a key position on a screen of the given size, in pixels.
    static KeyPoint KeyPosition(int position, int screenWidth, int screenHeight);
    // Top-left corner of the icon control drawn at that anchor.
    static wxPoint IconCorner(const KeyPoint& anchor);

    KeyPoint m_keyPos[MAX_KEYS];
    int m_current;
    int m_keyCount;
    wxStaticBitmap* m_keyIcons[MAX_KEYS];
    wxBitmap m_bmpNormal[MAX_KEYS];
    wxBitmap m_bmpCurrent[MAX_KEYS];
    wxBitmap m_bmpDone[MAX_KEYS];

private:
    void OnKeyDown(wxKeyEvent& event);
    void ShowIcon(int position, const wxBitmap& bitmap);

    wxDECLARE_EVENT_TABLE();
};

#endif // SIDEKEY_UI_SIDEKEYPANEL_H
