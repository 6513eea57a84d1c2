#pragma once

#include <QDialog>
#include <QStringList>

#include "engine/fractal_state.h"

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
class TMainForm;

// The fractal browser: lists the fractal files of the fractals folder, previews the selected
// one and opens, saves, deletes and renames files. In open mode every selected file is read
// into the live state; the state as it was at construction is put back on Cancel, on a file of
// unknown type and after a deletion. The main window sets BrowserOpenMode before creating it.
class TOpenSaveFractal : public QDialog {
    Q_OBJECT

public:
    explicit TOpenSaveFractal(TMainForm& main);
    ~TOpenSaveFractal() override;

    // Shows the browser modally through the dialog seam; returns its modal result.
    int ShowModal();

    void TakeSnapshot();
    void RestoreSnapshot();
    void RestoreSnapshotPalette();
    void FillFractalList();
    void ShowSelectedFractal();
    void RenderFractalPreview();
    QStringList Rows() const;

    void FileListClick();
    void FileListDblClick();
    void FileNameDblClick();
    void PreViewDblClick();
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
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void DoubleClicked();
    bool FormKeyDown(int key);
    void Select(int row);
    void ShowNote(const char* text);
    void SetupMode();
    QString RowPath(const QString& row) const;

    TMainForm& main_;
    const bool openMode_;
    FractalState snapshot_;
    bool closed_ = false;
    bool pressChangedRow_ = false;
    bool filling_ = false;
};

}  // namespace ombrilo
