#include <QDir>
#include <QFile>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "ui/U_mainform.h"
#include "ui/application.h"
#include "ui/command_line.h"
#include "ui/open_file.h"
#include "ui/user_folder.h"

namespace {

// The help, the version and a refused command line need no window, nor a display.
int AnswerWithoutWindow(const ombrilo::ProgramCommand& command) {
    if (std::holds_alternative<ombrilo::ProgramHelpRequest>(command)) {
        std::fputs(ombrilo::ProgramUsageText().c_str(), stdout);
        return 0;
    }
    if (std::holds_alternative<ombrilo::ProgramVersionRequest>(command)) {
        std::fputs(ombrilo::ProgramVersionText().c_str(), stdout);
        return 0;
    }
    const auto& refused = std::get<ombrilo::ProgramUsageError>(command);
    std::fprintf(stderr, "ombrilo: %s\nСправка: ombrilo --help\n", refused.message.c_str());
    return ombrilo::kExitBadCommandLine;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ombrilo::ProgramCommand command = ombrilo::ParseProgramArguments(args);
    const auto* start = std::get_if<ombrilo::StartRequest>(&command);
    if (start == nullptr) {
        return AnswerWithoutWindow(command);
    }
    // A file named relative to the folder the program was started in, before the user's
    // folder becomes the current one.
    QString file;
    if (start->file) {
        file = QDir::current().absoluteFilePath(QFile::decodeName(start->file->c_str()));
    }

    ombrilo::OmbriloApplication app(argc, argv);
    if (start->userFolder && !ombrilo::EnterUserFolder()) {
        return ombrilo::kExitUserFolderFailed;
    }
    try {
        ombrilo::TMainForm form;
        form.show();
        if (!file.isEmpty()) {
            ombrilo::OpenFileInMainWindow(form, file);
        }
        return app.exec();
    } catch (const std::exception& error) {
        ombrilo::OmbriloApplication::ShowException(error.what());
    }
    return 1;
}
