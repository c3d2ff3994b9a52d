#pragma once

// Resource ids of the helper program, shared by AppResources.rc and the code
// (the resource compiler reads only macros).

#define OBX_APP_TITLE 103
#define OBX_ABOUT_DIALOG 103
#define OBX_ABOUT_COMMAND 104
#define OBX_EXIT_COMMAND 105
#define OBX_APP_ICON 107
#define OBX_APP_MENU 109
