// Finding the cloud cover in GRIB, NetCDF and one-band rasters, and
// refusing files without it.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "weather/cloud_fields.h"
#include "weather/valid_time.h"
#include "weather/weather_files.h"

using namespace weather;

namespace {

const std::string kGfs = std::string(EXAMPLES) + "/weather/gfs_clouds.grib2";

std::string errorOf(const std::string &file)
{
    try {
        findCloudFields(file);
    } catch (const WeatherError &e) {
        return e.what();
    }
    return "no error";
}

// Two ERA5-like steps of total cover stored as scaled shorts, a layer
// variable known only by its standard name, and a temperature.
const char *kEra5Cdl = R"cdl(netcdf era {
dimensions: time = 2 ; latitude = 3 ; longitude = 4 ;
variables:
  int time(time) ; time:units = "hours since 1900-01-01 00:00:00.0" ; time:calendar = "gregorian" ;
  float latitude(latitude) ; latitude:units = "degrees_north" ;
  float longitude(longitude) ; longitude:units = "degrees_east" ;
  short tcc(time, latitude, longitude) ; tcc:units = "(0 - 1)" ;
    tcc:scale_factor = 0.0001 ; tcc:add_offset = 0. ;
  float ch(latitude, longitude) ; ch:standard_name = "cloud_area_fraction_in_atmosphere_layer" ;
    ch:long_name = "High cloud area fraction" ; ch:units = "%" ;
  float t2m(latitude, longitude) ; t2m:units = "K" ;
data:
  time = 978312, 978318 ;
  latitude = 50, 49, 48 ; longitude = 350, 351, 352, 353 ;
  tcc = 0, 1000, 5000, 10000, 0, 0, 0, 0, 1, 2, 3, 4,  5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7 ;
  ch = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 ;
  t2m = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 ;
})cdl";

}  // namespace

TEST(CloudFields, GfsForecastGivesEachCloudLayerInPercentAtItsValidTime)
{
    const WeatherContents c = findCloudFields(kGfs);
    EXPECT_EQ(c.format, "GRIB");
    ASSERT_EQ(c.fields.size(), 6u);
    const CloudLevel levels[] = {CloudLevel::Low,   CloudLevel::Middle,     CloudLevel::High,
                                 CloudLevel::Total, CloudLevel::Convective, CloudLevel::Boundary};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(c.fields[i].level, levels[i]) << i;
        EXPECT_EQ(c.fields[i].units, CoverUnits::Percent);
        EXPECT_TRUE(c.fields[i].hasTime);
        EXPECT_EQ(formatUtc(c.fields[i].validTime), "2011-01-15 12:00 UTC");
    }
    EXPECT_EQ(c.fields[0].name, "TCDC 0-LCY");
    EXPECT_EQ(c.fields[0].band, 29);
    // The file's own longitudes, cell centres 0..357.5, not GDAL's shift.
    EXPECT_EQ(c.grid.width, 144);
    EXPECT_EQ(c.grid.height, 73);
    EXPECT_DOUBLE_EQ(c.grid.transform[1], 2.5);
    EXPECT_DOUBLE_EQ(c.grid.transform[0] + c.grid.transform[1] / 2, 0.0);
    EXPECT_TRUE(c.grid.geographic);
    EXPECT_DOUBLE_EQ(c.grid.west, -1.25);
    EXPECT_DOUBLE_EQ(c.grid.east, 358.75);
    EXPECT_DOUBLE_EQ(c.grid.north, 91.25);
    ASSERT_EQ(c.others.size(), 2u);
    EXPECT_EQ(c.others[0], "HGT (27 levels)");
    EXPECT_EQ(c.others[1], "PRES (9 levels)");
}

