#include "Urepalfile.h"

#include "ui/browsers/U_ospalette.h"

namespace ombrilo {

namespace {

constexpr RenameDialog::Names kNames{"RePalFile",  "Старое имя:", "Новое имя:", "OldNamePal",
                                     "NewNamePal", "RenamePal",   "CanselR"};

}  // namespace

TRePalFile::TRePalFile(TOSPalette& browser, const QString& row)
    : RenameDialog(&browser, browser.Owner(), kNames,
                   {[&browser] { return browser.Rows(); }, browser.Folder(), ".ptt",
                    [&browser] {
                        browser.FillPaletteList();
                        browser.ShowSelectedPalette();
                    }},
                   row),
      OldNamePal(oldName),
      NewNamePal(newName),
      RenamePal(okButton),
      CanselR(cancelButton) {}

}  // namespace ombrilo
