// valid_time.h — forecast times: CF's "hours since 1900-01-01 00:00:00"
// counts (standard calendar), and the text a listing shows.
#ifndef CLOUDS_VIEWER_WEATHER_VALID_TIME_H
#define CLOUDS_VIEWER_WEATHER_VALID_TIME_H

#include <ctime>
#include <optional>
#include <string>

namespace weather {

// The moment `value` units after the epoch a CF units text names
// ("days|hours|minutes|seconds since YYYY-MM-DD[ T]hh[:mm[:ss]]", UTC);
// nothing when the text is not of that form.
std::optional<std::time_t> cfTime(double value, const std::string &units);

// "2011-01-15 12:00 UTC".
std::string formatUtc(std::time_t t);

}  // namespace weather

#endif