TEST(CloudFields, NetcdfVariablesByEra5NameAndByStandardName)
{
    const std::string nc = writeNetcdf(weatherTempDir(), "era", kEra5Cdl);
    const WeatherContents c = findCloudFields(nc);
    EXPECT_EQ(c.format, "netCDF");
    ASSERT_EQ(c.fields.size(), 3u);
    // One field per time step, the time from the time variable's units.
    EXPECT_EQ(c.fields[0].name, "tcc");
    EXPECT_EQ(c.fields[0].level, CloudLevel::Total);
    EXPECT_EQ(c.fields[0].units, CoverUnits::Fraction);
    EXPECT_DOUBLE_EQ(c.fields[0].scale, 0.0001);
    EXPECT_EQ(formatUtc(c.fields[0].validTime), "2011-08-10 00:00 UTC");
    EXPECT_EQ(formatUtc(c.fields[1].validTime), "2011-08-10 06:00 UTC");
    EXPECT_EQ(c.fields[1].band, 2);
    EXPECT_EQ(c.fields[0].source, "NETCDF:\"" + nc + "\":tcc");
    EXPECT_EQ(c.fields[2].level, CloudLevel::High);
    EXPECT_EQ(c.fields[2].units, CoverUnits::Percent);
    EXPECT_FALSE(c.fields[2].hasTime);
    EXPECT_EQ(c.others, std::vector<std::string>{"t2m"});
    EXPECT_TRUE(c.grid.crsAssumed);
    // GDAL's NetCDF reader counts longitudes that all lie past 180 west.
    EXPECT_DOUBLE_EQ(c.grid.west, -10.5);
    EXPECT_DOUBLE_EQ(c.grid.south, 47.5);
}

TEST(CloudFields, NetcdfOfOneVariableWithoutUnitsIsToldByItsValues)
{
    const std::string nc = writeNetcdf(weatherTempDir(), "one", R"cdl(netcdf one {
dimensions: lat = 2 ; lon = 2 ;
variables:
  float lat(lat) ; lat:units = "degrees_north" ;
  float lon(lon) ; lon:units = "degrees_east" ;
  float lcc(lat, lon) ;
data: lat = 1, 0 ; lon = 0, 1 ; lcc = 0, 0.25, 0.5, 1 ;
})cdl");
    const WeatherContents c = findCloudFields(nc);
    ASSERT_EQ(c.fields.size(), 1u);
    EXPECT_EQ(c.fields[0].level, CloudLevel::Low);
    EXPECT_EQ(c.fields[0].units, CoverUnits::Fraction);
}

TEST(CloudFields, NetcdfCoverInUnitsOfItsOwnIsRefused)
{
    const std::string nc = writeNetcdf(weatherTempDir(), "okta", R"cdl(netcdf okta {
dimensions: lat = 2 ; lon = 2 ;
variables:
  float tcc(lat, lon) ; tcc:units = "okta" ;
  float t2m(lat, lon) ;
data: tcc = 0, 2, 4, 8 ; t2m = 1, 2, 3, 4 ;
})cdl");
    EXPECT_NE(errorOf(nc).find("okta.nc: tcc: cannot tell the units of cloud cover \"okta\""),
              std::string::npos)
        << errorOf(nc);
}

TEST(CloudFields, OneBandGeoTiffMaskOrPercentField)
{
    const std::string dir = weatherTempDir();
    const WeatherContents mask =
        findCloudFields(writeOneBand(dir + "/mask.tif", "Byte", [](int c, int) { return c % 2; }));
    ASSERT_EQ(mask.fields.size(), 1u);
    EXPECT_EQ(mask.fields[0].units, CoverUnits::Fraction);
    EXPECT_FALSE(mask.fields[0].hasTime);
    // UTM 25 S near Olinda: the extent is given in longitude and latitude.
    EXPECT_EQ(mask.grid.crsName, "WGS 84 / UTM zone 25S");
    EXPECT_NEAR(mask.grid.west, -34.9, 0.1);
    EXPECT_NEAR(mask.grid.north, -7.95, 0.1);
    EXPECT_LT(mask.grid.south, mask.grid.north);

    const WeatherContents percent = findCloudFields(
        writeOneBand(dir + "/cover.tif", "Float32", [](int c, int r) { return c * 6.0 + r / 4.0; }));
    EXPECT_EQ(percent.fields[0].units, CoverUnits::Percent);
    // Units named by the file win over the values.
    const WeatherContents named = findCloudFields(
        writeOneBand(dir + "/named.tif", "Float32", [](int, int) { return 0.5; }, "%"));
    EXPECT_EQ(named.fields[0].units, CoverUnits::Percent);
}

