// The wait cursor.
#include "services/wait_cursor.h"

static HCURSOR savedCursor; // the cursor the hourglass replaced; 0 while none is shown

void BeginWaitCursor()
{
    if (savedCursor)
        return;
    savedCursor = SetCursor(LoadCursorA(0, (LPCSTR)IDC_WAIT));
}

HCURSOR EndWaitCursor()
{
    HCURSOR replaced = savedCursor;
    if (replaced)
    {
        SetCursor(replaced);
        savedCursor = 0;
    }
    return replaced;
}
