#include "shell/Globals.h"

namespace vireon {

TGPSShared* Gps = nullptr;
TEngine* Engine = nullptr;
TUSB* Usb = nullptr;
TRS232* Rs232 = nullptr;

TCom_Router* ComRouter = nullptr;
TMain_Router* MainRouter = nullptr;
TGPS_Router* GpsRouter = nullptr;
TR_Router* ReceiverRouters[2] = {nullptr, nullptr};
TLog_Router* LogRouter = nullptr;

TMain_Form* Main_Form = nullptr;
TAboutDlg* AboutDlg = nullptr;
TMapRange_Form* MapRange_Form = nullptr;
TCom_Form* Com_Form = nullptr;
TLogWarningForm* LogWarningForm = nullptr;

}  // namespace vireon
