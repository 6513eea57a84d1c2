#pragma once

#include <QString>

namespace ombrilo {

// The start folder of a program started from the desktop's menu: $XDG_DATA_HOME/ombrilo, or
// ~/.local/share/ombrilo when XDG_DATA_HOME is unset, empty or not an absolute path.
QString UserFolderPath();

// The gallery installed with the program (fractals/, paletts/, Description.rtf).
QString InstalledGalleryFolder();

// Creates folder when it is missing and, the first time, copies the gallery into it; files the
// user already has there are never replaced. A note in the folder records that the copy was
// made, so files the user deletes later do not come back. Returns an empty text on success,
// otherwise the message for the user.
QString PrepareUserFolder(const QString& folder, const QString& gallery);

// Prepares the user's folder and makes it the current folder; on failure shows the message
// and returns false.
bool EnterUserFolder(const QString& gallery = InstalledGalleryFolder());

}  // namespace ombrilo
