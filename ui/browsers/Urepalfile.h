#pragma once

#include "ui/browsers/rename_dialog.h"

namespace ombrilo {

class TOSPalette;

// Renames the selected palette file of the palette browser.
class TRePalFile : public RenameDialog {
    Q_OBJECT

public:
    TRePalFile(TOSPalette& browser, const QString& row);

    QLineEdit* OldNamePal = nullptr;
    QLineEdit* NewNamePal = nullptr;
    QPushButton* RenamePal = nullptr;
    QPushButton* CanselR = nullptr;
};

}  // namespace ombrilo
