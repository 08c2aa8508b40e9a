// The cloud tool's "Export image" in the window, over the valley example's
// UTM ground: the picture lies over the chosen cloud's footprint in the
// scene's coordinate system, as gdalinfo reads it.
#include <gdal.h>
#include <ogr_srs_api.h>

#include "window_fixture.h"

TEST_F(WindowTest, TheToolsExportOverTerrainLiesInTheScenesCoordinateSystem)
{
    copyExample("valley.scene");
    copyExample("valley.cloud");
    copyExample("olinda_dem_utm25s.tif");
    copyExample("olinda_l7_rgb.tif");
    // Cloud 2 of valley.cloud: centre (295500, 9114000), half-sizes 1200
    // and -1000.
    const Ran r = runScript("valley.scene", "RUN LAYER 1 \"cloudupdate\" \"showproperties\";\n"
                                            "SET LAYER 1 \"currentcloud\" \"Cloud 2\";\n"
                                            "SET LAYER 1 \"savefile\" \"c2.tif\";\n"
                                            "SET LAYER 1 \"savetoimg\";\n"
                                            "SCREENSHOT \"shot.png\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(readPicture(file("shot.png")).empty());

    GDALAllRegister();
    GDALDatasetH tif = GDALOpen(file("c2.tif").c_str(), GA_ReadOnly);
    ASSERT_NE(tif, nullptr);
    GDALDatasetH dem = GDALOpen(file("olinda_dem_utm25s.tif").c_str(), GA_ReadOnly);
    ASSERT_NE(dem, nullptr);
    double gt[6];
    ASSERT_EQ(GDALGetGeoTransform(tif, gt), CE_None);
    const int w = GDALGetRasterXSize(tif), h = GDALGetRasterYSize(tif);
    EXPECT_NEAR(gt[0], 294300.0, 1e-6);
    EXPECT_NEAR(gt[0] + w * gt[1], 296700.0, 1e-6);
    EXPECT_NEAR(gt[3], 9115000.0, 1e-6);
    EXPECT_NEAR(gt[3] + h * gt[5], 9113000.0, 1e-6);
    ASSERT_NE(GDALGetSpatialRef(tif), nullptr);
    EXPECT_TRUE(OSRIsSame(GDALGetSpatialRef(tif), GDALGetSpatialRef(dem)))
        << "labelled with the model's own system";
    GDALClose(dem);
    GDALClose(tif);
}
