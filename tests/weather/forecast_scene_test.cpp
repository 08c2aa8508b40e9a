// `cloudview weather FILE -o OUT.scene`, run as a user runs it: the GFS
// forecast over Europe and across the date line, made fields over made
// ground, files with several times, and every refusal.
#include <gtest/gtest.h>

#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_util.h"
#include "weather/cloud_fields.h"
#include "weather/weather_files.h"

namespace {

const std::string kGfs = std::string(EXAMPLES) + "/weather/gfs_clouds.grib2";

CommandRun runWeather(const std::string &dir, const std::string &args)
{
    return runWithErrors("cd '" + dir + "' && " + std::string(CLOUDVIEW) + " weather " + args +
                             " 2>'" + dir + "/err.txt'",
                         dir + "/err.txt");
}

struct Box {
    double x, y, z, xs, ys, zs, density, cluster;
};

// The clouds of a layer file, as the format lays them out.
std::vector<Box> readLayer(const std::string &file)
{
    std::ifstream in(file);
    std::string magic, word, name;
    int n = 0;
    in >> magic >> n >> word;
    EXPECT_EQ(magic, "TOLA_Cloud_Layer_File_V1.1") << file;
    std::vector<Box> boxes;
    for (int i = 0; i < n && in; ++i) {
        Box b{};
        double detail, zoom, height, seed, bottom, r, g, bl;
        int layers, px, py, tex, sym, sx, sy, sz;
        in >> name >> b.density >> b.cluster >> detail >> zoom >> height >> layers >> px >> py >>
            tex >> sym >> b.x >> b.y >> b.z >> b.xs >> b.ys >> b.zs >> sx >> sy >> sz >> r >> g >>
            bl >> seed >> bottom;
        EXPECT_EQ(name, "Cloud_" + std::to_string(i));
        boxes.push_back(b);
    }
    EXPECT_EQ(boxes.size(), static_cast<size_t>(n)) << file;
    return boxes;
}

struct LonLat {
    double lon, lat;
};

LonLat toLonLat(int epsg, double x, double y)
{
    OGRSpatialReferenceH from = OSRNewSpatialReference(nullptr), to = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(from, epsg);
    OSRImportFromEPSG(to, 4326);
    OSRSetAxisMappingStrategy(from, OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(to, OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH t = OCTNewCoordinateTransformation(from, to);
    OCTTransform(t, 1, &x, &y, nullptr);
    OCTDestroyCoordinateTransformation(t);
    OSRDestroySpatialReference(from);
    OSRDestroySpatialReference(to);
    return {x, y};
}

double mean(const std::vector<Box> &boxes, double Box::*field)
{
    double s = 0;
    for (const Box &b : boxes)
        s += b.*field;
    return boxes.empty() ? NAN : s / boxes.size();
}

}  // namespace

TEST(WeatherScene, GfsOverEuropeGivesCloudsWhereTheForecastHasCoverLowBelowMiddleBelowHigh)
{
    const std::string dir = weatherTempDir();
    const CommandRun run =
        runWeather(dir, "'" + kGfs + "' -o eu.scene --region -30,30,40,70 --spacing 100000");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("cells: 70 x 49 of 100 km"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("wrote eu.scene, 2011-01-15 12:00 UTC: 3 layers"), std::string::npos);
    const std::string scene = readFile(dir + "/eu.scene");
    EXPECT_NE(scene.find("ADDFEATURELAYER \"Clouds\" \"eu-low.cloud\" ;"), std::string::npos);
    EXPECT_NE(scene.find("# high 2011-01-15 12:00 UTC: "), std::string::npos);

    // The forecast's cover, cell by cell, to compare the clouds with.
    const weather::WeatherContents contents = weather::findCloudFields(kGfs);
    std::map<std::string, std::vector<Box>> layers;
    for (const char *level : {"low", "middle", "high"}) {
        const std::vector<Box> boxes = readLayer(dir + "/eu-" + level + ".cloud");
        ASSERT_GT(boxes.size(), 100u) << level;
        layers[level] = boxes;
        const weather::CloudField *field = nullptr;
        for (const auto &f : contents.fields)
            if (std::string(weather::levelName(f.level)) == level)
                field = &f;
        ASSERT_TRUE(field);
        const std::vector<float> cover = weather::readCoverPercent(*field, contents.grid);
        // The largest cover among the four data cells around a point: the
        // scene's cover is interpolated between them.
        const auto coverNear = [&](LonLat p) {
            const double lon = p.lon < 0 ? p.lon + 360 : p.lon;
            const int c = static_cast<int>(std::floor(lon / 2.5)), r = static_cast<int>(std::floor((90 - p.lat) / 2.5));
            float most = 0;
            for (int dr = 0; dr < 2; ++dr)
                for (int dc = 0; dc < 2; ++dc)
                    most = std::max(most, cover[(r + dr) * 144 + (c + dc) % 144]);
            return most;
        };
        for (const Box &b : boxes) {
            const LonLat p = toLonLat(32631, b.x, b.y);  // UTM 31N, the region's centre
            EXPECT_GE(p.lon, -30 - 1e-6);
            EXPECT_LE(p.lon, 40 + 1e-6);
            EXPECT_GE(p.lat, 30 - 1e-6);
            EXPECT_LE(p.lat, 70 + 1e-6);
            EXPECT_GE(coverNear(p), 10.0f) << level << " cloud at " << p.lon << "," << p.lat;
        }
        // Where the forecast is clear all around, no cloud; denser cover,
        // denser clouds.
        double clearSeen = 0;
        for (double lat = 32.5; lat <= 67.5; lat += 2.5)
            for (double lon = -27.5; lon <= 37.5; lon += 2.5)
                if (coverNear({lon - 2.5, lat + 2.5}) == 0 && coverNear({lon, lat}) == 0)
                    ++clearSeen;
        EXPECT_GT(clearSeen, 0) << level << ": the forecast has clear sky somewhere";
    }
    EXPECT_LT(mean(layers["low"], &Box::z), mean(layers["middle"], &Box::z));
    EXPECT_LT(mean(layers["middle"], &Box::z), mean(layers["high"], &Box::z));
    for (const Box &b : layers["low"])
        EXPECT_GE(b.z - b.zs, 0.0) << "a low cloud under the sea";

    // The same file and options give the same files, byte for byte.
    const std::string again = weatherTempDir();
    ASSERT_EQ(runWeather(again, "'" + kGfs + "' -o eu.scene --region -30,30,40,70 --spacing 100000").code, 0);
    for (const char *f : {"eu.scene", "eu-low.cloud", "eu-middle.cloud", "eu-high.cloud"})
        EXPECT_EQ(readFile(dir + "/" + f), readFile(again + "/" + f)) << f;

    // Each layer is the layer type's own: opened and saved again, the same bytes.
    std::ofstream(dir + "/resave.scene")
        << "ADDFEATURELAYER \"Clouds\" \"eu-low.cloud\" ;\nADDFEATURELAYER \"Clouds\" "
           "\"eu-high.cloud\" ;\nSAVE LAYER 1 \"low-again.cloud\";\nSAVE LAYER 2 "
           "\"high-again.cloud\";\n";
    const CommandRun resave = runWithErrors("cd '" + dir + "' && " + std::string(CLOUDVIEW) +
                                                " run resave.scene 2>err2.txt",
                                            dir + "/err2.txt");
    ASSERT_EQ(resave.code, 0) << resave.err;
    EXPECT_EQ(readFile(dir + "/low-again.cloud"), readFile(dir + "/eu-low.cloud"));
    EXPECT_EQ(readFile(dir + "/high-again.cloud"), readFile(dir + "/eu-high.cloud"));
}

TEST(WeatherScene, TheBundledForecastExampleIsWhatTheCommandWrites)
{
    // examples/forecast.scene and its layers stay what the converter makes.
    const std::string dir = weatherTempDir();
    const std::string ex = EXAMPLES;
    std::filesystem::create_directories(dir + "/weather");
    for (const char *f : {"gfs_clouds.grib2", "sea_level.tif", "earth.vrt", "earth.jpg"})
        std::filesystem::copy_file(ex + "/weather/" + f, dir + "/weather/" + f);
    const CommandRun run = runWeather(dir, "weather/gfs_clouds.grib2 -o forecast.scene --terrain "
                                        "weather/sea_level.tif --drape weather/earth.vrt "
                                        "--spacing 80000 --exaggeration 20");
    ASSERT_EQ(run.code, 0) << run.err;
    for (const char *f : {"forecast.scene", "forecast-low.cloud", "forecast-middle.cloud",
                          "forecast-high.cloud"})
        EXPECT_EQ(readFile(dir + "/" + f), readFile(ex + "/" + f)) << f;
}

TEST(WeatherScene, AFieldAcrossTheDateLineCountedZeroTo360GivesCloudsOnBothSides)
{
    const std::string dir = weatherTempDir();
    // 170..190 degrees east in 1-degree cells, overcast everywhere.
    const std::string field = writeLonLatField(dir + "/pacific_cloud.tif", 170, 10, 1, 20, 20,
                                               [](int, int) { return 100.0; });
    const CommandRun run = runWeather(dir, "pacific_cloud.tif -o p.scene --region 175,-5,-175,5");
    ASSERT_EQ(run.code, 0) << run.err;
    const std::vector<Box> boxes = readLayer(dir + "/p-total.cloud");
    ASSERT_FALSE(boxes.empty());
    int east = 0, west = 0;
    for (const Box &b : boxes) {
        const LonLat p = toLonLat(32660, b.x, b.y);  // UTM 60N, at the region's centre, 180
        (p.lon > 0 ? east : west)++;
        EXPECT_TRUE(p.lon >= 175 - 1e-6 || p.lon <= -175 + 1e-6) << p.lon;
    }
    EXPECT_GT(east, 10);
    EXPECT_GT(west, 10);

    // The GFS forecast counts longitudes 0..357.5: the same box across the
    // date line finds its cloud on both sides too.
    const CommandRun gfs = runWeather(dir, "'" + kGfs + "' -o g.scene --region 160,-30,-160,30 "
                                      "--levels high --spacing 100000");
    ASSERT_EQ(gfs.code, 0) << gfs.err;
    east = west = 0;
    for (const Box &b : readLayer(dir + "/g-high.cloud")) {
        const LonLat p = toLonLat(32660, b.x, b.y);  // the southern half shares the zone's metres
        (p.lon > 0 ? east : west)++;
    }
    EXPECT_GT(east, 10);
    EXPECT_GT(west, 10);
}

TEST(WeatherScene, OverTerrainNoCloudStandsInTheGround)
{
    const std::string dir = weatherTempDir();
    // A 3 km plateau in the middle of a plain at 100 m, in degrees.
    writeLonLatField(dir + "/dem.tif", 10, 50, 0.01, 100, 100,
                     [](int c, int r) { return c > 30 && c < 70 && r > 30 && r < 70 ? 3000.0 : 100.0; },
                     "metre");
    writeLonLatField(dir + "/cloud.tif", 9, 51, 0.1, 30, 30, [](int, int) { return 80.0; });
    const CommandRun run =
        runWeather(dir, "cloud.tif -o t.scene --terrain dem.tif --exaggeration 2 --spacing 2000");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(readFile(dir + "/t.scene").find("TERRAIN \"dem.tif\" EXAGGERATION 2;"),
              std::string::npos);
    const std::vector<Box> boxes = readLayer(dir + "/t-total.cloud");
    ASSERT_GT(boxes.size(), 100u);
    int onPlateau = 0;
    for (const Box &b : boxes) {
        const LonLat p = toLonLat(32632, b.x, b.y);
        const bool plateau = p.lon > 10.30 + 0.02 && p.lon < 10.70 - 0.02 && p.lat < 49.70 - 0.02 &&
                             p.lat > 49.30 + 0.02;
        onPlateau += plateau;
        EXPECT_GE(b.z - b.zs, (plateau ? 3000.0 : 100.0) * 2 - 1e-6) << p.lon << "," << p.lat;
    }
    EXPECT_GT(onPlateau, 10);
}

TEST(WeatherScene, TimesTheNearestOneEveryOneOrARefusalNamingThem)
{
    const std::string dir = weatherTempDir();
    writeNetcdf(dir, "era", R"cdl(netcdf era {
dimensions: time = 3 ; latitude = 4 ; longitude = 4 ;
variables:
  int time(time) ; time:units = "hours since 1900-01-01 00:00:00.0" ;
  float latitude(latitude) ; latitude:units = "degrees_north" ;
  float longitude(longitude) ; longitude:units = "degrees_east" ;
  float lcc(time, latitude, longitude) ; lcc:units = "(0 - 1)" ;
data:
  time = 978312, 978318, 978324 ;
  latitude = 51, 50, 49, 48 ; longitude = 350, 351, 352, 353 ;
  lcc = 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5 ;
})cdl");
    CommandRun run = runWeather(dir, "era.nc -o a.scene --time 2011-08-10T05:00Z");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("time: 2011-08-10 06:00 UTC, the nearest of 3 to 2011-08-10 05:00 UTC"),
              std::string::npos)
        << run.out;
    EXPECT_TRUE(readLayer(dir + "/a-low.cloud").empty());  // clear at 06:00

