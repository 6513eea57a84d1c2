#pragma once

#include <QWidget>

class QTextEdit;

namespace ombrilo {

// The program's manual, read from Description.rtf in the start folder; a short note when the
// file is not there. Every Descript command opens one more of these windows.
class TDscrptForm : public QWidget {
    Q_OBJECT

public:
    // Placed over the main window, its parent; reads the manual from startFolder.
    TDscrptForm(QWidget& main, const QString& startFolder);

    QTextEdit* RichEdit1 = nullptr;

    static constexpr int kWidth = 414;
    static constexpr int kHeight = 480;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void LoadDescription(const QString& folder);
};

// The four lines shown when Description.rtf is missing.
QString MissingDescriptionNote();

}  // namespace ombrilo
