// `cloudview weather FILE --list`, run as a user runs it.
#include <gtest/gtest.h>

#include <string>

#include "support/test_util.h"
#include "weather/weather_files.h"

namespace {

CommandRun weather(const std::string &dir, const std::string &args)
{
    return runWithErrors(std::string(CLOUDVIEW) + " weather " + args + " 2>'" + dir + "/err.txt'",
                         dir + "/err.txt");
}

}  // namespace

TEST(WeatherList, GfsForecastListsLevelsTimesGridAndTheRest)
{
    const std::string dir = weatherTempDir();
    const std::string gfs = std::string(EXAMPLES) + "/weather/gfs_clouds.grib2";
    const CommandRun run = weather(dir, "'" + gfs + "' --list");
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 12u) << run.out;
    EXPECT_EQ(lines[0], gfs + ": GRIB, 6 cloud cover fields");
    EXPECT_EQ(lines[1], "  low         2011-01-15 12:00 UTC  percent         TCDC 0-LCY, band 29");
    EXPECT_EQ(lines[6], "  boundary    2011-01-15 12:00 UTC  percent         TCDC 0-BCY, band 42");
    EXPECT_EQ(lines[7], "grid: 144 x 73 cells of 2.5 x 2.5 degrees");
    EXPECT_EQ(lines[8], "cell centres: longitude 0 to 357.5, latitude -90 to 90");
    EXPECT_EQ(lines[9], "extent (W,S,E,N): -1.25,-91.25,358.75,91.25 degrees");
    EXPECT_EQ(lines[10], "coordinate system: Coordinate System imported from GRIB file");
    EXPECT_EQ(lines[11], "also in the file: HGT (27 levels), PRES (9 levels)");
}

TEST(WeatherList, BadInputIsRefusedWithExitTwoAndNothingOnStandardOutput)
{
    const std::string dir = weatherTempDir();
    const std::string dem = writeOneBand(dir + "/dem.tif", "Float32",
                                         [](int c, int r) { return 300.0 + c + r; }, "metre");
    CommandRun run = weather(dir, "'" + dem + "' --list");
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "cloudview: " + dem + ": no cloud cover in it; it holds: 1 band of Float32, in metre\n");

    run = weather(dir, "'" + dir + "/missing.nc' --list");
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "cloudview: " + dir + "/missing.nc: no such file\n");
}
