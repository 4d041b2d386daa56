///////////////////////////////////////////////////////////////////////////////
// orvane-board-sim entry point. Exit status 1 when it cannot start (the port
// is taken, say), otherwise the toolkit's.
///////////////////////////////////////////////////////////////////////////////

#include "SimApp.h"

wxIMPLEMENT_APP_NO_MAIN(SimApp);

int main(int argc, char** argv)
{
    int status = wxEntry(argc, argv);
    return status == -1 ? 1 : status;
}
