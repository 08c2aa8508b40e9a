#include "weather/cover_units.h"

#include <algorithm>
#include <cctype>

namespace weather {

const char *unitsName(CoverUnits units)
{
    return units == CoverUnits::Fraction ? "fraction (0-1)" : "percent";
}

std::optional<CoverUnits> parseCoverUnits(const std::string &text)
{
    // Spaces, brackets and case differ between writers: "(0 - 1)", "[%]".
    std::string t;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)) && c != '(' && c != ')' && c != '[' &&
            c != ']')
            t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (t == "1" || t == "0-1" || t == "fraction" || t == "dimensionless")
        return CoverUnits::Fraction;
    if (t == "%" || t == "percent" || t == "0-100")
        return CoverUnits::Percent;
    return std::nullopt;
}

std::optional<CoverUnits> unitsFromRange(double min, double max)
{
    if (!(min >= 0) || !(max >= min))
        return std::nullopt;
    if (max <= 1)
        return CoverUnits::Fraction;
    if (max <= 100)
        return CoverUnits::Percent;
    return std::nullopt;
}

}  // namespace weather
