#pragma once

#include <QIcon>
#include <QImage>
#include <QString>
#include <QStringList>

#include "ui/application.h"
#include "ui/file_order.h"

class QDialog;
class QWidget;

namespace ombrilo {

struct FractalState;
struct Palette;
struct ReadFlags;
class ImageView;

// Size of the browsers' previews.
inline constexpr int kPreviewWidth = 145;
inline constexpr int kPreviewHeight = 105;

// The note shown instead of a preview when a folder holds no files.
inline constexpr const char* kNoFilesNote = "            ( Нет )";
inline constexpr const char* kUnknownTypeNote = "Неизвестный тип.";

// The row a file stands for: its name up to the first "." (leading dots skipped).
QString RowOfFileName(const QString& fileName);

// The rows of the entries of folder that match pattern (directories and hidden entries
// included, letter case respected), sorted by file name ignoring case so that the order is the
// same from one opening to the next. A missing folder gives no rows.
QStringList ListRows(const QString& folder, const QString& pattern);

// A typed name is put between the folder and the extension unchanged; a path separator or a
// NUL would make it name something outside the folder, so such names are refused.
bool IsUnsafeFileName(const QString& name);
void WarnUnsafeFileName(QWidget* parent);

// Names a control and puts it at its place in its parent.
template <typename Widget>
Widget* PutControl(Widget* widget, const char* name, int left, int top, int width, int height) {
    if (name != nullptr) {
        widget->setObjectName(QString::fromLatin1(name));
    }
    widget->setGeometry(left, top, width, height);
    return widget;
}

// A browser's caption left of its edit, ending where the edit starts.
void BrowserCaption(QWidget* parent, const char* text, const char* name, int top);

// The picture of the "delete file" command: the style's waste bin, or the close picture.
QIcon DeleteFileIcon();

// Places a browser: centred on the screen 30 pixels above the middle while the full-screen view
// is shown, otherwise over the main view (mainView, inside the main window) at three tenths of
// the spare height.
void PlaceBrowser(QDialog& browser, const QWidget& main, const QRect& mainView,
                  bool overFullScreen);
// Centres a small dialog on the main window.
void CenterOnMainWindow(QDialog& dialog, const QWidget& main);

// The browsers' small fixed layouts are drawn for a font of 11 pixels.
void UseDialogFont(QWidget& window);

// Draws the state into the preview bitmap and shows it in the target.
void RenderPreview(const FractalState& state, QImage& bitmap, ImageView* target);

// Reads the fractal at path into the state (its palette too when loadPalette is on) and takes
// the outcome into flags; shows the reading message over parent and returns false when the file
// cannot be read.
bool ReadFractalAtPath(QWidget* parent, const QString& path, FractalState& state, bool loadPalette,
                       ReadFlags& flags);
// The fractal kept inside the PNG picture at path, read like a fractal file; a picture without
// a sound fractal record gets its message and changes nothing.
bool ReadPictureFractalAtPath(QWidget* parent, const QString& path, FractalState& state,
                              bool loadPalette, ReadFlags& flags);
// Reads the palette at path into the state; PaletteAccepted tells whether its type is known.
bool ReadPaletteAtPath(QWidget* parent, const QString& path, FractalState& state, ReadFlags& flags);
// Writes the state (the palette) to path; shows the writing message on failure.
bool WriteFractalAtPath(QWidget* parent, const QString& path, const FractalState& state);
bool WritePaletteAtPath(QWidget* parent, const QString& path, const Palette& palette);

// Shows the application-starting cursor for its lifetime.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace ombrilo
