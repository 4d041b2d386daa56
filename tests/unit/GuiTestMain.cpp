///////////////////////////////////////////////////////////////////////////////
// Entry point of the in-process window tests.
//
// The toolkit is initialised for real (GTK on the X server of scripts/with-x)
// and creates the program's own SideKeyApp, but OnInit is never called: it
// would connect to a board service. The tests set the application object's
// fields themselves and create the windows they need.
///////////////////////////////////////////////////////////////////////////////

#include "app/SideKeyApp.h"

#include <gtest/gtest.h>

#include <wx/init.h>
#include <wx/log.h>

#include <cstdio>

wxIMPLEMENT_APP_NO_MAIN(SideKeyApp);

int main(int argc, char** argv)
{
    // Google Test takes its own options out of argv first, so that the
    // toolkit never sees them.
    testing::InitGoogleTest(&argc, argv);

    if (!wxEntryStart(argc, argv))
    {
        std::fprintf(stderr, "cannot initialise the toolkit (is DISPLAY set?)\n");
        return 2;
    }

    // As in the program: the toolkit's own reports go to standard error
    // rather than into message boxes.
    delete wxLog::SetActiveTarget(new wxLogStderr);

    const int result = RUN_ALL_TESTS();

    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
