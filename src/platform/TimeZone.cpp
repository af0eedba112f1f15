#include "platform/TimeZone.h"

#include <ctime>

namespace velkor {

int GetTimeZoneBiasMinutes() {
    tzset();
    return static_cast<int>(timezone / 60);  // seconds west of UTC
}

}  // namespace velkor
