// The local time zone's bias: UTC minus local standard time, in minutes
// (daylight saving not applied), from the C library's zone data.
#pragma once

namespace velkor {

int GetTimeZoneBiasMinutes();

}  // namespace velkor
