#pragma once

#include <QApplication>
#include <QTranslator>

#include "ombrilo/program_version.h"

namespace ombrilo {

inline constexpr const char* kApplicationTitle = "Ombrilo " OMBRILO_VERSION;
// The program's web page and its authors' mail address.
inline constexpr const char* kProgramPage = "https://ombrilo.example.org/";
inline constexpr const char* kProgramMail = "ombrilo@example.org";

// The application object: the program's title and icon, the toolkit's Russian texts, and the
// standard error box for anything that escapes an event handler.
class OmbriloApplication : public QApplication {
public:
    OmbriloApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the message box for an exception that reached the event loop.
    static void ShowException(const char* what);

private:
    QTranslator translator_;
};

}  // namespace ombrilo
