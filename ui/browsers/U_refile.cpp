#include "U_refile.h"

#include "ui/browsers/U_opensavefractal.h"

namespace ombrilo {

namespace {

constexpr RenameDialog::Names kNames{"ReFile",  "Старое имя :", "Новое имя :", "OldName",
                                     "NewName", "OkBut",        "CanselBut"};

}  // namespace

TReFile::TReFile(TOpenSaveFractal& browser, const QString& row)
    : RenameDialog(&browser, browser.Owner(), kNames,
                   {[&browser] { return browser.Rows(); }, browser.Folder(), ".frc",
                    [&browser] { browser.FillFractalList(); }},
                   row),
      OldName(oldName),
      NewName(newName),
      OkBut(okButton),
      CanselBut(cancelButton) {}

}  // namespace ombrilo
