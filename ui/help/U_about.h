#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

namespace ombrilo {

// The about window: the program's name, version, web page and e-mail address.
class TAboutForm : public QDialog {
    Q_OBJECT

public:
    // Placed over the main window, its parent.
    explicit TAboutForm(QWidget& main);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* GoodByePicture = nullptr;
    QPushButton* CloseButton = nullptr;

    static const QUrl& WebPage();
    static const QUrl& MailAddress();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closes without the dialog's reject(), which itself closes the window.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
};

// Opens an address with the user's default program; the desktop's service unless a test has
// put its own in place (an empty function restores it). A failure is not reported.
using UrlOpener = std::function<void(const QUrl&)>;
void SetUrlOpener(UrlOpener opener);
void OpenUrl(const QUrl& url);

}  // namespace ombrilo