    run = runWeather(dir, "era.nc -o all.scene --all-times");
    ASSERT_EQ(run.code, 0) << run.err;
    const std::vector<Box> first = readLayer(dir + "/all-2011-08-10T00-low.cloud");
    const std::vector<Box> last = readLayer(dir + "/all-2011-08-10T12-low.cloud");
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first.size(), last.size());
    EXPECT_GT(mean(first, &Box::density), mean(last, &Box::density));  // overcast against half
    EXPECT_GT(mean(first, &Box::cluster), mean(last, &Box::cluster));
    EXPECT_NE(readFile(dir + "/all-2011-08-10T06.scene").find("all-2011-08-10T06-low.cloud"),
              std::string::npos);

    run = runWeather(dir, "era.nc -o late.scene --time 2011-08-20T00:00Z");
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, "cloudview: era.nc: 2011-08-20 00:00 UTC is outside its times: 2011-08-10 "
                       "00:00 UTC, 2011-08-10 06:00 UTC, 2011-08-10 12:00 UTC\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/late.scene"));
}

// ERA5's three levels are three variables of one file, each reached as
// GDAL's NETCDF:"file":var, which is no path on disk.
TEST(WeatherScene, NetcdfOfSeveralCoverVariablesGivesALayerOfEach)
{
    const std::string dir = weatherTempDir();
    writeNetcdf(dir, "levels", R"cdl(netcdf levels {
dimensions: latitude = 3 ; longitude = 3 ;
variables:
  float latitude(latitude) ; latitude:units = "degrees_north" ;
  float longitude(longitude) ; longitude:units = "degrees_east" ;
  float lcc(latitude, longitude) ; lcc:units = "(0 - 1)" ;
  float mcc(latitude, longitude) ; mcc:units = "(0 - 1)" ;
  float hcc(latitude, longitude) ; hcc:units = "(0 - 1)" ;
data:
  latitude = 50, 49, 48 ; longitude = 10, 11, 12 ;
  lcc = 1, 1, 1, 1, 1, 1, 1, 1, 1 ;
  mcc = 1, 1, 1, 1, 1, 1, 1, 1, 1 ;
  hcc = 1, 1, 1, 1, 1, 1, 1, 1, 1 ;
})cdl");
    const CommandRun run = runWeather(dir, "levels.nc -o a.scene");
    ASSERT_EQ(run.code, 0) << run.err;
    for (const char *level : {"low", "middle", "high"})
        EXPECT_FALSE(readLayer(dir + "/a-" + level + ".cloud").empty()) << level;
}

