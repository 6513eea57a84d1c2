#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QLineEdit;
class QPushButton;

namespace ombrilo {

// The rename dialog shared by the two browsers: the old name, the new name, "Ok!" and
// "Отмена"; Enter renames, Esc closes. The browsers' dialogs differ only in their control names
// and label texts.
class RenameDialog : public QDialog {
    Q_OBJECT

public:
    struct Names {
        const char* form;
        const char* oldLabel;
        const char* newLabel;
        const char* oldEdit;
        const char* newEdit;
        const char* okButton;
        const char* cancelButton;
    };
    // What the dialog renames in: the browser's rows, the folder and the extension, and what
    // the browser does after a rename.
    struct Target {
        std::function<QStringList()> rows;
        QString folder;
        QString extension;
        std::function<void()> renamed;
    };

    // Centred on main, the window the browser belongs to.
    RenameDialog(QWidget* browser, const QWidget& main, const Names& names, Target target,
                 const QString& row);
    ~RenameDialog() override;

    void OkClick();

    QLineEdit* oldName = nullptr;
    QLineEdit* newName = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    Target target_;
};

}  // namespace ombrilo
