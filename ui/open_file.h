#pragma once

#include <QString>

namespace ombrilo {

class TMainForm;

// The kinds of file the main window opens from the command line or from a file manager, told
// by the name's extension in any letter case.
enum class OpenableFile { Fractal, Palette, Picture, Unknown };

OpenableFile KindOfFile(const QString& path);

// Opens path in the main window as the open commands would: a fractal file as the fractal
// browser's "Открыть", a palette file as the palette browser's, a PNG picture this program
// exported by the fractal kept inside it. A file that cannot be read or
// is of another kind gets the program's message and leaves the window as it was. Waits for
// the frame being computed, as the commands may change the state only while the picture rests.
void OpenFileInMainWindow(TMainForm& main, const QString& path);

}  // namespace ombrilo