TEST(WeatherScene, BadRequestsAreRefusedWithExitTwoAndNothingWritten)
{
    const std::string dir = weatherTempDir();
    writeOneBand(dir + "/dem.tif", "Float32", [](int c, int r) { return 300.0 + c + r; }, "metre");
    writeLonLatField(dir + "/alps_cloud.tif", 5, 48, 0.5, 20, 10, [](int, int) { return 50.0; });
    const std::string gfs = "'" + kGfs + "'";
    const struct {
        std::string args, err;
    } cases[] = {
        {"dem.tif -o x.scene", "cloudview: dem.tif: no cloud cover in it; it holds: 1 band of "
                               "Float32, in metre\n"},
        {"alps_cloud.tif -o x.scene --region 100,-40,120,-20",
         "cloudview: the region 100,-40,120,-20 lies outside alps_cloud.tif's data, 5,43,15,48\n"},
        {gfs + " -o x.scene --region 10,40,20", "cloudview: --region 10,40,20: takes four "
                                                "numbers W,S,E,N in degrees\n"},
        {gfs + " -o x.scene --region 10,50,20,40",
         "cloudview: --region 10,50,20,40: south and north must lie in -90..90, south below "
         "north\n"},
        {gfs + " -o x.scene", "cloudview: gfs_clouds.grib2: its data span -1.25,-90,358.75,90; a "
                              "scene holds a region up to 90 degrees across: choose one with "
                              "--region W,S,E,N\n"},
        {gfs + " -o x.scene --region 0,40,10,50 --levels low,fog",
         "cloudview: --levels: \"fog\" is not a cloud level (low, middle, high, boundary, "
         "convective, total, layer)\n"},
        {"alps_cloud.tif -o x.scene --levels low",
         "cloudview: alps_cloud.tif: no low cloud in it; it has total\n"},
        {gfs + " -o x.scene --region 0,40,10,50 --time tomorrow",
         "cloudview: --time tomorrow: not a time; write it as 2011-01-20T12:00Z (UTC)\n"},
        {gfs + " -o x.png --region 0,40,10,50", "cloudview: x.png: the scene's name must end in "
                                                ".scene\n"},
        {gfs + " --region 0,40,10,50", "cloudview: weather: say where to write the scene with -o "
                                       "OUT.scene, or list the file's cloud cover with --list\n"},
        {gfs + " -o x.scene --threshold 150", "cloudview: --threshold 150: a cover in percent, "
                                              "0..100\n"},
        {gfs + " -o x.scene --region 0,40,10,50 --time 2011-01-20T12:00Z",
         "cloudview: gfs_clouds.grib2: 2011-01-20 12:00 UTC is outside its times: 2011-01-15 "
         "12:00 UTC\n"},
    };
    for (const auto &c : cases) {
        const CommandRun run = runWeather(dir, c.args);
        EXPECT_EQ(run.code, 2) << c.args;
        EXPECT_EQ(run.err, c.err) << c.args;
        EXPECT_EQ(run.out, "") << c.args;
    }
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        EXPECT_TRUE(entry.path().extension() != ".scene" && entry.path().extension() != ".cloud")
            << entry.path();
}

