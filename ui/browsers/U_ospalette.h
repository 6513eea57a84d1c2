#pragma once

#include <QStringList>

#include "engine/color_table.h"
#include "engine/palette.h"
#include "ui/browsers/browser_dialog.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace ombrilo {

class ImageView;

// The palette browser, twin of the fractal browser: lists the palette files of the palettes
// folder and previews the current fractal in the selected palette. In open mode every selected
// palette is read into the live palette fields; the palette as it was at construction is put
// back on Cancel, on an unknown palette type and before the re-read after a deletion.
class TOSPalette : public BrowserDialog {
    Q_OBJECT

public:
    explicit TOSPalette(const BrowserSetup& setup);

    void TakePaletteSnapshot();
    void RestorePaletteSnapshot();
    void FillPaletteList();
    void ShowSelectedPalette();
    void RenderPalettePreview();

    void PalListClick();
    void OpenButClick();
    void SaveButClick();
    void CanButClick();
    void DelPalFileExecute();
    void ReNamePalExecute();

    QLineEdit* PathText = nullptr;
    QListWidget* PalList = nullptr;
    QLineEdit* FileText = nullptr;
    QGroupBox* PalPreview = nullptr;
    ImageView* With = nullptr;
    QLabel* ImText = nullptr;
    QPushButton* OpenBut = nullptr;
    QPushButton* SaveBut = nullptr;
    QPushButton* CanBut = nullptr;
    QAction* DelPalFile = nullptr;
    QAction* ReNamePal = nullptr;
    QMenu* PopupPalette = nullptr;

protected:
    void done(int result) override;  // FormClose

private:
    // The shared key and click handling calls the handlers of this browser.
    void ListClick() override { PalListClick(); }
    void SaveClick() override { SaveButClick(); }
    void DeleteSelected() override { DelPalFileExecute(); }
    void RenameSelected() override { ReNamePalExecute(); }

    void BuildControls();
    void SetupMode();
    void ShowNote(const char* text);
    QString RowPath(const QString& row) const override;

    Palette snapshotPalette_;
    ColorTable snapshotTable_;
};

}  // namespace ombrilo
