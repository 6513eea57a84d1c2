#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

#include <array>

// Which pictures the program has, under which file names they are stored and their fixed sizes
// and hot spots. Nothing here reads a file, so the drawing tool that makes the pictures shares
// these names with the program that loads them (program_pictures.h).
namespace ombrilo {

// ---- Cursors -------------------------------------------------------------------------------

// The program's own mouse cursors, numbered as the main window registers them (1..7).
enum class ProgramCursor { Lupa = 1, Centr, Smoll, Koef, OpenHand, ToFrom, Slide };

inline constexpr std::array kProgramCursors{
    ProgramCursor::Lupa,     ProgramCursor::Centr,  ProgramCursor::Smoll, ProgramCursor::Koef,
    ProgramCursor::OpenHand, ProgramCursor::ToFrom, ProgramCursor::Slide};

inline constexpr int kCursorSide = 32;

namespace catalog {

struct CursorEntry {
    ProgramCursor cursor;
    const char* name;
    const char* file;  // without ".png"
    int hotX;
    int hotY;
};

inline constexpr std::array<CursorEntry, kProgramCursors.size()> kCursors{{
    {ProgramCursor::Lupa, "LUPA", "cursors/lupa", 8, 8},  // the centre of the lens
    {ProgramCursor::Centr, "CENTR", "cursors/centr", 16, 15},
    {ProgramCursor::Smoll, "SMOLL", "cursors/smoll", 16, 16},
    {ProgramCursor::Koef, "KOEF", "cursors/koef", 15, 15},
    {ProgramCursor::OpenHand, "OPENHAND", "cursors/openhand", 16, 16},
    {ProgramCursor::ToFrom, "TOFROM", "cursors/tofrom", 16, 16},
    {ProgramCursor::Slide, "SLIDE", "cursors/slide", 16, 16},  // a small dot, its centre
}};

inline const CursorEntry* FindCursor(ProgramCursor cursor) {
    for (const CursorEntry& entry : kCursors) {
        if (entry.cursor == cursor) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace catalog

// The name the cursor is known under: "LUPA", "CENTR", "SMOLL", "KOEF", "OPENHAND", "TOFROM",
// "SLIDE"; empty for an unknown cursor.
inline QString CursorName(ProgramCursor cursor) {
    const catalog::CursorEntry* entry = catalog::FindCursor(cursor);
    return entry ? QString::fromLatin1(entry->name) : QString();
}

// The point of the picture that is the mouse position; (0, 0) for an unknown cursor.
inline QPoint CursorHotSpot(ProgramCursor cursor) {
    const catalog::CursorEntry* entry = catalog::FindCursor(cursor);
    return entry ? QPoint(entry->hotX, entry->hotY) : QPoint(0, 0);
}

// Both pictures of a cursor are 1-bit 32 x 32 PNG files. In the bitmap a black pixel is drawn
// black and a white one white; in the mask a black pixel is opaque and a white one transparent.
// So a pixel shows black (bitmap black, mask black), white (bitmap white, mask black) or nothing
// (both white); the bitmap is never black where the mask is white.
// Names relative to the resource root, "cursors/lupa.png" and "cursors/lupa_mask.png"; empty for
// an unknown cursor.
inline QString CursorBitmapFile(ProgramCursor cursor) {
    const catalog::CursorEntry* entry = catalog::FindCursor(cursor);
    return entry ? QString::fromLatin1(entry->file) + QStringLiteral(".png") : QString();
}

inline QString CursorMaskFile(ProgramCursor cursor) {
    const catalog::CursorEntry* entry = catalog::FindCursor(cursor);
    return entry ? QString::fromLatin1(entry->file) + QStringLiteral("_mask.png") : QString();
}

// ---- Tool buttons --------------------------------------------------------------------------

// The picture buttons of the main window, named as the buttons are.
enum class ToolPictureId {
    DefButton,    // target: a circle with cross hairs
    Hand,         // open hand
    Center,       // four bars around an empty centre
    Lupa,         // magnifying glass
    LupaPlus,     // magnifying glass with a plus sign
    LupaMinus,    // magnifying glass with a minus sign
    Koef,         // letter C with tick marks
    ToFrom,       // four-pointed star
    CloseButton,  // a cross, beside the caption of the "Close" button
    MapButton     // the Mandelbrot set's outline with a cross: the map of C
};

inline constexpr std::array kToolPictures{ToolPictureId::DefButton,   ToolPictureId::Hand,
                                          ToolPictureId::Center,      ToolPictureId::Lupa,
                                          ToolPictureId::LupaPlus,    ToolPictureId::LupaMinus,
                                          ToolPictureId::Koef,        ToolPictureId::ToFrom,
                                          ToolPictureId::CloseButton, ToolPictureId::MapButton};

namespace catalog {

struct ToolEntry {
    ToolPictureId id;
    const char* file;
    int side;
};

inline constexpr std::array<ToolEntry, kToolPictures.size()> kTools{{
    {ToolPictureId::DefButton, "buttons/def_button.png", 32},
    {ToolPictureId::Hand, "buttons/hand.png", 32},
    {ToolPictureId::Center, "buttons/center.png", 32},
    {ToolPictureId::Lupa, "buttons/lupa.png", 32},
    {ToolPictureId::LupaPlus, "buttons/lupa_plus.png", 32},
    {ToolPictureId::LupaMinus, "buttons/lupa_minus.png", 32},
    {ToolPictureId::Koef, "buttons/koef.png", 32},
    {ToolPictureId::ToFrom, "buttons/to_from.png", 32},
    {ToolPictureId::CloseButton, "buttons/close.png", 16},
    {ToolPictureId::MapButton, "buttons/map.png", 32},
}};

inline const ToolEntry* FindTool(ToolPictureId id) {
    for (const ToolEntry& entry : kTools) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace catalog

// 32 x 32, the cross of CloseButton 16 x 16; an empty size for an unknown id.
inline QSize ToolPictureSize(ToolPictureId id) {
    const catalog::ToolEntry* entry = catalog::FindTool(id);
    return entry ? QSize(entry->side, entry->side) : QSize();
}

// "buttons/def_button.png", "buttons/hand.png", "buttons/center.png", "buttons/lupa.png",
// "buttons/lupa_plus.png", "buttons/lupa_minus.png", "buttons/koef.png", "buttons/to_from.png",
// "buttons/close.png"; empty for an unknown id.
inline QString ToolPictureFile(ToolPictureId id) {
    const catalog::ToolEntry* entry = catalog::FindTool(id);
    return entry ? QString::fromLatin1(entry->file) : QString();
}

// ---- Animation buttons ---------------------------------------------------------------------

// The three buttons of the coefficient animation (Down, Stop, Up of Re(C) and of Im(C)).
enum class AnimationPictureId {
    Down,  // arrow pointing left
    Stop,  // filled square
    Up     // arrow pointing right
};

inline constexpr std::array kAnimationPictures{AnimationPictureId::Down, AnimationPictureId::Stop,
                                               AnimationPictureId::Up};

inline constexpr int kAnimationPictureSide = 16;

// "animation/down.png", "animation/stop.png", "animation/up.png"; empty for an unknown id.
inline QString AnimationPictureFile(AnimationPictureId id) {
    switch (id) {
        case AnimationPictureId::Down:
            return QStringLiteral("animation/down.png");
        case AnimationPictureId::Stop:
            return QStringLiteral("animation/stop.png");
        case AnimationPictureId::Up:
            return QStringLiteral("animation/up.png");
    }
    return QString();
}

// ---- Menu icons ----------------------------------------------------------------------------

// The six 16 x 16 menu icons; the number is the icon's index in the menu's icon list.
enum class MenuIconId { SaveImage = 0, SaveFractal, OpenFract, CloseApp, FullScr, Descript };

inline constexpr int kMenuIconCount = 6;
inline constexpr int kMenuIconSide = 16;

// "menu/save_image.png", "menu/save_fractal.png", "menu/open_fractal.png", "menu/close_app.png",
// "menu/full_screen.png", "menu/description.png" for 0..5; empty for any other index.
inline QString MenuIconFile(int index) {
    static constexpr const char* kFiles[kMenuIconCount] = {
        "menu/save_image.png", "menu/save_fractal.png", "menu/open_fractal.png",
        "menu/close_app.png",  "menu/full_screen.png",  "menu/description.png"};
    if (index < 0 || index >= kMenuIconCount) {
        return QString();
    }
    return QString::fromLatin1(kFiles[index]);
}

// ---- Application icon ----------------------------------------------------------------------

inline constexpr std::array kApplicationIconSides{32, 64};

// "app/ombrilo_32.png" and "app/ombrilo_64.png"; empty for any other side.
inline QString ApplicationIconFile(int side) {
    for (int known : kApplicationIconSides) {
        if (side == known) {
            return QStringLiteral("app/ombrilo_%1.png").arg(side);
        }
    }
    return QString();
}

// ":/" followed by one of the file names above: where the file is in the program's resources.
inline QString ResourcePath(const QString& file) {
    return QStringLiteral(":/") + file;
}

}  // namespace ombrilo
