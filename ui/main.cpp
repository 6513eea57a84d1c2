#include <exception>

#include "ui/U_mainform.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    ombrilo::OmbriloApplication app(argc, argv);
    try {
        ombrilo::TMainForm form;
        form.show();
        return app.exec();
    } catch (const std::exception& error) {
        ombrilo::OmbriloApplication::ShowException(error.what());
    }
    return 1;
}
