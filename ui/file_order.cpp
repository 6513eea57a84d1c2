#include "file_order.h"

namespace ombrilo {

bool FileNameLess(const QString& a, const QString& b) {
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    // Names equal but for case still get one fixed order.
    return folded != 0 ? folded < 0 : a < b;
}

}  // namespace ombrilo
