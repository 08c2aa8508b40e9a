// The ground drawn as the model is: a drape the right way up, rays that
// meet every sample a tile holds, and no background showing through the
// joins of tiles of different levels, at UTM northings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "terrain/terrain.h"
#include "terrain/terrain_models.h"
#include "terrain/tile_tree.h"
#include "viewer.h"

namespace {

using cloudview::Viewer;

constexpr double kWest = 500000.0, kNorth = 9000000.0;

struct GroundDrawnTrueTest : ::testing::Test {
    std::string dir = scratchFolder();
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string &name, const std::string &text)
    {
        std::ofstream(dir + "/" + name) << text;
        return dir + "/" + name;
    }
};

const uint8_t *pixel(const std::vector<uint8_t> &rgba, int width, double wx, double wy)
{
    return &rgba[(size_t(wy) * size_t(width) + size_t(wx)) * 4];
}

TEST_F(GroundDrawnTrueTest, TheDrapeLiesNorthUp)
{
    ModelSpec spec;  // flat, 12.9 km square
    writeModel(dir + "/flat.tif", spec);
    const unsigned char red[3] = {220, 20, 20}, blue[3] = {20, 20, 220};
    writeTwoHalvesImage(dir + "/halves.tif", kWest, kNorth, 50.0, 258, 32725, red, blue);
    Viewer viewer(PLUGIN);
    viewer.runScript(write("a.scene", "TERRAIN \"flat.tif\" DRAPE \"halves.tif\";\n"));
    const int w = 320, h = 320;
    for (double azimuth : {180.0, 0.0}) {
        viewer.scene().setView(azimuth, 90, 20000);
        viewer.scene().camera().target = {kWest + 6450.0, kNorth - 6450.0, 0.0};
        const std::vector<uint8_t> top = viewer.renderRGBA(w, h);
        const host::Camera camera = viewer.scene().viewCamera();
        // A quarter of the model in from its north and its south edge.
        const double northPoint[3] = {kWest + 6450.0, kNorth - 3200.0, 0.0};
        const double southPoint[3] = {kWest + 6450.0, kNorth - 9700.0, 0.0};
        double nx, ny, sx, sy;
        ASSERT_TRUE(camera.worldToWindow(northPoint, &nx, &ny));
        ASSERT_TRUE(camera.worldToWindow(southPoint, &sx, &sy));
        if (azimuth == 180.0)
            EXPECT_LT(ny, sy) << "looking north, north is up";
        const uint8_t *n = pixel(top, w, nx, ny), *s = pixel(top, w, sx, sy);
        EXPECT_GT(n[0], n[2] + 100) << "the image's north half lies on the model's north: " << int(n[0])
                                    << " " << int(n[2]) << " at azimuth " << azimuth;
        EXPECT_GT(s[2], s[0] + 100) << "and its south half on the south: " << int(s[0]) << " "
                                    << int(s[2]) << " at azimuth " << azimuth;
    }
}

// A wall one sample wide on every 64th column but the first: the column a
// leaf tile ends on and the next begins with.
TEST_F(GroundDrawnTrueTest, RaysMeetAWallOnTheLastColumnOfEveryLeafTile)
{
    terrain::HeightModel model;
    model.width = 257;
    model.height = 129;
    const double cell = 10.0;
    const double gt[6] = {kWest, cell, 0.0, kNorth, 0.0, -cell};
    std::copy(gt, gt + 6, model.geoTransform);
    model.heights.assign(size_t(model.width) * size_t(model.height), 0.0f);
    for (int r = 0; r < model.height; ++r)
        for (int c = 64; c < model.width; c += 64)
            model.heights[size_t(r) * size_t(model.width) + size_t(c)] = 1000.0f;
    model.low = 0.0f;
    model.high = 1000.0f;
    const terrain::TileTree tree(model);

    for (int wall = 64; wall < model.width; wall += 64)
        for (int row : {3, 40, 64, 100}) {
            for (double z : {100.0, 500.0, 900.0}) {
                // Level from the west, starting just past the wall before.
                const double x0 = model.sampleX(wall - 60), y = model.sampleY(row);
                const double start[3] = {x0, y, z}, second[3] = {x0 + 1.0, y, z};
                double t = 0;
                ASSERT_TRUE(tree.intersect(start, second, &t)) << wall << " " << row << " " << z;
                // The wall's west face rises over the cell before it.
                const double expected = model.sampleX(wall - 1) + cell * z / 1000.0;
                EXPECT_NEAR(x0 + t, expected, 1e-3) << "wall at column " << wall << ", row " << row
                                                    << ", height " << z;
            }
            // Straight down onto the wall's top.
            const double top[3] = {model.sampleX(wall), model.sampleY(row), 5000.0};
            const double below[3] = {top[0], top[1], 4000.0};
            double t = 0;
            ASSERT_TRUE(tree.intersect(top, below, &t));
            EXPECT_NEAR(5000.0 - 1000.0 * t, 1000.0, 1e-3) << "column " << wall << ", row " << row;
        }
}

