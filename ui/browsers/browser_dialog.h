#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <QStringList>

#include "engine/fractal_state.h"
#include "formats/fractal_file.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace ombrilo {

// What a browser hands back when it closes. The window that opens browsers keeps it and gives
// it to the next one as it was left: the file selected last stays the file of the next read or
// write also after a Cancel.
struct BrowserChoice {
    bool confirmed = false;  // closed with a confirmed choice (fractal browser)
    QString path;            // the file selected or typed last
    QString title;           // that file's row name (fractal browser)
    ReadFlags read;          // what the last read of a selected file accepted
    bool loadPaletteWithFractal = true;
    int lastRow = 0;  // the row selected last, selected again at the next opening
};

// What the window that opens a browser gives it.
struct BrowserSetup {
    QWidget& owner;       // the main window: the parent, what the browser is placed over
    QRect ownerView;      // the main view inside the owner
    bool overFullScreen;  // the full-screen view is shown: centred on the screen, on top
    bool openMode;        // open or save
    QString folder;       // the folder listed
    FractalState& state;  // the live state: previews read into it, Cancel puts it back
    BrowserChoice choice;
};

// What the fractal and the palette browser have in common: the mode they are made in, the keys
// they answer by mode, the clicks and double-clicks on their list, name field and preview, and
// the modal run through the dialog seam.
class BrowserDialog : public QDialog {
    Q_OBJECT

public:
    ~BrowserDialog() override;

    // Shows the browser modally through the dialog seam; returns its modal result.
    int ShowModal();

    // The names in the list, first to last.
    QStringList Rows() const;

    // The choice as it stands; final once the browser has closed.
    const BrowserChoice& Choice() const { return choice_; }

    QWidget& Owner() const { return owner_; }
    const QString& Folder() const { return folder_; }

signals:
    // A double-click confirmed the browser: the press that belongs to it may still reach the
    // window below.
    void confirmedByDoubleClick();

protected:
    // The controls the shared handling looks at.
    struct Controls {
        QListWidget* list = nullptr;
        QLineEdit* name = nullptr;
        QWidget* preview = nullptr;
        QPushButton* open = nullptr;
    };

    // A modal dialog of the given fixed size over the owner, in the mode of the setup; on top
    // while the full-screen view is shown.
    BrowserDialog(const BrowserSetup& setup, const char* objectName, QSize size);

    // Places the browser over the owner's main view (or the screen, over the full-screen view).
    void Place();

    // Hands over the built controls: from here on the browser sees keys and clicks.
    void WatchControls(const Controls& controls);

    // The file a row of the list stands for.
    virtual QString RowPath(const QString& row) const = 0;

    // The typed name for a save, or an empty text when there is none to save under: no name,
    // an unsafe one (warned about), or an existing file the user does not want replaced.
    QString NameToSave();
    // The selected row for delete and rename, which act in open mode only; -1 when none.
    int RowForFileCommand() const;
    // Deletes the file of the row; on success the remembered row moves one up, on failure the
    // error is shown and nothing changes.
    bool RemoveFileOfRow(int row, int& rememberedRow);

    virtual void ListClick() = 0;
    virtual void SaveClick() = 0;
    virtual void DeleteSelected() = 0;
    virtual void RenameSelected() = 0;

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QWidget& owner_;
    const QRect ownerView_;
    const bool overFullScreen_;
    const QString folder_;
    FractalState& state_;
    BrowserChoice choice_;
    const bool openMode_;
    bool closed_ = false;
    bool filling_ = false;  // the list is being refilled: row changes are not selections

private:
    bool FormKeyDown(int key);
    // Enter, and a double-click on the list, the name or the preview: save in save mode, open
    // in open mode when there is something to open.
    void Confirm();
    void DoubleClicked();

    Controls controls_;
    bool pressChangedRow_ = false;
};

}  // namespace ombrilo
