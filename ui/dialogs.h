#pragma once

#include <QMessageBox>
#include <QString>

class QDialog;
class QWidget;

namespace ombrilo {

// The kinds of message box the program shows.
enum class MessageKind {
    Plain,     // no icon, the application title as caption
    Question,  // question icon, Yes / No, on top of every window
    Warning,   // exclamation icon, OK
    Error,     // stop icon, OK
};

// Every blocking dialog of the program goes through this seam, so that window tests can answer
// message boxes and modal windows without a person.
class DialogSeam {
public:
    virtual ~DialogSeam() = default;

    // Shows a message box; returns the button pressed.
    virtual QMessageBox::StandardButton Message(QWidget* parent, MessageKind kind,
                                                const QString& caption, const QString& text) = 0;
    // Runs a modal window; returns its result (QDialog::Accepted or Rejected).
    virtual int Exec(QDialog& dialog) = 0;
    // Asks for the path of a file to write (the folder must exist, an existing file is not
    // questioned); empty when the user cancels. The filter may list several, separated by
    // ";;", the first chosen at the start; selectedFilter receives the one chosen at the end.
    virtual QString SaveFileName(QWidget* parent, const QString& caption,
                                 const QString& defaultName, const QString& filter,
                                 QString* selectedFilter = nullptr) = 0;
};

// The seam in use: the real Qt dialogs unless a test has put its own in place.
DialogSeam& Dialogs();

// Puts a seam in place (nullptr restores the real dialogs); the caller keeps ownership.
void SetDialogSeam(DialogSeam* seam);

// Shortcuts for the common boxes.
void ShowPlainMessage(QWidget* parent, const QString& text);
bool AskYesNo(QWidget* parent, const QString& caption, const QString& text);
void ShowWarning(QWidget* parent, const QString& caption, const QString& text);
void ShowError(QWidget* parent, const QString& caption, const QString& text);

}  // namespace ombrilo
