// The weather panel with real X input: a forecast of three times opened by
// a scene's WEATHER statement, over ground in UTM and over the flat grid;
// a click on a later time moves the clouds where that time has them.
#include "window_fixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// In a 1280 x 800 window: the weather panel's rows of valid times, and the
// part of the scene left of the panels.
constexpr int kTimeX = 1010, kFirstTimeY = 128, kTimeStep = 17;
constexpr int kSceneRight = 940, kSceneTop = 110, kSceneBottom = 600;

class WeatherWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        setenv("XDG_CACHE_HOME", dir.c_str(), 1);  // conversions stay in the test's folder
        // Low cloud in a band 24 degrees wide between 40 and 65 N, its
        // middle 25 degrees further east every six hours.
        std::ostringstream cdl;
        cdl << "netcdf front {\ndimensions: time = 3 ; latitude = 41 ; longitude = 71 ;\n"
               "variables:\n  int time(time) ; time:units = \"hours since 1900-01-01 00:00:00\" ;\n"
               "  float latitude(latitude) ; latitude:units = \"degrees_north\" ;\n"
               "  float longitude(longitude) ; longitude:units = \"degrees_east\" ;\n"
               "  float lcc(time, latitude, longitude) ; lcc:units = \"(0 - 1)\" ;\n"
               "data:\n  time = 978312, 978318, 978324 ;\n  latitude = ";
        for (int r = 0; r <= 40; ++r)
            cdl << (r ? ", " : "") << 70 - r;
        cdl << " ;\n  longitude = ";
        for (int c = 0; c <= 70; ++c)
            cdl << (c ? ", " : "") << c - 30;
        cdl << " ;\n  lcc = ";
        for (int t = 0; t < 3; ++t)
            for (int r = 0; r <= 40; ++r)
                for (int c = 0; c <= 70; ++c) {
                    const double lat = 70 - r, lon = c - 30, middle = -20 + 25 * t;
                    const double v = lat > 40 && lat < 65 ? std::max(0.0, 1 - std::abs(lon - middle) / 12) : 0;
                    cdl << (t || r || c ? ", " : "") << v;
                }
        cdl << " ;\n}\n";
        write("front.cdl", cdl.str());
        ASSERT_EQ(std::system(("ncgen -o '" + file("front.nc") + "' '" + file("front.cdl") + "'").c_str()), 0);
    }

    // Whether the panel marks that row of times as the one shown.
    static bool shown(const Picture &p, int row)
    {
        return p.near({32, 58, 89}, 12, 955, kFirstTimeY + row * kTimeStep - 6, 300, 12) > 1000;
    }

    // The mean column of the scene's white (cloud) pixels.
    static double cloudColumn(const Picture &p)
    {
        double sum = 0;
        size_t n = 0;
        for (int y = kSceneTop; y < kSceneBottom; ++y)
            for (int x = 0; x < kSceneRight; ++x) {
                const auto c = p.at(x, y);
                if (c[0] > 215 && c[1] > 215 && c[2] > 215) {
                    sum += x;
                    ++n;
                }
            }
        return n > 200 ? sum / n : -1;
    }

    void laterTimeMovesTheClouds(const std::string &scene)
    {
        write("front.scene", scene);
        startLive("front.scene --size 1280x800");
        const Picture first = capture("first.png");
        const double before = cloudColumn(first);
        ASSERT_GT(before, 0) << "no clouds drawn at the first time";
        // The weather panel lists the three times, the first one shown.
        EXPECT_TRUE(shown(first, 0)) << "the first time is not marked as shown";
        // The next time clicked, then the pointer taken off the panel so
        // that the row shows its own mark, not the pointer's.
        xdo("mousemove --window WID " + std::to_string(kTimeX) + " " +
            std::to_string(kFirstTimeY + kTimeStep) + " click 1 sleep 0.5 mousemove --window WID 400 700");
        const Picture later = captureWhen("later.png", [&](const Picture &p) {
            return cloudColumn(p) > before + 80;
        });
        EXPECT_GT(cloudColumn(later), before + 80) << "the clouds did not move east";
        EXPECT_TRUE(shown(later, 1)) << "the time clicked is not marked as shown";
        EXPECT_FALSE(shown(later, 0));
    }
};

}  // namespace

TEST_F(WeatherWindowTest, ALaterTimeClickedMovesTheCloudsEastOverGroundInUtm)
{
    for (const char *name : {"weather/sea_level.tif", "weather/earth.vrt", "weather/earth.jpg"}) {
        std::ifstream in(std::string(EXAMPLES) + "/" + name, std::ios::binary);
        std::ofstream(file(std::string(name).substr(8)), std::ios::binary) << in.rdbuf();
    }
    laterTimeMovesTheClouds("TERRAIN \"sea_level.tif\" DRAPE \"earth.vrt\" EXAGGERATION 20;\n"
                            "WEATHER \"front.nc\" SPACING 100000;\n");
}

TEST_F(WeatherWindowTest, ALaterTimeClickedMovesTheCloudsEastOverTheFlatGrid)
{
    laterTimeMovesTheClouds("WEATHER \"front.nc\" SPACING 100000;\nVIEW 180 60 9000000;\n");
}
