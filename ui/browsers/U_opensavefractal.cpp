#include "U_opensavefractal.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include "resources/program_pictures.h"
#include "ui/browsers/U_refile.h"
#include "ui/browsers/browser_common.h"
#include "ui/dialogs.h"
#include "ui/image_view.h"

namespace ombrilo {

namespace {

constexpr const char* kNewName = "fractal_new";
constexpr const char* kPattern = "*.frc*";
constexpr const char* kExtension = ".frc";

// Made once for the program and reused by every fractal browser.
QImage& FractalPreviewBitmap() {
    static QImage bitmap(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32);
    return bitmap;
}

QPushButton* GlyphButton(QWidget* parent, const char* name, const char* caption, const QIcon& glyph,
                         int left, int top) {
    auto* button = PutControl(new QPushButton(glyph, QString::fromUtf8(caption), parent), name,
                              left, top, 75, 25);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TOpenSaveFractal::TOpenSaveFractal(const BrowserSetup& setup)
    : BrowserDialog(setup, "OpenSaveFractal", QSize(409, 221)) {
    BuildControls();
    Place();
    IgnoreFPalette->setChecked(!choice_.loadPaletteWithFractal);
    QDir::setCurrent(folder_);
    Drive->setText(folder_);
    SetupMode();
    TakeSnapshot();
    FillFractalList();
}

void TOpenSaveFractal::BuildControls() {
    BrowserCaption(this, "Папка:", "Label2", 8);
    Drive = PutControl(new QLineEdit(this), "Drive", 48, 8, 169, 21);
    Drive->setReadOnly(true);
    Drive->setStatusTip(" Каталог фракталов");
    FileList = PutControl(new QListWidget(this), "FileList", 16, 32, 201, 145);
    FileList->setStatusTip(" Фракталы находящиеся в каталоге");
    FileList->setSelectionMode(QAbstractItemView::SingleSelection);
    BrowserCaption(this, "Файл:", "Label1", 184);
    FileName = PutControl(new QLineEdit(this), "FileName", 48, 184, 169, 21);
    FileName->setStatusTip(" Выбранное имя файла");

    GroupBox1 = PutControl(new QGroupBox("Prewiev", this), "GroupBox1", 232, 8, 161, 131);
    PreView = PutControl(new ImageView(GroupBox1), "PreView", 8, 16, kPreviewWidth, kPreviewHeight);
    PreView->setStatusTip(" Облась предпросмотра");
    ImMess = PutControl(new QLabel(GroupBox1), "ImMess", 40, 59, 113, 16);
    ImMess->setTextFormat(Qt::PlainText);
    ImMess->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // The caption is wider than the place under the preview in the dialog's font: it takes two
    // lines between the preview and the buttons, from the window's edge to the preview's left.
    IgnoreFPalette = PutControl(new QCheckBox("Игнорировать палитру\nфрактала", this),
                                "IgnoreFPalette", 232, 144, 177, 32);
    OpenFractal =
        GlyphButton(this, "OpenFractal", "Открыть", MenuIcon(MenuIconId::OpenFract), 233, 184);
    OpenFractal->hide();
    SaveFractal =
        GlyphButton(this, "SaveFractal", "Сохранить", MenuIcon(MenuIconId::SaveFractal), 232, 184);
    SaveFractal->hide();
    Cansel =
        GlyphButton(this, "Cansel", "Отмена", ToolPicture(ToolPictureId::CloseButton), 317, 184);

    DeleteFile = new QAction(DeleteFileIcon(), "&Удалить файл", this);
    DeleteFile->setObjectName("DeleteFile");
    RenFile = new QAction("&Переименовать..", this);
    RenFile->setObjectName("RenFile");
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    PopupMenu1->addAction(DeleteFile);
    PopupMenu1->addAction(RenFile);
    for (QWidget* owner : {static_cast<QWidget*>(FileList), static_cast<QWidget*>(FileName),
                           static_cast<QWidget*>(PreView)}) {
        owner->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(owner, &QWidget::customContextMenuRequested, this,
                [this, owner](const QPoint& at) { PopupMenu1->popup(owner->mapToGlobal(at)); });
    }
    WatchControls({FileList, FileName, PreView, OpenFractal});
    connect(OpenFractal, &QPushButton::clicked, this, &TOpenSaveFractal::OpenFractalClick);
    connect(SaveFractal, &QPushButton::clicked, this, &TOpenSaveFractal::SaveFractalClick);
    connect(Cansel, &QPushButton::clicked, this, &TOpenSaveFractal::CanselClick);
    connect(IgnoreFPalette, &QCheckBox::clicked, this, &TOpenSaveFractal::IgnoreFPaletteClick);
    connect(DeleteFile, &QAction::triggered, this, &TOpenSaveFractal::DeleteFileExecute);
    connect(RenFile, &QAction::triggered, this, &TOpenSaveFractal::RenFileExecute);
}

void TOpenSaveFractal::SetupMode() {
    DeleteFile->setEnabled(openMode_);
    RenFile->setEnabled(openMode_);
    if (openMode_) {
        OpenFractal->setStatusTip(" Открывает выбранный файл");
        Cansel->setStatusTip(" Закрывает форму 'Открытие фрактала'");
    } else {
        SaveFractal->setStatusTip(" Сохраненяет файл под выбранным именем");
        Cansel->setStatusTip(" Закрывает форму 'Сохранение фрактала'");
    }
}

QString TOpenSaveFractal::RowPath(const QString& row) const {
    return folder_ + "/" + row + kExtension;
}

// --- Snapshot ---------------------------------------------------------------------------------

void TOpenSaveFractal::TakeSnapshot() {
    snapshot_ = state_;
}

void TOpenSaveFractal::RestoreSnapshot() {
    FractalState& s = state_;
    s.FractalType = snapshot_.FractalType;
    s.Cx = snapshot_.Cx;
    s.Cy = snapshot_.Cy;
    s.CenterX = snapshot_.CenterX;
    s.CenterY = snapshot_.CenterY;
    SetViewWidth(s, snapshot_.ViewWidth);
    RestoreSnapshotPalette();
}

void TOpenSaveFractal::RestoreSnapshotPalette() {
    state_.palette = snapshot_.palette;
    state_.colorTable = snapshot_.colorTable;
}

// --- List and preview --------------------------------------------------------------------------

void TOpenSaveFractal::Select(int row) {
    filling_ = true;
    FileList->setCurrentRow(row);
    filling_ = false;
}

void TOpenSaveFractal::ShowNote(const char* text) {
    ImMess->setText(QString::fromUtf8(text));
    ImMess->show();
    PreView->hide();
}

void TOpenSaveFractal::FillFractalList() {
    filling_ = true;
    FileList->clear();
    FileList->addItems(ListRows(folder_, kPattern));
    filling_ = false;
    if (!openMode_) {
        FileName->setReadOnly(false);
        choice_.path = RowPath(kNewName);
        FileName->setText(kNewName);
        choice_.title = kNewName;
        ImMess->hide();
        RenderFractalPreview();
        return;
    }
    FileName->setReadOnly(true);
    if (FileList->count() == 0) {
        OpenFractal->setEnabled(false);
        ShowNote(kNoFilesNote);
        return;
    }
    // A remembered row that is gone (files removed meanwhile) falls back to the last row.
    choice_.lastRow = std::clamp(choice_.lastRow, 0, FileList->count() - 1);
    Select(choice_.lastRow);
    const QString row = FileList->item(choice_.lastRow)->text();
    choice_.path = RowPath(row);
    FileName->setText(row);
    choice_.title = row;
    ShowSelectedFractal();
}

void TOpenSaveFractal::ShowSelectedFractal() {
    if (!ReadFractalAtPath(&owner_, choice_.path, state_, choice_.loadPaletteWithFractal,
                           choice_.read)) {
        // An entry that cannot be read (no permission, a folder) is not offered for opening.
        RestoreSnapshot();
        OpenFractal->setEnabled(false);
        ImMess->hide();
        PreView->hide();
        return;
    }
    OpenFractal->setEnabled(true);
    if (!choice_.read.FractalAccepted) {
        RestoreSnapshot();
        ShowNote(kUnknownTypeNote);
        return;
    }
    if (choice_.loadPaletteWithFractal && !choice_.read.PaletteAccepted) {
        RestoreSnapshotPalette();
    }
    ImMess->hide();
    PreView->show();
    RenderFractalPreview();
}

void TOpenSaveFractal::RenderFractalPreview() {
    RenderPreview(state_, FractalPreviewBitmap(), PreView);
}

// --- Handlers ------------------------------------------------------------------------------------

void TOpenSaveFractal::IgnoreFPaletteClick() {
    if (IgnoreFPalette->isChecked()) {
        choice_.loadPaletteWithFractal = false;
        state_.palette = snapshot_.palette;
        if (OpenFractal->isEnabled()) {
            state_.colorTable = snapshot_.colorTable;
            RenderFractalPreview();
        }
    } else {
        choice_.loadPaletteWithFractal = true;
        if (OpenFractal->isEnabled()) {
            ShowSelectedFractal();
        }
    }
}

void TOpenSaveFractal::FileListClick() {
    const int index = FileList->currentRow();
    if (index < 0) {
        return;
    }
    const QString row = FileList->item(index)->text();
    choice_.path = RowPath(row);
    FileName->setText(row);
    choice_.title = row;
    choice_.lastRow = index;
    if (openMode_) {
        ShowSelectedFractal();
    }
}

void TOpenSaveFractal::SaveFractalClick() {
    const QString name = NameToSave();
    if (name.isEmpty()) {
        return;
    }
    choice_.path = RowPath(name);
    choice_.title = name;
    done(QDialog::Accepted);
}

void TOpenSaveFractal::OpenFractalClick() {
    done(QDialog::Accepted);
}

void TOpenSaveFractal::CanselClick() {
    done(QDialog::Rejected);
}

void TOpenSaveFractal::DeleteFileExecute() {
    const int index = RowForFileCommand();
    if (index < 0 || !RemoveFileOfRow(index, choice_.lastRow)) {
        return;
    }
    FillFractalList();
    RestoreSnapshot();
}

void TOpenSaveFractal::RenFileExecute() {
    const int index = RowForFileCommand();
    if (index < 0) {
        return;
    }
    TReFile rename(*this, FileList->item(index)->text());
    Dialogs().Exec(rename);
}

// --- Window
// ----------------------------------------------------------------------------------------

void TOpenSaveFractal::done(int result) {
    if (!closed_) {
        closed_ = true;
        if (result != QDialog::Accepted) {
            if (openMode_) {
                RestoreSnapshot();
            }
            choice_.confirmed = false;
        } else {
            choice_.confirmed = true;
        }
    }
    QDialog::done(result);
}

}  // namespace ombrilo
