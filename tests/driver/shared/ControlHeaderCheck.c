/* The control interface header must compile as C, as a kernel build and other clients use it. */
#include "driver/shared/ObxControl.h"

int obxControlHeaderCheck(void);

int obxControlHeaderCheck(void) {
    OBX_BUTTON_MAP map = {0};
    static const OBX_GUID guid = OBX_GUID_DEVINTERFACE_OBX_CONTROL_INIT;
    map.Entries[0].Data.Action.Action = OBX_ACTION_SCROLL_MODE;
    return (int)(map.Entries[0].Kind + guid.Data4[0] - 0x83);
}
