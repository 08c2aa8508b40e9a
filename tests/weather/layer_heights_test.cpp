// Cloud bases and tops: the standard atmosphere, profiles of pressure
// levels, the WMO étages, and a real GFS forecast's layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "terrain/gdal_util.h"
#include "weather/layer_heights.h"
#include "weather/open_weather.h"
#include "weather/weather_files.h"

using namespace weather;

namespace {

const std::string kGfs = std::string(EXAMPLES) + "/weather/gfs_clouds.grib2";
const double kNaN = std::numeric_limits<double>::quiet_NaN();

const CloudField &fieldOf(const WeatherContents &c, CloudLevel level)
{
    for (const CloudField &f : c.fields)
        if (f.level == level)
            return f;
    throw std::runtime_error(std::string("no ") + levelName(level) + " field");
}

// The field's cover as the file gives it, cell by cell on the same grid.
std::vector<double> coverOf(const WeatherContents &c, const CloudField &f)
{
    terrain::QuietGdal quiet;
    const terrain::Dataset d = openWeatherFile(f.source);
    std::vector<double> cover(static_cast<std::size_t>(c.grid.width) * c.grid.height);
    if (GDALRasterIO(GDALGetRasterBand(d.get(), f.band), GF_Read, 0, 0, c.grid.width, c.grid.height,
                     cover.data(), c.grid.width, c.grid.height, GDT_Float64, 0, 0) != CE_None)
        cover.clear();
    return cover;
}

}  // namespace

TEST(PressureHeights, IcaoStandardAtmosphere)
{
    EXPECT_NEAR(icaoHeight(101325), 0, 1e-9);
    EXPECT_NEAR(icaoHeight(50000), 5574, 1);
    EXPECT_NEAR(icaoHeight(22632), 11000, 1);
    EXPECT_NEAR(icaoHeight(5474.9), 20000, 1);
    EXPECT_LT(icaoHeight(105000), 0);
    double last = icaoHeight(110000);
    for (double p = 109000; p > 1000; p -= 1000) {
        const double h = icaoHeight(p);
        EXPECT_GT(h, last) << p;
        last = h;
    }
    EXPECT_TRUE(std::isnan(icaoHeight(0)));
    EXPECT_TRUE(std::isnan(icaoHeight(-5)));
}

TEST(PressureHeights, ProfileIsLinearInLogPressure)
{
    // In any order, with a level that has no height.
    const std::vector<std::pair<double, double>> profile = {
        {50000, 5500}, {100000, 100}, {70000, 3000}, {85000, kNaN}};
    EXPECT_EQ(profileHeight(profile, 100000), 100);
    EXPECT_EQ(profileHeight(profile, 70000), 3000);
    EXPECT_EQ(profileHeight(profile, 50000), 5500);
    const double mid = std::sqrt(70000.0 * 50000.0);  // halfway in ln p
    EXPECT_NEAR(profileHeight(profile, mid), 4250, 1e-9);
    // Beyond either end, along the two nearest levels.
    const double slope = 2500 / std::log(50000.0 / 70000.0);
    EXPECT_NEAR(profileHeight(profile, 30000), 5500 + slope * std::log(30000.0 / 50000.0), 1e-9);
    const double below = 2900 / std::log(70000.0 / 100000.0);
    EXPECT_NEAR(profileHeight(profile, 104000), 100 + below * std::log(104000.0 / 100000.0), 1e-9);
    EXPECT_LT(profileHeight(profile, 104000), 100);

    EXPECT_TRUE(std::isnan(profileHeight({{50000, 5500}}, 50000)));
    EXPECT_TRUE(std::isnan(profileHeight({{50000, 5500}, {50000, 5400}}, 50000)));
    EXPECT_TRUE(std::isnan(profileHeight({}, 50000)));
    EXPECT_TRUE(std::isnan(profileHeight(profile, 0)));
}

