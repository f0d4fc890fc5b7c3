// The window program: `velmar [FILE]` opens the main window, with FILE in its path edit.

#include "app/wx_main_app.h"

wxIMPLEMENT_APP(velmar::app::MainApp);
