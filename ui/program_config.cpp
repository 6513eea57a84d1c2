#include "program_config.h"

namespace ombrilo {

std::unique_ptr<QSettings> ProgramConfig() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Ombrilo",
                                       "Ombrilo");
}

}  // namespace ombrilo