TEST(PressureHeights, EachCellThroughItsOwnProfileOrTheStandardAtmosphere)
{
    // Levels come in the file's order; each cell has heights on some.
    const double levelPascals[] = {70000, 100000, 50000, 85000, 30000};
    const std::vector<std::vector<double>> levelHeights = {
        {3000, 3100, 3000, kNaN, 2900, 3050, kNaN},
        {100, 0, kNaN, kNaN, 150, -50, kNaN},
        {5500, 5600, kNaN, kNaN, 5450, 5650, 5500},
        {1400, kNaN, kNaN, kNaN, 1450, 1500, kNaN},
        {9000, kNaN, kNaN, kNaN, 8900, kNaN, kNaN}};
    const std::vector<double> pascals = {70000, 95000, 50000, kNaN, 20000, 104000, 60000, -1};
    PressureHeights at(pascals);
    for (std::size_t k = 0; k < levelHeights.size(); ++k)
        at.addLevel(levelPascals[k], levelHeights[k]);
    const std::vector<double> h = at.heights();
    ASSERT_EQ(h.size(), pascals.size());
    for (std::size_t i = 0; i < 7; ++i) {
        std::vector<std::pair<double, double>> profile;
        for (std::size_t k = 0; k < levelHeights.size(); ++k)
            if (i < levelHeights[k].size())
                profile.emplace_back(levelPascals[k], levelHeights[k][i]);
        const double expected = profileHeight(profile, pascals[i]);
        if (std::isnan(pascals[i]))
            EXPECT_TRUE(std::isnan(h[i])) << i;
        else if (std::isnan(expected))  // one level or none there
            EXPECT_DOUBLE_EQ(h[i], icaoHeight(pascals[i])) << i;
        else
            EXPECT_DOUBLE_EQ(h[i], expected) << i;
    }
    EXPECT_EQ(h[0], 3000);
    EXPECT_DOUBLE_EQ(h[2], icaoHeight(50000));
    EXPECT_TRUE(std::isnan(h[7]));
    const std::vector<double> none = PressureHeights({50000}).heights();
    EXPECT_DOUBLE_EQ(none[0], icaoHeight(50000));
}

TEST(EtageHeights, WmoTableByLatitude)
{
    struct Row {
        CloudLevel level;
        double latitude, base, top;
    };
    const Row rows[] = {
        {CloudLevel::Middle, 0, 2000, 8000},   {CloudLevel::Middle, 45, 2000, 7000},
        {CloudLevel::Middle, -80, 2000, 4000}, {CloudLevel::High, 0, 6000, 18000},
        {CloudLevel::High, -45, 5000, 13000},  {CloudLevel::High, 80, 3000, 8000},
        {CloudLevel::High, 23.5, 6000, 18000}, {CloudLevel::High, 66.5, 3000, 8000},
        {CloudLevel::Layer, 45, 2000, 7000},   {CloudLevel::Low, 80, 300, 2000},
        {CloudLevel::Low, 0, 300, 2000},       {CloudLevel::Convective, 45, 600, 9000},
        {CloudLevel::Boundary, 45, 100, 1000}, {CloudLevel::Total, 45, 1000, 3000}};
    for (const Row &r : rows) {
        const HeightRange h = etageHeights(r.level, r.latitude);
        EXPECT_EQ(h.base, r.base) << levelName(r.level) << " " << r.latitude;
        EXPECT_EQ(h.top, r.top) << levelName(r.level) << " " << r.latitude;
    }
    EXPECT_EQ(etageText(CloudLevel::Low), "WMO étage defaults (low 300-2000 m)");
    EXPECT_EQ(etageText(CloudLevel::High), "WMO étage defaults (high 3000-8000 m polar, "
                                           "5000-13000 m temperate, 6000-18000 m tropical)");
}

