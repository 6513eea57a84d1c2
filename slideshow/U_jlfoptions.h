#pragma once

#include <QDialog>

#include <cstdint>

class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace ombrilo {

// The slide show's options: the delay of a slide (1 to 20 seconds) and the order of the
// slides. "Ok!" hands them back (optionsChosen); the main window keeps them in settings.dat.
class TJLFOptions : public QDialog {
    Q_OBJECT

public:
    TJLFOptions(QWidget& main, int slideDelay, std::uint8_t slideOrder);

    void BTIntervalChange(int position);
    void ButOkeyClick();
    void CanButClick();

    QLineEdit* TimeInterval = nullptr;
    QSlider* BTInterval = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QPushButton* ButOkey = nullptr;
    QPushButton* CanBut = nullptr;

signals:
    // "Ok!": the delay in seconds and the order (0 sequential, 1 random).
    void optionsChosen(int slideDelay, std::uint8_t slideOrder);

protected:
    // Closes without the dialog's reject(), which leaves the window open.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
};

}  // namespace ombrilo
