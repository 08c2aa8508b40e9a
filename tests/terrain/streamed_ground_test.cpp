// A model too large for the budget, read a tile at a time from overviews
// built for it: the same surface under picks, no background through its
// joins, a memory bound kept, and a window's streamed frames ending on the
// picture a render makes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "terrain/height_model.h"
#include "terrain/terrain.h"
#include "terrain/terrain_models.h"
#include "viewer.h"

namespace {

using cloudview::Viewer;

constexpr double kWest = 500000.0, kNorth = 9000000.0, kCell = 30.0;
constexpr int kSide = 1537;  // 9 MiB of heights: streamed under a 64 MiB budget

struct StreamedGroundTest : ::testing::Test {
    static std::string dir;
    static void SetUpTestSuite()
    {
        dir = scratchFolder();
        ModelSpec spec;
        spec.width = spec.height = kSide;
        spec.cell = kCell;
        spec.heightAt = rugged;
        writeModel(dir + "/rugged.tif", spec);
        const unsigned char red[3] = {255, 0, 0};
        writeTwoHalvesImage(dir + "/red.tif", kWest, kNorth, 60.0, kSide / 2 + 1, 32725, red, red);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir); }

    static terrain::TerrainSettings settings(size_t mib, bool drape = false)
    {
        terrain::TerrainSettings s;
        s.model = dir + "/rugged.tif";
        s.drape = drape ? dir + "/red.tif" : "";
        s.exaggeration = 2.0;
        s.memoryMiB = mib;
        return s;
    }
};
std::string StreamedGroundTest::dir;

TEST_F(StreamedGroundTest, OverviewsAreBuiltOnceAndTheSurfaceIsTheModelsOwn)
{
    std::vector<std::string> warnings;
    const auto streamed = terrain::Terrain::open(settings(64), warnings);
    ASSERT_TRUE(streamed->streamed());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("no overviews; built them once into " + dir + "/rugged.tif.ovr"), std::string::npos)
        << warnings[0];
    EXPECT_TRUE(std::filesystem::exists(dir + "/rugged.tif.ovr"));
    warnings.clear();
    const auto again = terrain::Terrain::open(settings(64), warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    const auto whole = terrain::Terrain::open(settings(1024), warnings);
    ASSERT_FALSE(whole->streamed());

    // Heights and rays reach the full-resolution samples, as the model
    // read whole does, at UTM northings.
    for (int i = 0; i < 400; ++i) {
        const double x = kWest + std::fmod(i * 7919.37, kSide * kCell - 1.0);
        const double y = kNorth - std::fmod(i * 4513.91, kSide * kCell - 1.0);
        const double a = streamed->heightAt(x, y), b = whole->heightAt(x, y);
        ASSERT_TRUE(a == b || (std::isnan(a) && std::isnan(b))) << a << " against " << b << " at " << x << ", " << y;
        const double start[3] = {x - 3000.0, y + 2000.0, 9000.0}, second[3] = {x, y, 0.0};
        double ta = -1, tb = -1;
        const bool hitA = streamed->intersect(start, second, &ta), hitB = whole->intersect(start, second, &tb);
        ASSERT_EQ(hitA, hitB) << x << ", " << y;
        if (hitA)
            ASSERT_NEAR(ta, tb, 1e-9) << x << ", " << y;
    }
    EXPECT_EQ(streamed->extent().x2, whole->extent().x2);
    EXPECT_EQ(streamed->extent().y1, whole->extent().y1);
}

