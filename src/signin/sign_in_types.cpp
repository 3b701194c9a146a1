#include "sign_in_types.h"

namespace tramelo::signin {

Clock systemClock()
{
    return [] { return QDateTime::currentDateTimeUtc(); };
}

} // namespace tramelo::signin
