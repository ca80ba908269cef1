#include "ui/icons.h"

#include <wx/defs.h>

#include "res/icons/kavro.xpm"
#include "res/icons/tb_about.xpm"
#include "res/icons/tb_connect.xpm"
#include "res/icons/tb_disconnect.xpm"
#include "res/icons/tb_download.xpm"
#include "res/icons/tb_new.xpm"
#include "res/icons/tb_open.xpm"
#include "res/icons/tb_reset.xpm"
#include "res/icons/tb_save.xpm"
#include "ui/commands.h"

wxBitmap ToolBarImage(int commandId) {
    switch (commandId) {
        case wxID_NEW: return wxBitmap(tb_new_xpm);
        case wxID_OPEN: return wxBitmap(tb_open_xpm);
        case wxID_SAVE: return wxBitmap(tb_save_xpm);
        case CMD_DEVICE_CONNECT: return wxBitmap(tb_connect_xpm);
        case CMD_DEVICE_DOWNLOAD: return wxBitmap(tb_download_xpm);
        case CMD_DEVICE_RESET: return wxBitmap(tb_reset_xpm);
        case CMD_DEVICE_DISCONNECT: return wxBitmap(tb_disconnect_xpm);
        case CMD_APP_ABOUT: return wxBitmap(tb_about_xpm);
        default: return wxBitmap();
    }
}

wxIcon AppIcon() { return wxIcon(kavro_xpm); }
wxBitmap AppIconBitmap() { return wxBitmap(kavro_xpm); }
