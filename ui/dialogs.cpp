#include "dialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>

namespace ombrilo {

namespace {

class QtDialogs final : public DialogSeam {
public:
    QMessageBox::StandardButton Message(QWidget* parent, MessageKind kind, const QString& caption,
                                        const QString& text) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        switch (kind) {
            case MessageKind::Plain:
                box.setIcon(QMessageBox::NoIcon);
                box.setStandardButtons(QMessageBox::Ok);
                break;
            case MessageKind::Question:
                box.setIcon(QMessageBox::Question);
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                box.setWindowFlag(Qt::WindowStaysOnTopHint);
                break;
            case MessageKind::Warning:
                box.setIcon(QMessageBox::Warning);
                box.setStandardButtons(QMessageBox::Ok);
                break;
            case MessageKind::Error:
                box.setIcon(QMessageBox::Critical);
                box.setStandardButtons(QMessageBox::Ok);
                break;
        }
        return static_cast<QMessageBox::StandardButton>(box.exec());
    }

    int Exec(QDialog& dialog) override { return dialog.exec(); }

    QString SaveFileName(QWidget* parent, const QString& caption, const QString& defaultName,
                         const QString& filter, QString* selectedFilter) override {
        QFileDialog dialog(parent, caption, QString(), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
        dialog.selectFile(defaultName);
        while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            const QString path = dialog.selectedFiles().first();
            if (QFileInfo(QFileInfo(path).absolutePath()).isDir()) {
                if (selectedFilter != nullptr) {
                    *selectedFilter = dialog.selectedNameFilter();
                }
                return path;
            }
            Message(&dialog, MessageKind::Warning, caption,
                    "Папка не найдена:\n" + QFileInfo(path).absolutePath());
        }
        return QString();
    }
};

QtDialogs g_qtDialogs;
DialogSeam* g_seam = nullptr;

}  // namespace

DialogSeam& Dialogs() {
    return g_seam != nullptr ? *g_seam : g_qtDialogs;
}

void SetDialogSeam(DialogSeam* seam) {
    g_seam = seam;
}

void ShowPlainMessage(QWidget* parent, const QString& text) {
    Dialogs().Message(parent, MessageKind::Plain, QGuiApplication::applicationDisplayName(), text);
}

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    return Dialogs().Message(parent, MessageKind::Question, caption, text) == QMessageBox::Yes;
}

void ShowWarning(QWidget* parent, const QString& caption, const QString& text) {
    Dialogs().Message(parent, MessageKind::Warning, caption, text);
}

void ShowError(QWidget* parent, const QString& caption, const QString& text) {
    Dialogs().Message(parent, MessageKind::Error, caption, text);
}

}  // namespace ombrilo