// A model in degrees reads its levels through warps of its source's
// overviews, at the places its own samples stand.
TEST_F(StreamedGroundTest, AModelInDegreesReadsItsLevelsFromItsSourcesOverviews)
{
    ModelSpec spec;
    spec.width = 1024;
    spec.height = 704;
    spec.west = -34.95;
    spec.north = -7.95;
    spec.cell = 0.0001;
    spec.epsg = 4326;
    // Overviews a kilometre higher than the model: what is read from them
    // shows.
    spec.heightAt = [](int c, int r) { return 1100.0 + 0.5 * c - 0.25 * r; };
    terrain::withOverviews(writeModel(dir + "/higher.tif", spec), nullptr);
    spec.heightAt = [](int c, int r) { return 100.0 + 0.5 * c - 0.25 * r; };
    const std::string model = writeModel(dir + "/degrees.tif", spec);
    std::filesystem::copy_file(dir + "/higher.tif.ovr", model + ".ovr");
    std::vector<std::string> warnings;
    const terrain::ModelReader reader(model, warnings);
    ASSERT_GE(reader.overviewCount(), 3);
    const int w = reader.header().width, h = reader.header().height;
    for (int level = 1; level <= 4; ++level) {
        const int stride = 1 << level;
        std::vector<int> columns, rows;
        for (int c = 4 * stride; c < w - 4 * stride; c += 7 * stride)
            columns.push_back(c);
        for (int r = 4 * stride; r < h - 4 * stride; r += 7 * stride)
            rows.push_back(r);
        std::vector<float> coarse(columns.size() * rows.size()), fine(coarse.size());
        reader.read(level, columns, rows, coarse.data());
        reader.read(0, columns, rows, fine.data());
        for (size_t i = 0; i < fine.size(); ++i)
            ASSERT_NEAR(coarse[i], fine[i] + 1000.0, 0.05) << "level " << level << ", sample " << i;
    }
}

// The levels' samples stand where the tiles put them: a plane reads as
// the same plane from every overview.
TEST_F(StreamedGroundTest, EveryLevelReadsAPlaneWhereItsSamplesStand)
{
    ModelSpec spec;
    spec.width = 1024;  // blocks of every level whole
    spec.height = 704;
    spec.heightAt = [](int c, int r) { return 100.0 + 0.5 * c - 0.25 * r; };
    const std::string plane = writeModel(dir + "/plane.tif", spec);
    terrain::withOverviews(plane, nullptr);
    std::vector<std::string> warnings;
    const terrain::ModelReader reader(plane, warnings);
    ASSERT_GE(reader.overviewCount(), 3);
    for (int level = 0; level <= 4; ++level) {
        const int stride = 1 << level;
        std::vector<int> columns, rows;
        for (int c = stride; c < spec.width - stride; c += stride)
            columns.push_back(c);
        for (int r = stride; r < spec.height - stride; r += stride)
            rows.push_back(r);
        std::vector<float> z(columns.size() * rows.size());
        reader.read(level, columns, rows, z.data());
        for (size_t j = 0; j < rows.size(); ++j)
            for (size_t i = 0; i < columns.size(); ++i)
                ASSERT_NEAR(z[j * columns.size() + i], spec.heightAt(columns[i], rows[j]), 1e-3)
                    << "level " << level << " at " << columns[i] << ", " << rows[j];
    }
}

TEST_F(StreamedGroundTest, NoBackgroundShowsThroughAndTheBudgetHolds)
{
    Viewer viewer(PLUGIN);
    viewer.openTerrainOverride(settings(64, true));
    ASSERT_TRUE(viewer.terrain()->streamed());
    const double side = kSide * kCell;
    const int w = 960, h = 540;
    size_t tiles = 0;
    for (bool moving : {false, true}) {
        viewer.setMoving(moving);
        for (double distance : {2000.0, 6000.0, 15000.0})
            for (double azimuth : {20.0, 135.0, 250.0}) {
                viewer.scene().setView(azimuth, 8.0, distance);
                const double cx = kWest + (0.2 + azimuth / 500.0) * side, cy = kNorth - 0.55 * side;
                viewer.scene().camera().target = {cx, cy, viewer.terrain()->heightAt(cx, cy) * 2.0};
                const std::vector<uint8_t> picture = viewer.renderRGBA(w, h);
                EXPECT_EQ(holesInGround(picture, w, h), 0u)
                    << "distance " << distance << ", azimuth " << azimuth << (moving ? ", moving" : ", still");
                tiles += viewer.terrain()->tilesDrawn();
                // A view's own tiles stay whatever they cost (close over
                // rugged land, more than this budget); a view of the
                // whole model from afar after it lets the rest go.
                viewer.scene().setView(0, 90, 200000);
                viewer.renderRGBA(160, 90);
                EXPECT_LE(viewer.terrain()->memoryBytes(), size_t(64) << 20);
            }
    }
    // What the views drew would not have fitted at once: tiles went.
    EXPECT_GT(tiles * 300000, size_t(64) << 20);
}

