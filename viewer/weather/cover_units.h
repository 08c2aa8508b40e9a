// cover_units.h — whether a cover field counts in fractions (0..1) or in
// percent (0..100): from the units a file names, or from the values.
#ifndef CLOUDS_VIEWER_WEATHER_COVER_UNITS_H
#define CLOUDS_VIEWER_WEATHER_COVER_UNITS_H

#include <optional>
#include <string>

namespace weather {

enum class CoverUnits { Fraction, Percent };

// "fraction (0-1)" or "percent".
const char *unitsName(CoverUnits units);

// Reads the units text files write for cover: "1", "0-1", "(0 - 1)",
// "fraction" as fractions; "%", "[%]", "percent" as percent. Nothing for
// any other text, the empty text included.
std::optional<CoverUnits> parseCoverUnits(const std::string &text);

// From the values alone: largest at most 1 is a fraction, at most 100 a
// percentage. Cover is never negative: nothing below 0, nor above 100.
std::optional<CoverUnits> unitsFromRange(double min, double max);

}  // namespace weather

#endif
