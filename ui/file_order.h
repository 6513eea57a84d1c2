#pragma once

#include <QString>

namespace ombrilo {

// The order of file names in the browsers and the slide show: ignoring case, then exactly.
bool FileNameLess(const QString& a, const QString& b);

}  // namespace ombrilo
