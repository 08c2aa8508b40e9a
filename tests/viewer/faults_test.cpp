// Saves whose last step fails: the final close or the rename of a file
// written under a temporary name. The old file must stay as it was and no
// temporary may be left. The C library's calls fail on cue here
// (support/libc_faults.h), which is why these tests have a program of
// their own.
#include "hlib.h"
#include "hvislib.h"
#include "support/libc_faults.h"
#include "support/test_util.h"
#include "viewer/hlib/error.h"
#include "viewer/hlib/heap_debug.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

using Names = std::set<std::string>;

class LastStep : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "clouds-faults-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        live = hmsc_HeapLiveBlocks();
    }
    void TearDown() override {
        faults::clear();
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
        fs::remove_all(dir);
    }
    Names listing() const {
        Names names;
        for (const auto &entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }
    static void writeText(const std::string &name, const char *text) { std::ofstream(name) << text; }

    fs::path dir;
    size_t live = 0;
};

// Writes "new\n" to name through hfio_ with the fault armed before the close.
int32_t save(const std::string &name, void (*arm)(), HErrorSlot *err) {
    HFile *out = hfio_Open(name.c_str(), "w", err);
    if (!out)
        return 0;
    hfio_Fprintf(out, "new\n");
    arm();
    return hfio_Close(out, err);
}

TEST_F(LastStep, FileWhoseFinalCloseFailsKeepsTheOldOne) {
    const std::string name = (dir / "layer.cloud").string();
    writeText(name, "old\n");
    HErrorSlot err = nullptr;
    EXPECT_EQ(save(name, [] { faults::failFclose(EIO); }, &err), 0);
    EXPECT_EQ(herr_Message(err), name + ": cannot write: " + std::strerror(EIO));
    EXPECT_EQ(readFile(name), "old\n");
    EXPECT_EQ(listing(), Names{"layer.cloud"});
}

TEST_F(LastStep, FileWhoseRenameFailsKeepsTheOldOne) {
    const std::string name = (dir / "layer.cloud").string();
    writeText(name, "old\n");
    HErrorSlot err = nullptr;
    EXPECT_EQ(save(name, [] { faults::failRename("layer.cloud", EACCES); }, &err), 0);
    EXPECT_EQ(herr_Message(err), name + ": cannot replace: " + std::strerror(EACCES));
    EXPECT_EQ(readFile(name), "old\n");
    EXPECT_EQ(listing(), Names{"layer.cloud"});
    // The same save without the fault goes through.
    EXPECT_EQ(save(name, [] {}, &err), 1);
    EXPECT_EQ(readFile(name), "new\n");
}

// The pixel phase of a raster export: three 8 × 8 bands, closed with the
// fault armed.
int32_t savePicture(const std::string &file, void (*arm)(), HErrorSlot *err) {
    static const char *const suffixes[] = {"(:Layer_1)", "(:Layer_2)", "(:Layer_3)"};
    HStringList *names = hstr_StringListCreate(3, err);
    for (int k = 0; k < 3; ++k)
        names->strings[k] = hstr_StringCat(0, file.c_str(), suffixes[k]);
    HPixelRectStack *planes = himg_PixelRectStackCreate(3, 8, 8, 3, err);
    HRaster *raster = himg_LayerStackCreate(names, 1, 3, 8, 8, hint_GetInit(err, 0));
    int32_t done = 0;
    if (raster && himg_LayerStackWrite(raster, 0, 0, 8, 8, planes, err)) {
        arm();
        done = himg_LayerStackClose(raster, err);
    }
    hstr_StringListDelete(names, nullptr);
    himg_PixelRectStackDelete(planes, nullptr);
    return done;
}

TEST_F(LastStep, PictureWhoseRenameFailsKeepsTheOldOne) {
    const std::string file = (dir / "sky.tif").string();
    writeText(file, "old picture\n");
    HErrorSlot err = nullptr;
    EXPECT_EQ(savePicture(file, [] { faults::failRename("sky.tif", EACCES); }, &err), 0);
    EXPECT_EQ(herr_Message(err), file + ": cannot replace: " + std::strerror(EACCES));
    EXPECT_EQ(readFile(file), "old picture\n");
    EXPECT_EQ(listing(), Names{"sky.tif"});
}

TEST_F(LastStep, PictureWhoseFinalCloseFailsKeepsTheOldOne) {
    const std::string file = (dir / "sky.tif").string();
    writeText(file, "old picture\n");
    HErrorSlot err = nullptr;
    EXPECT_EQ(savePicture(file, [] { faults::failFclose(EIO); }, &err), 0);
    EXPECT_NE(std::string(herr_Message(err)).find(file + ": cannot write: "), std::string::npos)
        << herr_Message(err);
    EXPECT_EQ(readFile(file), "old picture\n");
    EXPECT_EQ(listing(), Names{"sky.tif"});
}

TEST_F(LastStep, TablesWhoseRenameFailsLeaveNoTemporary) {
    const std::string file = (dir / "sky.tif").string();
    HErrorSlot err = nullptr;
    ASSERT_EQ(savePicture(file, [] {}, &err), 1) << herr_Message(err);
    HStringList *names = hstr_StringListCreate(3, &err);
    for (int k = 0; k < 3; ++k)
        names->strings[k] = hstr_StringCat(0, file.c_str(), "(:Layer)");
    HRaster *raster = himg_LayerStackOpen(names, hint_GetInit(&err, 8, "Descriptor_Table", 0));
    ASSERT_NE(raster, nullptr) << herr_Message(err);
    HBaseData *column = hgda_BaseDataCreate(4, 1, 10, 1, 0, &err);
    for (int k = 0; k < 4; ++k)
        static_cast<double *>(column->data)[k] = k / 3.0;
    hvis_WriteHdscColumn(raster->bands[0], column, "Contrast", 4, &err);
    hgda_BaseDataDelete(column, &err);
    faults::failRename("sky.tif.aux.xml", EACCES);
    EXPECT_EQ(himg_LayerStackClose(raster, &err), 0);
    EXPECT_NE(std::string(herr_Message(err)).find(file + ": cannot store descriptor tables"),
              std::string::npos)
        << herr_Message(err);
    EXPECT_EQ(listing(), Names{"sky.tif"});
    hstr_StringListDelete(names, nullptr);
}

} // namespace