TEST_F(StreamedGroundTest, AStreamingWindowEndsOnTheRendersPicture)
{
    Viewer viewer(PLUGIN);
    viewer.openTerrainOverride(settings(64, true));
    viewer.scene().setView(200, 15, 9000);
    const std::vector<uint8_t> rendered = viewer.renderRGBA(640, 360);

    Viewer window(PLUGIN);
    int arrived = 0;
    window.setStreamingGround([&arrived] { ++arrived; });
    window.openTerrainOverride(settings(64, true));
    window.scene().setView(200, 15, 9000);
    std::vector<uint8_t> first = window.renderRGBA(640, 360), last = first;
    int frames = 1;
    while (window.scene().ground()->pending() && frames < 5000) {
        last = window.renderRGBA(640, 360);
        ++frames;
    }
    EXPECT_FALSE(window.scene().ground()->pending());
    EXPECT_GT(arrived, 4);
    EXPECT_GT(frames, 2) << "tiles came in over several frames";
    EXPECT_NE(first, rendered) << "the first frame did not wait for the disk";
    EXPECT_EQ(last, rendered);
}

// A model where no overview can be written beside it (inside a zip) gets
// them in the user's cache, once.
TEST_F(StreamedGroundTest, OverviewsGoToTheCacheWhereTheModelsFolderCannotTakeThem)
{
    const std::string zip = writeZip(dir + "/dem.zip", {{"dem.tif", dir + "/rugged.tif"}});
    const std::string cache = dir + "/cache";
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    terrain::TerrainSettings s = settings(64);
    s.model = "/vsizip/" + zip + "/dem.tif";
    std::vector<std::string> warnings;
    auto ground = terrain::Terrain::open(s, warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("built them once into " + cache + "/cloudview/overviews/dem-"), std::string::npos)
        << warnings[0];
    warnings.clear();
    ground = terrain::Terrain::open(s, warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("overviews from the cache"), std::string::npos) << warnings[0];
    EXPECT_TRUE(ground->streamed());
    unsetenv("XDG_CACHE_HOME");
}

}  // namespace

namespace {

// A far view reads overviews only: a model whose full-resolution blocks
// were never written (all zero) but whose overviews are a real model's
// draws that real model's relief, the same picture.
TEST_F(StreamedGroundTest, AFarViewReadsOverviewsOnly)
{
    std::vector<std::string> warnings;
    terrain::withOverviews(dir + "/rugged.tif", nullptr);
    ModelSpec spec;
    spec.width = spec.height = kSide;
    spec.cell = kCell;
    spec.heightAt = [](int, int) { return 0.0; };
    writeModel(dir + "/hollow.tif", spec);
    std::filesystem::copy_file(dir + "/rugged.tif.ovr", dir + "/hollow.tif.ovr",
                               std::filesystem::copy_options::overwrite_existing);
    auto picture = [](const std::string &model) {
        Viewer viewer(PLUGIN);
        terrain::TerrainSettings s = settings(64);
        s.model = model;
        viewer.openTerrainOverride(s);
        viewer.scene().setView(200, 30, 200000);
        return viewer.renderRGBA(320, 180);
    };
    const std::vector<uint8_t> real = picture(dir + "/rugged.tif"), hollow = picture(dir + "/hollow.tif");
    EXPECT_EQ(real, hollow);
    // Close up, the hollow model's own samples show: flat.
    EXPECT_EQ(terrain::Terrain::open([] {
                  terrain::TerrainSettings s = settings(64);
                  s.model = dir + "/hollow.tif";
                  return s;
              }(), warnings)->heightAt(kWest + 1000.0, kNorth - 1000.0),
              0.0);
}

}  // namespace
