#include "U_enterc.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

#include "ui/decimal_separator.h"
#include "ui/number_text.h"

namespace ombrilo {

namespace {

// The fewest significant digits, from 15 on, whose text reads back as the same double (17
// always do).
std::string ShortestText(double value) {
    for (int digits = 15;; ++digits) {
        const std::string text = FormatGeneral(value, digits, DecimalSeparator());
        if (digits >= 17 || ParseDecimal(text, DecimalSeparator()) == value) {
            return text;
        }
    }
}

// Reads one field; shows why it is not a number beside it.
std::optional<double> ReadField(QLineEdit* field, QLabel* error) {
    const TypedCoefficient typed =
        ParseTypedCoefficient(field->text().toStdString(), DecimalSeparator());
    error->setText(QString::fromStdString(typed.error));
    error->setVisible(!typed.value);
    return typed.value;
}

}  // namespace

TEnterCForm::TEnterCForm(QWidget* owner, double cx, double cy) : QDialog(owner) {
    setObjectName("EnterCForm");
    setWindowTitle("Задать C");
    auto* grid = new QGridLayout(this);
    ReCEdit = AddField(grid, 0, "Re(C):", cx, ReCError, "ReC");
    ImCEdit = AddField(grid, 2, "Im(C):", cy, ImCError, "ImC");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("EnterCButtons");
    buttons->button(QDialogButtonBox::Ok)->setText("Задать");
    buttons->button(QDialogButtonBox::Cancel)->setText("Отмена");
    connect(buttons, &QDialogButtonBox::accepted, this, &TEnterCForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TEnterCForm::reject);
    grid->addWidget(buttons, 4, 0, 1, 2);
    setAttribute(Qt::WA_DeleteOnClose);
}

QLineEdit* TEnterCForm::AddField(QGridLayout* grid, int row, const QString& caption, double value,
                                 QLabel*& error, const QString& name) {
    auto* label = new QLabel(caption, this);
    auto* field = new QLineEdit(QString::fromStdString(ShortestText(value)), this);
    field->setObjectName(name + "Edit");
    field->setAccessibleName(caption.chopped(1));
    field->setMinimumWidth(200);
    label->setBuddy(field);
    error = new QLabel(this);
    error->setObjectName(name + "Error");
    error->setAccessibleName("Ошибка " + caption.chopped(1));
    error->setStyleSheet("color: #b00000;");
    error->hide();
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    grid->addWidget(error, row + 1, 1);
    return field;
}

void TEnterCForm::accept() {
    const std::optional<double> cx = ReadField(ReCEdit, ReCError);
    const std::optional<double> cy = ReadField(ImCEdit, ImCError);
    if (!cx || !cy) {
        (cx ? ImCEdit : ReCEdit)->setFocus();
        return;
    }
    emit cEntered(*cx, *cy);
    QDialog::accept();
}

}  // namespace ombrilo
