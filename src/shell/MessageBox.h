#pragma once
// The one routine through which the logger speaks to the user. Kind 0 "Information", 1 "Warning",
// 2 "Error"; any other kind is shown as information. Callable from any thread: a worker waits
// until the user has dismissed the box, or until shutdown abandons the call.

#include <QString>
#include <cstdint>

namespace vireon {

// Formats with printf rules into at most 127 characters; returns the box's result.
int ShowMessageBox(int16_t kind, const char* format, ...) __attribute__((format(printf, 2, 3)));

QString MessageBoxCaption(int16_t kind);

// At shutdown: workers waiting for a box return at once; boxes not yet shown are dropped.
// A test that closed a window switches it off again.
void AbandonMessageBoxes(bool abandon = true);

}  // namespace vireon
