// Every kind of selection box handle dragged with real X input, over the
// flat grid and over an elevation model at UTM coordinates: each drag
// changes the picked cloud as the handle says, and Ctrl+S writes it.
#include "window_fixture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <sstream>
#include <thread>
#include <tuple>

#include "support/test_util.h"

namespace {

// The scene view's part of a 1280 x 800 window that the stacker does not
// cover, and the stacker's first entry and its visibility box.
constexpr int kViewX = 280, kViewY = 110, kViewW = 1000, kViewH = 660;
const std::string kEntry = "140 70", kCheckbox = "17 70";
const std::array<int, 3> kFaceHandle{255, 110, 20};

struct Point {
    int x = 0, y = 0;
};

// The patches (4-connected) of the view's pixels that pass `in`, largest
// first, as their centres and sizes.
template <class In> std::vector<std::pair<size_t, Point>> patches(const Picture &p, In in)
{
    std::vector<std::pair<size_t, Point>> found;
    if (p.width < kViewX + kViewW || p.height < kViewY + kViewH)
        return found;
    std::vector<char> seen(size_t(p.width) * size_t(p.height), 0);
    for (int y0 = kViewY; y0 < kViewY + kViewH; ++y0)
        for (int x0 = kViewX; x0 < kViewX + kViewW; ++x0) {
            if (seen[size_t(y0) * size_t(p.width) + size_t(x0)] || !in(x0, y0))
                continue;
            std::vector<Point> todo{{x0, y0}};
            seen[size_t(y0) * size_t(p.width) + size_t(x0)] = 1;
            long sx = 0, sy = 0, n = 0;
            while (!todo.empty()) {
                const Point q = todo.back();
                todo.pop_back();
                sx += q.x, sy += q.y, ++n;
                for (const Point d : {Point{1, 0}, Point{-1, 0}, Point{0, 1}, Point{0, -1}}) {
                    const int x = q.x + d.x, y = q.y + d.y;
                    if (x < kViewX || y < kViewY || x >= kViewX + kViewW || y >= kViewY + kViewH)
                        continue;
                    char &s = seen[size_t(y) * size_t(p.width) + size_t(x)];
                    if (!s && in(x, y)) {
                        s = 1;
                        todo.push_back({x, y});
                    }
                }
            }
            found.push_back({size_t(n), {int(sx / n), int(sy / n)}});
        }
    std::sort(found.begin(), found.end(),
              [](const auto &a, const auto &b) { return a.first > b.first; });
    return found;
}

// The round face handles' centres (their orange fill).
std::vector<Point> faceHandles(const Picture &p)
{
    std::vector<Point> out;
    for (const auto &[n, at] : patches(p, [&](int x, int y) {
             return p.near(kFaceHandle, 30, x, y, 1, 1) > 0;
         }))
        if (n >= 20)
            out.push_back(at);
    return out;
}

// The square corner handles' centres: white squares inside a dark outline,
// which nothing else in a scene draws.
std::vector<Point> cornerHandles(const Picture &p)
{
    const auto white = [&](int x, int y) { return p.near({255, 255, 255}, 12, x, y, 1, 1) > 0; };
    // The outline: grey, darker than the fill, partly blended where the
    // square's edge falls between pixels.
    const auto dark = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= p.width || y >= p.height)
            return false;
        const auto c = p.at(x, y);
        const int high = std::max({c[0], c[1], c[2]}), low = std::min({c[0], c[1], c[2]});
        return high - low <= 6 && high <= 150;
    };
    const auto outlinedSide = [&](int x, int y, int dx, int dy) {
        for (int r = 4; r <= 6; ++r)
            if (dark(x + r * dx, y + r * dy))
                return true;
        return false;
    };
    std::vector<Point> out;
    for (const auto &[n, at] : patches(p, [&](int x, int y) {
             return p.near({255, 255, 255}, 12, x - 1, y - 1, 3, 3) == 9 && white(x, y) &&
                    outlinedSide(x, y, 1, 0) && outlinedSide(x, y, -1, 0) &&
                    outlinedSide(x, y, 0, 1) && outlinedSide(x, y, 0, -1);
         }))
        out.push_back(at);
    return out;
}

// A cloud record's line of centre and half-extents.
using Numbers = std::vector<double>;
Numbers numbers(const std::string &line)
{
    std::istringstream in(line);
    Numbers out;
    for (double v; in >> v;)
        out.push_back(v);
    return out;
}

