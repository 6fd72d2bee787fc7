#pragma once
// Help > User Manual hands the PDF to the desktop's opener, xdg-open. Only its exit status says
// whether anything could show the file (Qt's desktop services report success once the opener
// starts), so a failure is told afterwards in an information box that names the file, for the
// user to open it another way.

#include <QString>

class QWidget;

namespace vireon {

// Starts opening the manual at path; returns at once. A box about a failure is shown over owner.
void OpenUserManual(QWidget* owner, const QString& path);

}  // namespace vireon