TEST(CloudFields, HeightModelsAndImagesAreRefusedNamingWhatTheyHold)
{
    const std::string dir = weatherTempDir();
    const std::string dem = writeOneBand(dir + "/dem.tif", "Float32",
                                         [](int c, int r) { return 200.0 + 100 * c + r; }, "m");
    EXPECT_EQ(errorOf(dem), dem + ": no cloud cover in it; it holds: 1 band of Float32, in m");
    const std::string bare =
        writeOneBand(dir + "/bare.tif", "Int16", [](int c, int) { return 200.0 * c; });
    EXPECT_EQ(errorOf(bare),
              bare + ": no cloud cover in it; it holds: 1 band of Int16, values 0 to 3000");
    // A coastal model stays within 0..100 but for its sea, below 0.
    const std::string olinda = std::string(EXAMPLES) + "/olinda_dem_utm25s.tif";
    EXPECT_NE(errorOf(olinda).find("no cloud cover in it; it holds: 1 band of Float32, values -1"),
              std::string::npos);
    EXPECT_EQ(errorOf(std::string(EXAMPLES) + "/olinda_l7_rgb.tif"),
              std::string(EXAMPLES) + "/olinda_l7_rgb.tif: no cloud cover in it; it holds: 3 bands of Byte");
}

TEST(CloudFields, CloudBandWhoseUnitsCannotBeToldIsRefused)
{
    const std::string dir = weatherTempDir();
    const std::string mask = writeOneBand(dir + "/mask.tif", "Byte", [](int c, int) { return c * 16.0; },
                                          "", "cloud mask");
    EXPECT_NE(errorOf(mask).find("mask.tif: cannot tell the units of its cloud cover"), std::string::npos)
        << errorOf(mask);
}

TEST(CloudFields, UnreadableAndMissingFilesSayWhy)
{
    const std::string dir = weatherTempDir();
    EXPECT_EQ(errorOf(dir + "/none.grib2"), dir + "/none.grib2: no such file");
    const std::string text = dir + "/notes.txt";
    std::ofstream(text) << "low cloud tomorrow\n";
    EXPECT_EQ(errorOf(text), text + ": cannot read it: not a raster format GDAL reads");
    // Names GDAL would take for memory or the network are not files.
    EXPECT_EQ(errorOf("/vsicurl/http://example.com/gfs.grib2"),
              "/vsicurl/http://example.com/gfs.grib2: no such file");
}

TEST(ValidTime, CfUnitsCountFromTheirEpoch)
{
    EXPECT_EQ(cfTime(978312, "hours since 1900-01-01 00:00:00.0"), std::time_t(1312934400));
    EXPECT_EQ(cfTime(1.5, "days since 2011-01-15"), std::time_t(1295049600 + 129600));
    EXPECT_EQ(cfTime(60, "minutes since 2011-01-15T12:00:00Z"), std::time_t(1295092800 + 3600));
    EXPECT_EQ(cfTime(0, "seconds since 1970-01-01 06:30"), std::time_t(23400));
    EXPECT_EQ(cfTime(1, "fortnights since 1970-01-01"), std::nullopt);
    EXPECT_EQ(cfTime(1, "hours after 1970-01-01"), std::nullopt);
}

TEST(CoverUnits, WritersSpellingsAndRanges)
{
    for (const char *f : {"1", "0-1", "(0 - 1)", "Fraction"})
        EXPECT_EQ(parseCoverUnits(f), CoverUnits::Fraction) << f;
    for (const char *p : {"%", "[%]", "percent", "Percent"})
        EXPECT_EQ(parseCoverUnits(p), CoverUnits::Percent) << p;
    EXPECT_EQ(parseCoverUnits("okta"), std::nullopt);
    EXPECT_EQ(parseCoverUnits(""), std::nullopt);
    EXPECT_EQ(unitsFromRange(0, 1), CoverUnits::Fraction);
    EXPECT_EQ(unitsFromRange(0, 100), CoverUnits::Percent);
    EXPECT_EQ(unitsFromRange(0, 100.5), std::nullopt);
    EXPECT_EQ(unitsFromRange(-1, 50), std::nullopt);
}