class BoxHandlesWindowTest : public WindowTest {
protected:
    // Picks the nearest (largest) cloud of the layer in the scene: where
    // the pictures with the layer shown and hidden differ most.
    Picture pickACloud()
    {
        const Picture shown = capture("shown.png");
        xdo("mousemove --window WID " + kCheckbox + " click 1");
        const Picture hidden = captureWhen("hidden.png", [&](const Picture &p) {
            return p.differing(shown, 24, kViewX, kViewY, kViewW, kViewH) > 500;
        });
        xdo("mousemove --window WID " + kCheckbox + " click 1");
        const Picture again = captureWhen("again.png", [&](const Picture &p) {
            return p.differing(shown, 24, kViewX, kViewY, kViewW, kViewH) < 50;
        });
        const auto clouds = patches(again, [&](int x, int y) {
            return hidden.differing(again, 24, x, y, 1, 1) > 0;
        });
        if (clouds.empty()) {
            ADD_FAILURE() << "no cloud to pick";
            return again;
        }
        const Point c = clouds.front().second;
        xdo("mousemove --window WID " + std::to_string(c.x) + " " + std::to_string(c.y) +
            " click 1");
        const Picture picked = captureWhen(
            "picked.png", [](const Picture &p) { return faceHandles(p).size() >= 5; });
        EXPECT_GE(faceHandles(picked).size(), 5u)
            << "no round face handles after a click at " << c.x << " " << c.y;
        EXPECT_GE(cornerHandles(picked).size(), 6u) << "no corner squares";
        return picked;
    }

    // A drag from a handle by (dx, dy) pixels, with pauses as a hand makes
    // them; Shift held through it when asked.
    void dragHandle(Point from, int dx, int dy, bool shift = false)
    {
        const std::string press = "mousemove --window WID " + std::to_string(from.x) + " " +
                                  std::to_string(from.y) + " sleep 0.2 ";
        const std::string drag = "mousedown 1 sleep 0.2 mousemove_relative --sync -- " +
                                 std::to_string(dx / 2) + " " + std::to_string(dy / 2) +
                                 " sleep 0.2 mousemove_relative --sync -- " +
                                 std::to_string(dx - dx / 2) + " " +
                                 std::to_string(dy - dy / 2) + " sleep 0.2 mouseup 1";
        xdo(shift ? press + "keydown shift sleep 0.2 " + drag + " sleep 0.2 keyup shift"
                  : press + drag);
    }

    // Ctrl+S, then the one cloud line that changed since `before`: its
    // numbers then and now.
    std::pair<Numbers, Numbers> saveAndCompare(const std::string &layerFile,
                                               const std::string &before)
    {
        capture("dragged.png");
        xdo("key --window WID ctrl+s");
        std::string saved = before;
        for (int tries = 0; tries < 60 && saved == before; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            saved = readFile(file(layerFile));
        }
        const std::vector<std::string> was = splitLines(before), now = splitLines(saved);
        EXPECT_EQ(was.size(), now.size());
        std::pair<Numbers, Numbers> change;
        int changed = 0;
        for (size_t i = 0; i < was.size() && i < now.size(); ++i)
            if (was[i] != now[i]) {
                ++changed;
                change = {numbers(was[i]), numbers(now[i])};
            }
        EXPECT_EQ(changed, 1) << "the save changed " << changed << " lines";
        EXPECT_EQ(change.first.size(), 6u);
        EXPECT_EQ(change.second.size(), 6u);
        change.first.resize(6);
        change.second.resize(6);
        return change;
    }

