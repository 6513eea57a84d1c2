#pragma once

#include "ui/browsers/rename_dialog.h"

namespace ombrilo {

class TOpenSaveFractal;

// Renames the selected fractal file of the fractal browser.
class TReFile : public RenameDialog {
    Q_OBJECT

public:
    TReFile(TOpenSaveFractal& browser, const QString& row);

    QLineEdit* OldName = nullptr;
    QLineEdit* NewName = nullptr;
    QPushButton* OkBut = nullptr;
    QPushButton* CanselBut = nullptr;
};

}  // namespace ombrilo
