#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace ombrilo {

class TMainForm;

// The slide show's options: the delay of a slide (1 to 20 seconds) and the order of the
// slides. "Ok!" stores them in the main window, which keeps them in settings.dat.
class TJLFOptions : public QDialog {
    Q_OBJECT

public:
    explicit TJLFOptions(TMainForm& main);

    void BTIntervalChange(int position);
    void ButOkeyClick();
    void CanButClick();

    QLineEdit* TimeInterval = nullptr;
    QSlider* BTInterval = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QPushButton* ButOkey = nullptr;
    QPushButton* CanBut = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    TMainForm& main_;
};

}  // namespace ombrilo