TEST(LayerHeights, GfsLayersThroughTheForecastsOwnPressureLevels)
{
    const WeatherContents c = findCloudFields(kGfs);
    const std::size_t cells = static_cast<std::size_t>(c.grid.width) * c.grid.height;
    const CloudLevel levels[] = {CloudLevel::Low, CloudLevel::Middle, CloudLevel::High,
                                 CloudLevel::Convective};
    double means[4] = {};
    for (int i = 0; i < 4; ++i) {
        const CloudField &f = fieldOf(c, levels[i]);
        SCOPED_TRACE(levelName(f.level));
        const LayerHeights h = readLayerHeights(c, f);
        EXPECT_TRUE(h.fromFile);
        EXPECT_NE(h.how.find("PRES at 0-"), std::string::npos) << h.how;
        EXPECT_NE(h.how.find("through the file's HGT on 26 pressure levels"), std::string::npos) << h.how;
        ASSERT_EQ(h.base.size(), cells);
        ASSERT_EQ(h.top.size(), cells);
        const std::vector<double> cover = coverOf(c, f);
        ASSERT_EQ(cover.size(), cells);
        int cloudy = 0;
        for (std::size_t k = 0; k < cells; ++k) {
            if (cover[k] < 50)
                continue;
            ++cloudy;
            ASSERT_TRUE(std::isfinite(h.base[k]) && std::isfinite(h.top[k])) << k;
            EXPECT_LT(h.base[k], h.top[k]) << k;
            means[i] += (h.base[k] + h.top[k]) / 2;
            if (f.level == CloudLevel::Low) {
                // Fog on the Arctic sea: its base is the surface's pressure,
                // which the file's own 1000 hPa heights put a few tens of
                // metres below sea level.
                EXPECT_GE(h.base[k], -100) << k;
                EXPECT_LE(h.top[k], 4000) << k;
            }
            if (f.level == CloudLevel::High) {
                // The tropical tropopause in January lies near 70 hPa, some
                // 18.5 km up, and the forecast's anvils reach it.
                EXPECT_GE(h.top[k], 5000) << k;
                EXPECT_LE(h.top[k], 19000) << k;
            }
        }
        ASSERT_GT(cloudy, 0);
        means[i] /= cloudy;
        if (f.level == CloudLevel::Low) {
            // Where the forecast has no low cloud it gives no base (GFS's
            // 9999, which as a pressure would put fog 16 km up).
            int none = 0;
            for (std::size_t k = 0; k < cells; ++k) {
                none += std::isnan(h.base[k]);
                if (!std::isnan(h.top[k]))
                    EXPECT_LE(h.top[k], 4000) << k;
            }
            EXPECT_GT(none, 3000);
        }
    }
    EXPECT_LT(means[0], means[1]);
    EXPECT_LT(means[1], means[2]);

    for (const CloudLevel none : {CloudLevel::Boundary, CloudLevel::Total}) {
        const LayerHeights h = readLayerHeights(c, fieldOf(c, none));
        EXPECT_FALSE(h.fromFile) << levelName(none);
        EXPECT_TRUE(h.base.empty());
        EXPECT_NE(h.how.find("WMO étage defaults"), std::string::npos) << h.how;
    }
}

TEST(LayerHeights, GribWithoutPressureLevelsGoesThroughTheStandardAtmosphere)
{
    // The forecast's low cloud cover, base and top, and nothing else.
    const std::string dir = weatherTempDir();
    const std::string cut = copyGribMessages(kGfs, dir + "/low.grib2", {29, 34, 38});
    ASSERT_FALSE(cut.empty());
    const WeatherContents full = findCloudFields(kGfs), c = findCloudFields(cut);
    const LayerHeights icao = readLayerHeights(c, fieldOf(c, CloudLevel::Low));
    const LayerHeights own = readLayerHeights(full, fieldOf(full, CloudLevel::Low));
    EXPECT_TRUE(icao.fromFile);
    EXPECT_EQ(icao.how, "base and top: PRES at 0-LCBL/0-LCTL through the ICAO standard atmosphere");
    ASSERT_EQ(icao.base.size(), own.base.size());
    // January's cold poles and warm tropics against one standard air: low
    // cloud comes out within 600 m of the file's own heights.
    int compared = 0;
    float furthest = 0;
    for (std::size_t k = 0; k < icao.base.size(); ++k) {
        EXPECT_EQ(std::isnan(icao.base[k]), std::isnan(own.base[k])) << k;
        if (std::isnan(own.base[k]))
            continue;
        ++compared;
        EXPECT_NEAR(icao.base[k], own.base[k], 600) << k;
        EXPECT_NEAR(icao.top[k], own.top[k], 600) << k;
        furthest = std::max(furthest, std::fabs(icao.top[k] - own.top[k]));
    }
    EXPECT_GT(compared, 1000);
    // Yet the day's air is not the standard one.
    EXPECT_GT(furthest, 200);
}

