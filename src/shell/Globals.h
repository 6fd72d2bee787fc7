#pragma once
// The process-wide objects of the logger, one instance each, created at start-up and never
// released before the process ends. Touched only on the UI thread unless a comment says so;
// worker threads receive what they need through their constructors.

namespace vireon {

class TGPSShared;
class TEngine;
class TUSB;
class TRS232;
class TCom_Router;
class TMain_Router;
class TGPS_Router;
class TR_Router;
class TLog_Router;
class TMain_Form;
class TAboutDlg;
class TMapRange_Form;
class TCom_Form;
class TLogWarningForm;

extern TGPSShared* Gps;
extern TEngine* Engine;
extern TUSB* Usb;
extern TRS232* Rs232;

extern TCom_Router* ComRouter;
extern TMain_Router* MainRouter;
extern TGPS_Router* GpsRouter;
extern TR_Router* ReceiverRouters[2];
extern TLog_Router* LogRouter;  // null until logging first starts, then the latest writer

extern TMain_Form* Main_Form;
extern TAboutDlg* AboutDlg;
extern TMapRange_Form* MapRange_Form;
extern TCom_Form* Com_Form;
extern TLogWarningForm* LogWarningForm;

}  // namespace vireon
