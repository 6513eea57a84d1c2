#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>

#include "ui/dialogs.h"

// Answers the program's message boxes and modal windows in window tests and remembers what
// was shown.
class RecordingDialogs : public ombrilo::DialogSeam {
public:
    struct Shown {
        ombrilo::MessageKind kind;
        QString caption;
        QString text;
    };

    RecordingDialogs() { ombrilo::SetDialogSeam(this); }
    ~RecordingDialogs() override { ombrilo::SetDialogSeam(nullptr); }

    QMessageBox::StandardButton Message(QWidget*, ombrilo::MessageKind kind, const QString& caption,
                                        const QString& text) override {
        messages.append({kind, caption, text});
        return kind == ombrilo::MessageKind::Question ? answer : QMessageBox::Ok;
    }

    // Modal windows are handed to `onExec`, which acts in them and returns the result.
    int Exec(QDialog& dialog) override {
        execs.append(dialog.objectName());
        return onExec ? onExec(dialog) : QDialog::Rejected;
    }

    // The save dialog answers `savePath` (empty: cancelled) with the filter `saveFilter` (empty:
    // the first one offered) and remembers the default name and the filters offered.
    QString SaveFileName(QWidget*, const QString&, const QString& defaultName,
                         const QString& filter, QString* selectedFilter = nullptr) override {
        saveDefaults.append(defaultName);
        saveFilters.append(filter);
        if (selectedFilter != nullptr) {
            *selectedFilter = saveFilter.isEmpty() ? filter.section(";;", 0, 0) : saveFilter;
        }
        return savePath;
    }

    QList<Shown> messages;
    QStringList execs;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    std::function<int(QDialog&)> onExec;
    QStringList saveDefaults;
    QStringList saveFilters;
    QString savePath;
    QString saveFilter;
};