TEST(LayerHeights, LevelsGivenTheOtherWayRoundAreSwapped)
{
    // Low cloud base labelled as its top (GRIB surface 213, octet 23 of the
    // product definition) and the top as its base (212).
    const std::string dir = weatherTempDir();
    const std::string swapped = copyGribMessages(kGfs, dir + "/swapped.grib2", {29, 34, 38},
                                                 {{34, {{23, 213}}}, {38, {{23, 212}}}});
    const std::string straight = copyGribMessages(kGfs, dir + "/straight.grib2", {29, 34, 38});
    ASSERT_FALSE(swapped.empty());
    const WeatherContents s = findCloudFields(swapped), c = findCloudFields(straight);
    const LayerHeights turned = readLayerHeights(s, fieldOf(s, CloudLevel::Low));
    const LayerHeights right = readLayerHeights(c, fieldOf(c, CloudLevel::Low));
    ASSERT_TRUE(turned.fromFile);
    ASSERT_EQ(turned.base.size(), right.base.size());
    int layers = 0;
    for (std::size_t k = 0; k < right.base.size(); ++k) {
        if (std::isnan(right.base[k]))
            continue;
        layers += right.base[k] < right.top[k];
        EXPECT_EQ(turned.base[k], right.base[k]) << k;
        EXPECT_EQ(turned.top[k], right.top[k]) << k;
    }
    EXPECT_GT(layers, 1000);
}

TEST(LayerHeights, FilesWithoutBothBaseAndTopUseTheEtages)
{
    const std::string dir = weatherTempDir();
    const std::string baseOnly = copyGribMessages(kGfs, dir + "/base.grib2", {29, 34});
    const WeatherContents c = findCloudFields(baseOnly);
    const LayerHeights h = readLayerHeights(c, fieldOf(c, CloudLevel::Low));
    EXPECT_FALSE(h.fromFile);
    EXPECT_TRUE(h.base.empty());
    EXPECT_EQ(h.how, "WMO étage defaults (low 300-2000 m): the file gives no top for low cloud at its time");

    // Base and top six hours after the cover: GFS gives them as six-hour
    // averages, valid at the end (the hour in octet 39 of the product
    // definition; forecast hours in octet 22), so 114-120 h becomes 120-126 h.
    const std::map<int, int> sixHoursOn = {{22, 120}, {39, 18}};
    const std::string later = copyGribMessages(kGfs, dir + "/later.grib2", {29, 34, 38},
                                               {{34, sixHoursOn}, {38, sixHoursOn}});
    const WeatherContents l = findCloudFields(later);
    const LayerHeights other = readLayerHeights(l, fieldOf(l, CloudLevel::Low));
    EXPECT_FALSE(other.fromFile);
    EXPECT_EQ(other.how,
              "WMO étage defaults (low 300-2000 m): the file gives no base or top for low cloud at its time");

    const std::string nc = writeNetcdf(dir, "era", R"cdl(netcdf era {
dimensions: lat = 2 ; lon = 2 ;
variables:
  float lat(lat) ; lat:units = "degrees_north" ;
  float lon(lon) ; lon:units = "degrees_east" ;
  float hcc(lat, lon) ; hcc:units = "(0 - 1)" ;
data: lat = 1, 0 ; lon = 0, 1 ; hcc = 0, 0.25, 0.5, 1 ;
})cdl");
    const WeatherContents era = findCloudFields(nc);
    const LayerHeights e = readLayerHeights(era, fieldOf(era, CloudLevel::High));
    EXPECT_FALSE(e.fromFile);
    EXPECT_NE(e.how.find("WMO étage defaults (high 3000-8000 m polar"), std::string::npos) << e.how;
}

TEST(LayerHeights, FileThatChangedOrWentAwaySinceItWasReadIsNamed)
{
    const std::string dir = weatherTempDir();
    const std::string file = copyGribMessages(kGfs, dir + "/gone.grib2", {29, 34, 38});
    WeatherContents c = findCloudFields(file);
    const CloudField low = fieldOf(c, CloudLevel::Low);
    c.grid.width = 10;
    try {
        readLayerHeights(c, low);
        ADD_FAILURE() << "no error";
    } catch (const WeatherError &e) {
        EXPECT_NE(std::string(e.what()).find(file + ": its grid is now 144 x 73 cells"), std::string::npos)
            << e.what();
    }
    std::remove(file.c_str());
    try {
        readLayerHeights(c, low);
        ADD_FAILURE() << "no error";
    } catch (const WeatherError &e) {
        EXPECT_EQ(std::string(e.what()), file + ": no such file");
    }
}
