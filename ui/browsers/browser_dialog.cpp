#include "browser_dialog.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ui/browsers/browser_common.h"
#include "ui/dialogs.h"

namespace ombrilo {

BrowserDialog::BrowserDialog(const BrowserSetup& setup, const char* objectName, QSize size)
    : QDialog(&setup.owner),
      owner_(setup.owner),
      ownerView_(setup.ownerView),
      overFullScreen_(setup.overFullScreen),
      folder_(setup.folder),
      state_(setup.state),
      choice_(setup.choice),
      openMode_(setup.openMode) {
    choice_.confirmed = false;
    setObjectName(objectName);
    setModal(true);
    UseDialogFont(*this);
    if (overFullScreen_) {
        setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    setFixedSize(size);
}

void BrowserDialog::Place() {
    PlaceBrowser(*this, owner_, ownerView_, overFullScreen_);
}

BrowserDialog::~BrowserDialog() {
    qApp->removeEventFilter(this);
}

void BrowserDialog::WatchControls(const Controls& controls) {
    controls_ = controls;
    controls_.list->viewport()->installEventFilter(this);
    connect(controls_.list, &QListWidget::currentRowChanged, this, [this](int) {
        pressChangedRow_ = true;
        if (!filling_) {
            ListClick();
        }
    });
    // A click on the row that is selected already still counts as a selection.
    connect(controls_.list, &QListWidget::clicked, this, [this] {
        if (!pressChangedRow_) {
            ListClick();
        }
    });
    qApp->installEventFilter(this);
}

int BrowserDialog::ShowModal() {
    const int result = Dialogs().Exec(*this);
    if (!closed_) {
        done(result == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected);
    }
    return this->result();
}

QStringList BrowserDialog::Rows() const {
    QStringList rows;
    for (int i = 0; i < controls_.list->count(); ++i) {
        rows.append(controls_.list->item(i)->text());
    }
    return rows;
}

QString BrowserDialog::NameToSave() {
    const QString name = controls_.name->text();
    if (name.isEmpty()) {
        return {};
    }
    if (IsUnsafeFileName(name)) {
        WarnUnsafeFileName(this);
        return {};
    }
    if (Rows().contains(name) &&
        !AskYesNo(this, "Подтверждение замены файла",
                  "Файл с таким именем уже существует.\n Заменить существующий файл?")) {
        return {};
    }
    return name;
}

int BrowserDialog::RowForFileCommand() const {
    return openMode_ ? controls_.list->currentRow() : -1;
}

bool BrowserDialog::RemoveFileOfRow(int row, int& rememberedRow) {
    if (!QFile::remove(RowPath(controls_.list->item(row)->text()))) {
        ShowError(this, "Ошибка удаления файла", "Файл удалить не удалось");
        return false;
    }
    if (rememberedRow > 0) {
        --rememberedRow;
    }
    return true;
}

void BrowserDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (openMode_) {
        controls_.list->setFocus();
    } else {
        controls_.name->setFocus();
    }
}

void BrowserDialog::Confirm() {
    if (!openMode_) {
        SaveClick();
    } else if (controls_.open->isEnabled()) {
        done(QDialog::Accepted);
    }
}

void BrowserDialog::DoubleClicked() {
    emit confirmedByDoubleClick();
    Confirm();
}

bool BrowserDialog::FormKeyDown(int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Confirm();
            return true;
        case Qt::Key_Escape:
            done(QDialog::Rejected);
            return true;
        case Qt::Key_Delete:
            if (!openMode_) {
                return false;
            }
            if (AskYesNo(this, "Подтверждение удаления файла", "Удалить выбранный файл?")) {
                DeleteSelected();
            }
            return true;
        case Qt::Key_R:
            if (!openMode_) {
                return false;
            }
            RenameSelected();
            return true;
        default:
            return false;
    }
}

bool BrowserDialog::eventFilter(QObject* watched, QEvent* event) {
    const bool mine = watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this;
    if (!mine || closed_) {
        return QDialog::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::KeyPress:
            // Keys handled here are not passed on, so that propagation to the parents does not
            // repeat them.
            return FormKeyDown(static_cast<QKeyEvent*>(event)->key());
        case QEvent::MouseButtonPress:
            if (watched == controls_.list->viewport()) {
                pressChangedRow_ = false;
            }
            break;
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
                break;
            }
            if (watched == controls_.list->viewport() || watched == controls_.name ||
                watched == controls_.preview) {
                DoubleClicked();
                return true;
            }
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace ombrilo