// The edge of a tile at a sample on it: straight between its own samples.
double edgeHeight(const terrain::HeightModel &m, const std::vector<int> &along, int fixed, bool rowEdge,
                  int at)
{
    size_t k = 0;
    while (k + 2 < along.size() && along[k + 1] <= at)
        ++k;
    const int a = along[k], b = along[k + 1];
    const double ha = rowEdge ? m.at(a, fixed) : m.at(fixed, a), hb = rowEdge ? m.at(b, fixed) : m.at(fixed, b);
    return ha + (hb - ha) * double(at - a) / double(b - a);
}

// Wherever two tiles a view draws meet, the higher edge's skirt reaches
// the lower edge, at every sample of the join: whatever levels meet.
TEST_F(GroundDrawnTrueTest, SkirtsCloseEveryJoinAViewMakes)
{
    terrain::HeightModel model;
    model.width = model.height = 1025;
    const double gt[6] = {kWest, 30.0, 0.0, kNorth, 0.0, -30.0};
    std::copy(gt, gt + 6, model.geoTransform);
    model.heights.resize(size_t(model.width) * size_t(model.height));
    for (int r = 0; r < model.height; ++r)
        for (int c = 0; c < model.width; ++c)
            model.heights[size_t(r) * size_t(model.width) + size_t(c)] = float(rugged(c, r));
    model.low = *std::min_element(model.heights.begin(), model.heights.end());
    model.high = *std::max_element(model.heights.begin(), model.heights.end());
    const terrain::TileTree tree(model);
    const double side = 1025 * 30.0;
    host::Extent extent{kWest, kWest + side, kNorth - side, kNorth, model.low, model.high};

    size_t joins = 0, levelJoins = 0;
    for (double distance : {2500.0, 8000.0, 20000.0})
        for (double azimuth : {20.0, 135.0, 250.0})
            for (double pixelError : {2.0, 8.0}) {
                host::Camera camera;
                camera.width = 1280;
                camera.height = 720;
                camera.azimuth = azimuth;
                camera.elevation = 8.0;
                camera.distance = distance;
                camera.target = {kWest + 0.4 * side, kNorth - 0.55 * side, 1500.0};
                camera.fitClipPlanes(extent);
                const std::vector<terrain::TileKey> keys = tree.select(camera, pixelError);
                std::vector<terrain::TileSpan> spans;
                for (const terrain::TileKey &key : keys)
                    spans.push_back(tree.span(key));
                for (size_t a = 0; a < spans.size(); ++a)
                    for (size_t b = 0; b < spans.size(); ++b) {
                        const terrain::TileSpan &p = spans[a], &q = spans[b];
                        // q below p (rows grow southward) or east of it.
                        for (bool rowEdge : {true, false}) {
                            const std::vector<int> &pAcross = rowEdge ? p.rows : p.columns;
                            const std::vector<int> &qAcross = rowEdge ? q.rows : q.columns;
                            const std::vector<int> &pAlong = rowEdge ? p.columns : p.rows;
                            const std::vector<int> &qAlong = rowEdge ? q.columns : q.rows;
                            if (pAcross.back() != qAcross.front())
                                continue;
                            const int from = std::max(pAlong.front(), qAlong.front());
                            const int to = std::min(pAlong.back(), qAlong.back());
                            if (from >= to)
                                continue;
                            ++joins;
                            levelJoins += keys[a].level != keys[b].level;
                            const int line = pAcross.back();
                            const float pSkirt = p.skirt[rowEdge ? terrain::kLastRow : terrain::kLastColumn];
                            const float qSkirt = q.skirt[rowEdge ? terrain::kFirstRow : terrain::kFirstColumn];
                            for (int at = from; at <= to; ++at) {
                                const double hp = edgeHeight(model, pAlong, line, rowEdge, at);
                                const double hq = edgeHeight(model, qAlong, line, rowEdge, at);
                                ASSERT_LE(hp - pSkirt, hq + 1e-3)
                                    << "level " << keys[a].level << " over level " << keys[b].level << " at "
                                    << (rowEdge ? "row " : "column ") << line << ", " << at << " seen from " << distance
                                    << " m at azimuth " << azimuth << ", " << pixelError << " px";
                                ASSERT_LE(hq - qSkirt, hp + 1e-3)
                                    << "level " << keys[b].level << " over level " << keys[a].level << " at "
                                    << (rowEdge ? "row " : "column ") << line << ", " << at << " seen from " << distance
                                    << " m at azimuth " << azimuth << ", " << pixelError << " px";
                            }
                        }
                    }
            }
    EXPECT_GT(levelJoins, 20u) << "the views join tiles of different levels (" << joins << " joins)";
}

