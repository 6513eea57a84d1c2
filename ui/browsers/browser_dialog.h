#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace ombrilo {

class TMainForm;

// What the fractal and the palette browser have in common: the mode they are made in, the keys
// they answer by mode, the clicks and double-clicks on their list, name field and preview, and
// the modal run through the dialog seam.
class BrowserDialog : public QDialog {
public:
    ~BrowserDialog() override;

    // Shows the browser modally through the dialog seam; returns its modal result.
    int ShowModal();

    // The names in the list, first to last.
    QStringList Rows() const;

protected:
    // The controls the shared handling looks at.
    struct Controls {
        QListWidget* list = nullptr;
        QLineEdit* name = nullptr;
        QWidget* preview = nullptr;
        QPushButton* open = nullptr;
    };

    // A modal dialog of the given fixed size over the main window, in the mode the main window
    // has set (BrowserOpenMode); on top while the full-screen view is shown.
    BrowserDialog(TMainForm& main, const char* objectName, QSize size);

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

    TMainForm& main_;
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
