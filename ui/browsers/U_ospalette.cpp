#include "U_ospalette.h"

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include <algorithm>

#include "resources/program_pictures.h"
#include "ui/browsers/Urepalfile.h"
#include "ui/browsers/browser_common.h"
#include "ui/dialogs.h"
#include "ui/image_view.h"

namespace ombrilo {

namespace {

constexpr const char* kNewName = "palette_new";
constexpr const char* kPattern = "*.ptt";
constexpr const char* kExtension = ".ptt";

// Made once for the program and reused by every palette browser.
QImage& PalettePreviewBitmap() {
    static QImage bitmap(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32);
    return bitmap;
}

QPushButton* GlyphButton(QWidget* parent, const char* name, const char* caption, const QIcon& glyph,
                         int left, int top) {
    auto* button = PutControl(new QPushButton(glyph, QString::fromUtf8(caption), parent), name,
                              left, top, 73, 22);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TOSPalette::TOSPalette(const BrowserSetup& setup)
    : BrowserDialog(setup, "OSPalette", QSize(409, 178)) {
    BuildControls();
    Place();
    PathText->setText(folder_);
    SetupMode();
    QDir::setCurrent(folder_);
    TakePaletteSnapshot();
    FillPaletteList();
    if (openMode_) {
        ShowSelectedPalette();
    } else {
        DelPalFile->setEnabled(false);
        ReNamePal->setEnabled(false);
        ImText->hide();
        RenderPalettePreview();
    }
}

void TOSPalette::BuildControls() {
    BrowserCaption(this, "Папка:", "Label1", 8);
    PathText = PutControl(new QLineEdit(this), "PathText", 48, 8, 169, 21);
    PathText->setReadOnly(true);
    PathText->setStatusTip(" Каталог палитр");
    PalList = PutControl(new QListWidget(this), "PalList", 16, 32, 201, 105);
    PalList->setStatusTip(" Палитры находящиеся в каталоге");
    PalList->setSelectionMode(QAbstractItemView::SingleSelection);
    BrowserCaption(this, "Файл:", "Label2", 144);
    FileText = PutControl(new QLineEdit(this), "FileText", 48, 144, 169, 21);
    FileText->setStatusTip(" Выбранный файл");

    PalPreview = PutControl(new QGroupBox("Preview", this), "PalPreview", 232, 6, 161, 131);
    With = PutControl(new ImageView(PalPreview), "With", 8, 14, kPreviewWidth, kPreviewHeight);
    With->setStatusTip(" Область предпросмотра");
    ImText = PutControl(new QLabel(PalPreview), "ImText", 40, 56, 113, 16);
    ImText->setTextFormat(Qt::PlainText);
    ImText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ImText->hide();

    OpenBut = GlyphButton(this, "OpenBut", "Открыть", MenuIcon(MenuIconId::OpenFract), 232, 144);
    SaveBut =
        GlyphButton(this, "SaveBut", "Сохранить", MenuIcon(MenuIconId::SaveFractal), 232, 144);
    CanBut =
        GlyphButton(this, "CanBut", "Отмена", ToolPicture(ToolPictureId::CloseButton), 320, 144);

    DelPalFile = new QAction(DeleteFileIcon(), "&Удалить файл", this);
    DelPalFile->setObjectName("DelPalFile");
    ReNamePal = new QAction("Переименовать файл", this);
    ReNamePal->setObjectName("ReNamePal");
    PopupPalette = new QMenu(this);
    PopupPalette->setObjectName("PopupPalette");
    PopupPalette->addAction(DelPalFile);
    PopupPalette->addAction(ReNamePal);
    for (QWidget* owner : {static_cast<QWidget*>(PalList), static_cast<QWidget*>(FileText),
                           static_cast<QWidget*>(With)}) {
        owner->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(owner, &QWidget::customContextMenuRequested, this,
                [this, owner](const QPoint& at) { PopupPalette->popup(owner->mapToGlobal(at)); });
    }
    WatchControls({PalList, FileText, With, OpenBut});
    connect(OpenBut, &QPushButton::clicked, this, &TOSPalette::OpenButClick);
    connect(SaveBut, &QPushButton::clicked, this, &TOSPalette::SaveButClick);
    connect(CanBut, &QPushButton::clicked, this, &TOSPalette::CanButClick);
    connect(DelPalFile, &QAction::triggered, this, &TOSPalette::DelPalFileExecute);
    connect(ReNamePal, &QAction::triggered, this, &TOSPalette::ReNamePalExecute);
}

void TOSPalette::SetupMode() {
    OpenBut->setVisible(openMode_);
    SaveBut->setVisible(!openMode_);
    if (openMode_) {
        OpenBut->setStatusTip(" Открывает выбранную палитру");
        CanBut->setStatusTip(" Закрывает форму 'Открытие палитры'");
    } else {
        SaveBut->setStatusTip(" Сохраняет палитру под выбранным именем");
        CanBut->setStatusTip(" Закрывает форму 'Сохранение палитры'");
    }
}

QString TOSPalette::RowPath(const QString& row) const {
    return folder_ + "/" + row + kExtension;
}

void TOSPalette::TakePaletteSnapshot() {
    snapshotPalette_ = state_.palette;
    snapshotTable_ = state_.colorTable;
}

void TOSPalette::RestorePaletteSnapshot() {
    state_.palette = snapshotPalette_;
    state_.colorTable = snapshotTable_;
}

void TOSPalette::ShowNote(const char* text) {
    ImText->setText(QString::fromUtf8(text));
    ImText->show();
    With->hide();
}

void TOSPalette::FillPaletteList() {
    filling_ = true;
    PalList->clear();
    PalList->addItems(ListRows(folder_, kPattern));
    if (!openMode_) {
        filling_ = false;
        FileText->setReadOnly(false);
        choice_.path = RowPath(kNewName);
        FileText->setText(kNewName);
        return;
    }
    FileText->setReadOnly(true);
    if (PalList->count() == 0) {
        filling_ = false;
        OpenBut->setEnabled(false);
        return;
    }
    OpenBut->setEnabled(true);
    // A remembered row that is gone (files removed meanwhile) falls back to the last row.
    choice_.lastRow = std::clamp(choice_.lastRow, 0, PalList->count() - 1);
    PalList->setCurrentRow(choice_.lastRow);
    filling_ = false;
    const QString row = PalList->item(choice_.lastRow)->text();
    choice_.path = RowPath(row);
    FileText->setText(row);
}

void TOSPalette::ShowSelectedPalette() {
    if (PalList->count() == 0) {
        ShowNote(kNoFilesNote);
        return;
    }
    if (!ReadPaletteAtPath(&owner_, choice_.path, state_, choice_.read)) {
        // An entry that cannot be read (no permission, a folder) is not offered for opening.
        RestorePaletteSnapshot();
        OpenBut->setEnabled(false);
        ImText->hide();
        With->hide();
        return;
    }
    OpenBut->setEnabled(true);
    if (choice_.read.PaletteAccepted) {
        ImText->hide();
        With->show();
        RenderPalettePreview();
    } else {
        RestorePaletteSnapshot();
        ShowNote(kUnknownTypeNote);
    }
}

void TOSPalette::RenderPalettePreview() {
    RenderPreview(state_, PalettePreviewBitmap(), With);
}

void TOSPalette::PalListClick() {
    const int index = PalList->currentRow();
    if (index < 0) {
        return;
    }
    const QString row = PalList->item(index)->text();
    choice_.path = RowPath(row);
    FileText->setText(row);
    choice_.lastRow = index;
    if (openMode_) {
        ShowSelectedPalette();
    }
}

void TOSPalette::SaveButClick() {
    const QString name = NameToSave();
    if (name.isEmpty()) {
        return;
    }
    choice_.path = RowPath(name);
    done(QDialog::Accepted);
}

void TOSPalette::OpenButClick() {
    done(QDialog::Accepted);
}

void TOSPalette::CanButClick() {
    done(QDialog::Rejected);
}

void TOSPalette::DelPalFileExecute() {
    const int index = RowForFileCommand();
    if (index < 0 || !RemoveFileOfRow(index, choice_.lastRow)) {
        return;
    }
    RestorePaletteSnapshot();
    FillPaletteList();
    ShowSelectedPalette();
}

void TOSPalette::ReNamePalExecute() {
    const int index = RowForFileCommand();
    if (index < 0) {
        return;
    }
    TRePalFile rename(*this, PalList->item(index)->text());
    Dialogs().Exec(rename);
}

void TOSPalette::done(int result) {
    if (!closed_) {
        closed_ = true;
        if (result != QDialog::Accepted && openMode_) {
            RestorePaletteSnapshot();
        }
    }
    QDialog::done(result);
}

}  // namespace ombrilo