TEST_F(GroundDrawnTrueTest, NoBackgroundShowsThroughTheJoinsOfTiles)
{
    ModelSpec spec;
    spec.width = spec.height = 1025;
    spec.cell = 30.0;
    spec.heightAt = rugged;
    writeModel(dir + "/rugged.tif", spec);
    const double side = 1025 * 30.0;
    const unsigned char red[3] = {255, 0, 0};
    writeTwoHalvesImage(dir + "/red.tif", kWest, kNorth, 60.0, 513, 32725, red, red);
    Viewer viewer(PLUGIN);
    viewer.runScript(write("a.scene", "TERRAIN \"rugged.tif\" DRAPE \"red.tif\";\n"));
    const int w = 960, h = 540;
    for (bool moving : {false, true}) {
        viewer.setMoving(moving);
        for (double distance : {2500.0, 6000.0, 12000.0})
            for (double azimuth : {20.0, 135.0, 250.0})
                for (double elevation : {6.0, 12.0}) {
                    viewer.scene().setView(azimuth, elevation, distance);
                    const double cx = kWest + 0.4 * side, cy = kNorth - 0.55 * side;
                    viewer.scene().camera().target = {cx, cy, viewer.terrain()->heightAt(cx, cy)};
                    const std::vector<uint8_t> picture = viewer.renderRGBA(w, h);
                    EXPECT_EQ(holesInGround(picture, w, h), 0u)
                        << "distance " << distance << ", azimuth " << azimuth << ", elevation "
                        << elevation << (moving ? ", moving" : ", still");
                }
    }
}

// A single no-data sample leaves out the four cells around it, two cells
// across, whichever level would draw the flat land there and however far
// the eye is.
TEST_F(GroundDrawnTrueTest, AHoleKeepsItsSizeAtEveryDistance)
{
    const double cell = 10.0;
    const unsigned char red[3] = {255, 0, 0};
    writeTwoHalvesImage(dir + "/red.tif", kWest, kNorth, 20.0, 513, 32725, red, red);
    const int side = 512;
    const double pixelsPerMetreAtOneMetre = side / (2.0 * std::tan(35.0 * M_PI / 360.0));
    for (int at : {512, 513}) {
        ModelSpec spec;
        spec.width = spec.height = 1025;
        spec.cell = cell;
        spec.hasNoData = true;
        spec.heightAt = [at](int c, int r) { return c == at && r == at ? -9999.0 : 0.0; };
        writeModel(dir + "/holed.tif", spec);
        Viewer viewer(PLUGIN);
        viewer.runScript(write("a.scene", "TERRAIN \"holed.tif\" DRAPE \"red.tif\";\n"));
        for (double cellPixels : {4.0, 2.0, 1.0}) {
            const double distance = cell * pixelsPerMetreAtOneMetre / cellPixels;
            viewer.scene().setView(180, 90, distance);
            viewer.scene().camera().target = {kWest + (at + 0.5) * cell, kNorth - (at + 0.5) * cell, 0.0};
            const std::vector<uint8_t> picture = viewer.renderRGBA(side, side);
            size_t hole = 0;
            for (size_t i = 0; i < size_t(side) * side; ++i)
                hole += !drapeRed(&picture[4 * i]);
            const double across = 2.0 * cellPixels;  // the hole's side, pixels
            EXPECT_NEAR(double(hole), across * across, 2.0 * across + 1.0)
                << "no-data sample at (" << at << ", " << at << "), a cell " << cellPixels << " pixels";
        }
    }
}

}  // namespace