TEST(WeatherScene, WeatherStatementOpensTheSameLayersOverTheScenesGroundAndKeepsSavedChanges)
{
    const std::string dir = weatherTempDir();
    const std::string ex = EXAMPLES;
    const std::string cache = dir + "/cache";
    std::ofstream(dir + "/w.scene")
        << "TERRAIN \"" << ex << "/weather/sea_level.tif\" DRAPE \"" << ex
        << "/weather/earth.vrt\" EXAGGERATION 20;\nWEATHER \"" << kGfs << "\" SPACING 80000;\n"
        << "WRITESCENE \"again.scene\";\n";
    const auto runScene = [&](const std::string &scene) {
        return runWithErrors("cd '" + dir + "' && XDG_CACHE_HOME='" + cache + "' " +
                                 std::string(CLOUDVIEW) + " run " + scene + " 2>err.txt",
                             dir + "/err.txt");
    };
    CommandRun run = runScene("w.scene");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "cloudview: w.scene:2: cells: 87 x 61 of 80 km\n");
    // The layers the statement opened are the command line's, byte for byte.
    std::vector<std::string> layers;
    for (const auto &e : std::filesystem::recursive_directory_iterator(cache + "/cloudview/weather"))
        if (e.is_regular_file())
            layers.push_back(e.path().string());
    std::sort(layers.begin(), layers.end());
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(std::filesystem::path(layers[0]).filename(), "gfs_clouds-high.cloud");
    EXPECT_EQ(readFile(layers[0]), readFile(ex + "/forecast-high.cloud"));
    EXPECT_EQ(readFile(layers[1]), readFile(ex + "/forecast-low.cloud"));
    EXPECT_EQ(readFile(layers[2]), readFile(ex + "/forecast-middle.cloud"));
    EXPECT_NE(readFile(dir + "/again.scene").find(std::filesystem::path(layers[1]).filename().string()),
              std::string::npos);

    // A change saved to a layer stays when the scene opens again.
    const std::string edited = "TOLA_Cloud_Layer_File_V1.1\n0 clouds_in_file\n";
    std::ofstream(layers[1]) << edited;
    run = runScene("w.scene");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(readFile(layers[1]), edited);

    std::ofstream(dir + "/bad.scene") << "WEATHER \"" << kGfs << "\" REGION \"0,40,10,50\" TIME \"noon\";\n";
    run = runScene("bad.scene");
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, "cloudview: bad.scene:1: WEATHER: TIME noon: not a time; write it as "
                       "2011-01-20T12:00Z (UTC)\n");
    std::ofstream(dir + "/world.scene") << "WEATHER \"" << kGfs << "\";\n";
    run = runScene("world.scene");
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, "cloudview: world.scene:1: gfs_clouds.grib2: its data span "
                       "-1.25,-90,358.75,90; a scene holds a region up to 90 degrees across: "
                       "choose one with REGION \"W,S,E,N\"\n");
}
