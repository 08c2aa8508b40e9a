#include "weather/valid_time.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace weather {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, so
// that dates before 1970 (ERA5 counts from 1900) need no time zone tricks.
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

std::optional<double> secondsPer(const std::string &unit)
{
    if (unit == "days" || unit == "day" || unit == "d")
        return 86400.0;
    if (unit == "hours" || unit == "hour" || unit == "h" || unit == "hrs")
        return 3600.0;
    if (unit == "minutes" || unit == "minute" || unit == "min")
        return 60.0;
    if (unit == "seconds" || unit == "second" || unit == "s" || unit == "sec")
        return 1.0;
    return std::nullopt;
}

}  // namespace

std::optional<std::time_t> cfTime(double value, const std::string &units)
{
    std::istringstream in(units);
    std::string unit, since, date;
    in >> unit >> since >> date;
    const std::optional<double> step = secondsPer(unit);
    if (!step || since != "since" || !std::isfinite(value))
        return std::nullopt;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0;
    char tail[64] = "";
    if (std::sscanf(date.c_str(), "%d-%d-%d%63s", &y, &mo, &d, tail) < 3 || mo < 1 || mo > 12 ||
        d < 1 || d > 31)
        return std::nullopt;
    // The clock comes after a "T" in the same word, or as the next word.
    std::string clock = tail[0] == 'T' ? std::string(tail + 1) : std::string();
    if (clock.empty())
        in >> clock;
    if (!clock.empty() && std::sscanf(clock.c_str(), "%d:%d:%lf", &h, &mi, &s) < 1)
        return std::nullopt;
    const double epoch = static_cast<double>(daysFromCivil(y, mo, d)) * 86400.0 + h * 3600.0 +
                         mi * 60.0 + s;
    return static_cast<std::time_t>(std::llround(epoch + value * *step));
}

std::string formatUtc(std::time_t t)
{
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm);
    return text;
}

}  // namespace weather
