#include "decimal_separator.h"

#include <QLocale>
#include <QString>

namespace ombrilo {

char DecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 128 ? point[0].toLatin1() : '.';
}

}  // namespace ombrilo
