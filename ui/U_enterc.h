#pragma once

#include <QDialog>

class QGridLayout;
class QLabel;
class QLineEdit;

namespace ombrilo {

// "Задать C": two fields for Re(C) and Im(C), typed exactly. Enter takes the C when both texts
// are numbers the sliders' range holds; otherwise the reason shows next to the field and the
// window stays.
class TEnterCForm : public QDialog {
    Q_OBJECT

public:
    TEnterCForm(QWidget* owner, double cx, double cy);

    QLineEdit* ReCEdit = nullptr;
    QLineEdit* ImCEdit = nullptr;

signals:
    void cEntered(double cx, double cy);

protected:
    void accept() override;

private:
    QLineEdit* AddField(QGridLayout* grid, int row, const QString& caption, double value,
                        QLabel*& error, const QString& name);

    QLabel* ReCError = nullptr;
    QLabel* ImCError = nullptr;
};

}  // namespace ombrilo
