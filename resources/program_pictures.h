#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

#include "resources/picture_catalog.h"

// The program's own pictures, compiled into the program from resources/resources.qrc: the
// pictures of the tool buttons and the animation buttons, the menu icons, the mouse cursors and
// the application icon (ids, file names, sizes and hot spots: picture_catalog.h). A picture that
// cannot be had (an unknown id or index, a damaged resource) comes back null and a cursor falls
// back to the arrow; nothing here throws.
namespace ombrilo {

// Makes the files reachable under ":/" (ResourcePath). Every function below does it itself;
// code that opens the files directly calls it first.
void RegisterProgramPictures();

// The cursor made from its 1-bit bitmap and mask with its hot spot. An unknown cursor, or a
// resource that is missing, not 32 x 32 or not black and white, gives the arrow cursor and a
// warning on stderr.
QCursor MakeProgramCursor(ProgramCursor cursor);

QPixmap ToolPixmap(ToolPictureId id);
QIcon ToolPicture(ToolPictureId id);

QPixmap AnimationPixmap(AnimationPictureId id);
QIcon AnimationPicture(AnimationPictureId id);

QPixmap MenuPixmap(int index);
QIcon MenuIcon(int index);  // a null icon outside 0..5
QIcon MenuIcon(MenuIconId id);

QPixmap ApplicationPixmap(int side);  // 32 or 64; a null pixmap for any other side
QIcon ApplicationIcon();              // holds both sizes

}  // namespace ombrilo
