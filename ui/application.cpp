#include "application.h"

#include <QLibraryInfo>

#include <exception>

#include "resources/program_pictures.h"
#include "ui/accessible_names.h"
#include "ui/dialogs.h"

namespace ombrilo {

OmbriloApplication::OmbriloApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Ombrilo");
    setApplicationDisplayName(kApplicationTitle);
    setApplicationVersion(OMBRILO_VERSION);
    // Ties the windows to the desktop entry (its icon and name in the task bar on Wayland).
    setDesktopFileName("org.example.Ombrilo");
    setWindowIcon(ApplicationIcon());
    InstallAccessibleNames();
    // Buttons of the toolkit's own dialogs read "Да", "Нет", "Отмена"; without the file the
    // toolkit's English texts stay.
    if (translator_.load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(&translator_);
    }
}

bool OmbriloApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(error.what());
    } catch (...) {
        ShowException("Неизвестная ошибка.");
    }
    return false;
}

void OmbriloApplication::ShowException(const char* what) {
    ShowError(nullptr, applicationDisplayName(), QString::fromUtf8(what));
}

}  // namespace ombrilo
