#pragma once

namespace ombrilo {

// The decimal separator of the user's locale (a full stop where it is not a single ASCII sign).
char DecimalSeparator();

}  // namespace ombrilo
