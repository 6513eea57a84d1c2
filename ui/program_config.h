#pragma once

#include <QSettings>

#include <memory>

namespace ombrilo {

// The program's configuration file, $XDG_CONFIG_HOME/Ombrilo/Ombrilo.conf: what the windows keep
// between runs beyond settings.dat (places and sizes, the map's view), which keeps its own fixed
// record. Each caller opens it briefly; Qt writes it back when the object goes.
std::unique_ptr<QSettings> ProgramConfig();

}  // namespace ombrilo
