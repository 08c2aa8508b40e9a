// View > Terrain memory picked with real X input: the check moves to the
// size picked, and a scene saved keeps it.
#include "window_fixture.h"

#include "support/test_util.h"

namespace {

// In a 1280 x 800 window: the View menu's title, its "Terrain memory"
// row, and the submenu's rows (256 MiB first, a row every 17 pixels) with
// their check marks at the right.
constexpr int kViewMenuX = 112, kMemoryRowY = 110;
constexpr int kSubmenuX = 300, kFirstChoiceY = 109, kChoiceStep = 17;
constexpr int kCheckX = 305, kCheckWidth = 22;

class TerrainMemoryWindowTest : public WindowTest {
protected:
    // Opens View > Terrain memory and gives the window as it shows it.
    Picture openSubmenu(const std::string &name)
    {
        EXPECT_TRUE(xdoOpening("mousemove --window WID " + std::to_string(kViewMenuX) + " 10 click 1",
                               92, 18, 160, 110))
            << "no View menu";
        EXPECT_TRUE(xdoOpening("mousemove --window WID 130 " + std::to_string(kMemoryRowY), 240, 98,
                               90, 112))
            << "no Terrain memory submenu";
        return capture(name);
    }
    // Along the row, not across the menu: the pointer stays in the submenu.
    void pick(int choice)
    {
        xdo("mousemove --window WID " + std::to_string(kSubmenuX) + " " +
            std::to_string(kFirstChoiceY) + " sleep 0.3 mousemove --window WID " +
            std::to_string(kSubmenuX) + " " + std::to_string(rowY(choice)) + " click 1");
    }
    static int rowY(int choice) { return kFirstChoiceY + choice * kChoiceStep; }
    // Whether the check mark stands in that row of the submenu.
    static bool checked(const Picture &p, int choice)
    {
        return p.near({255, 255, 255}, 40, kCheckX, rowY(choice) - 7, kCheckWidth, 14) > 8;
    }
};

constexpr int k256 = 0, k512 = 1, k1G = 2;

} // namespace

TEST_F(TerrainMemoryWindowTest, PickedOverATerrainTheGroundTakesItAndSaveSceneKeepsIt)
{
    for (const char *name : {"valley.scene", "valley.cloud", "olinda_dem_utm25s.tif",
                             "olinda_l7_rgb.tif"})
        copyExample(name);
    startLive("valley.scene --size 1280x800");
    const Picture before = openSubmenu("before.png");
    EXPECT_TRUE(checked(before, k1G)) << "the default, 1 GiB, is not checked";
    EXPECT_FALSE(checked(before, k512));

    pick(k512);
    capture("picked.png");
    const Picture after = openSubmenu("after.png");
    EXPECT_TRUE(checked(after, k512)) << "512 MiB is not checked";
    EXPECT_FALSE(checked(after, k1G));
    xdo("key Escape");

    // File > Save scene as..., a name typed into the browser's folder.
    ASSERT_TRUE(xdoOpening("mousemove --window WID 25 10 click 1", 10, 22, 200, 120))
        << "no File menu";
    ASSERT_TRUE(xdoOpening("mousemove --window WID 60 124 click 1", 340, 200, 600, 400))
        << "no file browser";
    xdo("type --delay 40 kept");
    xdo("key Return");
    for (int i = 0; i < 5 && readFile(file("kept.scene")).empty(); ++i)
        capture("saved.png");
    const std::vector<std::string> saved = splitLines(readFile(file("kept.scene")));
    ASSERT_FALSE(saved.empty()) << "no kept.scene";
    EXPECT_EQ(saved[0], "TERRAIN \"olinda_dem_utm25s.tif\" DRAPE \"olinda_l7_rgb.tif\" "
                        "EXAGGERATION 5 MEMORY 512;");
    EXPECT_EQ(readFile(file(".live_err")), "");
}

TEST_F(TerrainMemoryWindowTest, OverTheFlatGridACommandLineSizeIsAnExtraRowUntilAnotherIsPicked)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    startLive("sky.scene --size 1280x800 --terrain-memory 768");
    // 768 MiB stands in order between 512 MiB and 1 GiB, checked.
    const Picture before = openSubmenu("before.png");
    EXPECT_TRUE(checked(before, 2)) << "768 MiB is not checked";
    EXPECT_FALSE(checked(before, 3));
    pick(k256);
    capture("picked.png");
    const Picture after = openSubmenu("after.png");
    EXPECT_TRUE(checked(after, k256)) << "256 MiB is not checked";
    EXPECT_FALSE(checked(after, k1G));
    EXPECT_FALSE(checked(after, 2));
    // Seven rows before (8 GiB the last), six after.
    EXPECT_GT(before.differing(after, 60, 240, rowY(6) - 8, 90, 16), 20u)
        << "the 768 MiB row did not come and go";
    EXPECT_EQ(readFile(file(".live_err")), "");
}
