#pragma once

class QWidget;

namespace ombrilo {

// Gives a widget the name a screen reader reads for it, unless it has one: the program's short
// name for the control, else its hint shortened to the first clause. Buttons with a caption
// keep the caption as their name.
void NameForScreenReaders(QWidget* widget);

// Names every widget of every window of the application as it is polished, just before it is
// first shown.
void InstallAccessibleNames();

}  // namespace ombrilo