    // Picks a cloud and drags a side face, the top face and a corner with
    // and without Shift, saving after each: the layer file holds each change.
    void dragEveryKindOfHandle(const std::string &scene, const std::string &layerFile)
    {
        startLive(scene + " --size 1280x800");
        if (HasFatalFailure())
            return;
        Picture p = pickACloud();
        if (HasFailure())
            return;
        // Selected in the stacker, the layer is what Ctrl+S saves.
        xdo("mousemove --window WID " + kEntry + " click 1");
        std::string text = readFile(file(layerFile));

        // The rightmost round handle is a side face's: the cloud moves over
        // the ground, its height and size kept.
        std::vector<Point> faces = faceHandles(p);
        ASSERT_GE(faces.size(), 5u);
        const Point side = *std::max_element(faces.begin(), faces.end(),
                                             [](Point a, Point b) { return a.x < b.x; });
        dragHandle({side.x - 1, side.y}, 50, 25);
        auto [was, now] = saveAndCompare(layerFile, text);
        EXPECT_GT(std::hypot(now[0] - was[0], now[1] - was[1]), 50.0) << "side: not moved";
        EXPECT_NEAR(now[2], was[2], 1e-3) << "side: height changed";
        for (size_t k = 3; k < 6; ++k)
            EXPECT_NEAR(now[k], was[k], 1e-3) << "side: resized";
        text = readFile(file(layerFile));

        // The top and bottom faces' handles lie nearest the box's middle,
        // the top one above: it lifts the cloud, nothing else.
        p = capture("moved.png");
        faces = faceHandles(p);
        ASSERT_GE(faces.size(), 5u);
        Point mid{};
        for (const Point &f : faces)
            mid.x += f.x / int(faces.size()), mid.y += f.y / int(faces.size());
        std::sort(faces.begin(), faces.end(), [&](Point a, Point b) {
            return std::hypot(a.x - mid.x, a.y - mid.y) < std::hypot(b.x - mid.x, b.y - mid.y);
        });
        const Point top = faces[0].y < faces[1].y ? faces[0] : faces[1];
        dragHandle(top, 0, -30);
        std::tie(was, now) = saveAndCompare(layerFile, text);
        EXPECT_GT(now[2], was[2] + 10.0) << "top: not lifted";
        for (size_t k : {0u, 1u, 3u, 4u, 5u})
            EXPECT_NEAR(now[k], was[k], 1e-3) << "top: more than the height changed";
        text = readFile(file(layerFile));

        // The rightmost corner square scales the cloud across the ground
        // about its centre; its height stays.
        p = capture("lifted.png");
        std::vector<Point> corners = cornerHandles(p);
        ASSERT_GE(corners.size(), 6u);
        const Point right = *std::max_element(corners.begin(), corners.end(),
                                              [](Point a, Point b) { return a.x < b.x; });
        dragHandle(right, 40, 0);
        std::tie(was, now) = saveAndCompare(layerFile, text);
        EXPECT_GT(std::fabs(now[3]) + std::fabs(now[4]), std::fabs(was[3]) + std::fabs(was[4]) + 50.0)
            << "corner: not wider";
        for (size_t k : {0u, 1u, 2u})
            EXPECT_NEAR(now[k], was[k], 1e-2) << "corner: the centre moved";
        EXPECT_NEAR(now[5], was[5], 1e-3) << "corner: the height changed";
        text = readFile(file(layerFile));

        // With Shift, the highest corner square scales the height alone.
        p = capture("widened.png");
        corners = cornerHandles(p);
        ASSERT_GE(corners.size(), 6u);
        const Point high = *std::min_element(corners.begin(), corners.end(),
                                             [](Point a, Point b) { return a.y < b.y; });
        dragHandle(high, 0, -20, true);
        std::tie(was, now) = saveAndCompare(layerFile, text);
        EXPECT_GT(std::fabs(now[5]), std::fabs(was[5]) * 1.1) << "shift corner: not taller";
        for (size_t k : {0u, 1u, 2u, 3u, 4u})
            EXPECT_NEAR(now[k], was[k], 1e-2) << "shift corner: more than the height changed";
        capture("taller.png");
        EXPECT_EQ(readFile(file(".live_err")), "");
    }
};

} // namespace

TEST_F(BoxHandlesWindowTest, EveryHandleChangesTheCloudAndItsFileOverTheFlatGrid)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    dragEveryKindOfHandle("sky.scene", "sky.cloud");
}

// Olinda's elevation model: UTM zone 25 south, northings near 9,100,000,
// heights drawn five times as high.
TEST_F(BoxHandlesWindowTest, EveryHandleChangesTheCloudAndItsFileOverTerrainAtUtmCoordinates)
{
    for (const char *name :
         {"valley.scene", "valley.cloud", "olinda_dem_utm25s.tif", "olinda_l7_rgb.tif"})
        copyExample(name);
    dragEveryKindOfHandle("valley.scene", "valley.cloud");
}

// The same model with its heights as they are, seen from the south-east.
TEST_F(BoxHandlesWindowTest, EveryHandleChangesTheCloudAndItsFileOverTerrainTrueToScale)
{
    for (const char *name : {"valley.cloud", "olinda_dem_utm25s.tif", "olinda_l7_rgb.tif"})
        copyExample(name);
    write("level.scene", "TERRAIN \"olinda_dem_utm25s.tif\" DRAPE \"olinda_l7_rgb.tif\" "
                         "EXAGGERATION 1;\nVIEW 150 30;\nADDFEATURELAYER \"Clouds\" "
                         "\"valley.cloud\";\n");
    dragEveryKindOfHandle("level.scene", "valley.cloud");
}
