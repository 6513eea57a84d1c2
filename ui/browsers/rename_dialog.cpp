#include "rename_dialog.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/browsers/browser_common.h"
#include "ui/dialogs.h"

namespace ombrilo {

RenameDialog::RenameDialog(QWidget* browser, const QWidget& main, const Names& names, Target target,
                           const QString& row)
    : QDialog(browser), target_(std::move(target)) {
    setObjectName(QString::fromLatin1(names.form));
    setWindowTitle("Переименование файла");
    setModal(true);
    UseDialogFont(*this);
    setFixedSize(329, 151);
    auto* oldLabel = new QLabel(QString::fromUtf8(names.oldLabel), this);
    oldLabel->setGeometry(32, 6, 265, 17);
    oldName = new QLineEdit(row, this);
    oldName->setObjectName(QString::fromLatin1(names.oldEdit));
    oldName->setGeometry(32, 24, 265, 21);
    oldName->setReadOnly(true);
    oldName->setFocusPolicy(Qt::ClickFocus);
    auto* newLabel = new QLabel(QString::fromUtf8(names.newLabel), this);
    newLabel->setGeometry(32, 54, 265, 17);
    newName = new QLineEdit(row, this);
    newName->setObjectName(QString::fromLatin1(names.newEdit));
    newName->setGeometry(32, 72, 265, 21);
    okButton = new QPushButton("Ok!", this);
    okButton->setObjectName(QString::fromLatin1(names.okButton));
    okButton->setGeometry(80, 112, 75, 25);
    okButton->setAutoDefault(false);
    cancelButton = new QPushButton("Отмена", this);
    cancelButton->setObjectName(QString::fromLatin1(names.cancelButton));
    cancelButton->setGeometry(168, 112, 75, 25);
    cancelButton->setAutoDefault(false);
    setTabOrder(newName, okButton);
    setTabOrder(okButton, cancelButton);
    connect(okButton, &QPushButton::clicked, this, &RenameDialog::OkClick);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    newName->setFocus();
    CenterOnMainWindow(*this, main);
    qApp->installEventFilter(this);
}

RenameDialog::~RenameDialog() {
    qApp->removeEventFilter(this);
}

void RenameDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    newName->setFocus();
}

void RenameDialog::OkClick() {
    const QString wanted = newName->text();
    if (wanted.isEmpty()) {
        return;
    }
    if (IsUnsafeFileName(wanted)) {
        WarnUnsafeFileName(this);
        return;
    }
    if (target_.rows().contains(wanted)) {
        ShowWarning(this, "Предупреждение о совпадении",
                    "Файл с таким именем уже существует.\n Выберите другое имя.");
        return;
    }
    const QString from = target_.folder + "/" + oldName->text() + target_.extension;
    const QString to = target_.folder + "/" + wanted + target_.extension;
    // QFile::rename never replaces an existing file.
    if (!QFile::rename(from, to)) {
        ShowError(this, "Ошибка при переименовании", "Не удалось переименовать файл.");
        return;
    }
    target_.renamed();
    accept();
}

// Keys are seen before the focused control: Enter renames, Esc closes.
bool RenameDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this) {
        return QDialog::eventFilter(watched, event);
    }
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OkClick();
            return true;
        case Qt::Key_Escape:
            reject();
            return true;
        default:
            return QDialog::eventFilter(watched, event);
    }
}

}  // namespace ombrilo
