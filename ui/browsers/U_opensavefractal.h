#pragma once

#include <QStringList>

#include "engine/fractal_state.h"
#include "ui/browsers/browser_dialog.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace ombrilo {

class ImageView;

// The fractal browser: lists the fractal files of the fractals folder, previews the selected
// one and opens, saves, deletes and renames files. In open mode every selected file is read
// into the live state; the state as it was at construction is put back on Cancel, on a file of
// unknown type and after a deletion. The mode comes with the setup; Choice() gives the result.
class TOpenSaveFractal : public BrowserDialog {
    Q_OBJECT

public:
    explicit TOpenSaveFractal(const BrowserSetup& setup);

    void TakeSnapshot();
    void RestoreSnapshot();
    void RestoreSnapshotPalette();
    void FillFractalList();
    void ShowSelectedFractal();
    void RenderFractalPreview();

    void FileListClick();
    void OpenFractalClick();
    void SaveFractalClick();
    void CanselClick();
    void IgnoreFPaletteClick();
    void DeleteFileExecute();
    void RenFileExecute();

    QLineEdit* Drive = nullptr;
    QListWidget* FileList = nullptr;
    QLineEdit* FileName = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    ImageView* PreView = nullptr;
    QLabel* ImMess = nullptr;
    QCheckBox* IgnoreFPalette = nullptr;
    QPushButton* OpenFractal = nullptr;
    QPushButton* SaveFractal = nullptr;
    QPushButton* Cansel = nullptr;
    QAction* DeleteFile = nullptr;
    QAction* RenFile = nullptr;
    QMenu* PopupMenu1 = nullptr;

protected:
    // Every way of closing ends here (FormClose).
    void done(int result) override;

private:
    // The shared key and click handling calls the handlers of this browser.
    void ListClick() override { FileListClick(); }
    void SaveClick() override { SaveFractalClick(); }
    void DeleteSelected() override { DeleteFileExecute(); }
    void RenameSelected() override { RenFileExecute(); }

    void BuildControls();
    void Select(int row);
    void ShowNote(const char* text);
    void SetupMode();
    QString RowPath(const QString& row) const override;

    FractalState snapshot_;
};

}  // namespace ombrilo
