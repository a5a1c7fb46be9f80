// Built only by the layers test, which expects it not to find its include:
// the window-neutral ui/ stands below the windows of ui/win32/.
#include "ui/win32/Controls.h"
