// The scene script reader under libFuzzer: any bytes as a scene script,
// run through cloudview's Viewer with the plug-in loaded as cloudview
// loads it.
//
// A first line "#scene" runs the script as `cloudview render` does (scene
// statements only); anything else runs it all, as `cloudview run` does.
// Questions get the viewer's default answer, "No", unless the script
// answers them. Errors the viewer reports (ViewerError, which names the
// file and line) are expected; any other exception, a crash or a sanitizer
// report is a fault.
//
// The script runs in a scratch folder that holds small made files it may
// name: dem.tif (a 9 x 9 UTM model), deg.tif (9 x 9 in degrees), drape.tif
// (a 3-band image over dem.tif), pixels.tif (no georeferencing),
// a.cloud (two small clouds over dem.tif), b.cloud (one cloud over the
// flat grid), bad.cloud (damaged). They are written again before each
// input and anything else the input left there is removed, so every input
// starts from the same folder. The harness, not the viewer, keeps the
// writes inside it: an input naming a path with a '/' or "..", or an
// inline GDAL dataset, is skipped. RENDER and ICON sizes are held to 16
// pixels (RENDER without a size gets 16 x 16), and texture sizes and
// counts the script sets to 16 and 2, so that an input stays cheap; the
// renderer's and the bake's limits have their own tests.
//
// Run: fuzz_scene_script fuzz/corpus/scene_script -max_total_time=60
// (FUZZ_SCENE_SCRIPT_ERRORS=1 prints the errors the viewer reports, to
// check what a seed reaches)
// (ASAN_OPTIONS=detect_leaks=0: Mesa's own allocations are not ours).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "headless_gl.h"
#include "hmllib/script_ui.h"
#include "hvislib/questions.h"
#include "scene_script.h"
#include "viewer.h"

namespace {

// The one context, lent to each input's Viewer.
class LentGL final : public GLTarget {
public:
    explicit LentGL(HeadlessGL &gl) : gl_(gl) {}
    int width() const override { return gl_.width(); }
    int height() const override { return gl_.height(); }
    void resize(int w, int h) override { gl_.resize(w, h); }
    void makeCurrent() override { gl_.makeCurrent(); }
    std::vector<uint8_t> readRGBA() override { return gl_.readRGBA(); }
    std::vector<float> readDepth() override { return gl_.readDepth(); }

private:
    HeadlessGL &gl_;
};

std::string cloudBlock(int index, double x, double y, double z, double half)
{
    char block[400];
    std::snprintf(block, sizeof block,
                  "Cloud_%d\n0.550000 1.000000 1.000000 14.000000 0.370000\n1 0 0 8 1\n"
                  "%f %f %f %f %f %f\n4 4 2 1.000000 1.000000 1.000000\n12938.000000 1.000000\n",
                  index, x, y, z, half, -half, half / 5);
    return block;
}

void writeRaster(const std::string &file, int bands, GDALDataType type, double west, double north,
                 double cell, int epsg)
{
    GDALDriverH tiff = GDALGetDriverByName("GTiff");
    GDALDatasetH ds = GDALCreate(tiff, file.c_str(), 9, 9, bands, type, nullptr);
    if (!ds)
        std::abort();
    if (epsg) {
        double gt[6] = {west, cell, 0.0, north, 0.0, -cell};
        GDALSetGeoTransform(ds, gt);
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(srs, epsg);
        GDALSetSpatialRef(ds, srs);
        OSRDestroySpatialReference(srs);
    }
    std::vector<float> samples(81);
    for (int i = 0; i < 81; ++i)
        samples[i] = float(100 + 40 * (i % 9) + 25 * (i / 9));
    for (int b = 1; b <= bands; ++b)
        if (GDALRasterIO(GDALGetRasterBand(ds, b), GF_Write, 0, 0, 9, 9, samples.data(), 9, 9,
                         GDT_Float32, 0, 0) != CE_None)
            std::abort();
    GDALClose(ds);
}

std::string readAll(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Setup {
    HeadlessGL gl{16, 16};
    std::string root, scratch;
    std::map<std::string, std::string> fixtures;  // name -> bytes

    Setup()
    {
        setenv("GDAL_DISABLE_READDIR_ON_OPEN", "TRUE", 1);
        const char *base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        // One temporary folder: the script's scratch folder and the
        // resources beside it.
        root = std::string(base) + "/fuzz_scene_script_" + std::to_string(::getpid());
        scratch = root + "/work";
        std::system(("rm -rf " + root + " && mkdir -p " + scratch).c_str());
        // The plug-in's own script with an 8 x 8 preview canvas.
        std::string hml = readAll(host::findResource("tlcloud.hml"));
        const std::string canvas = "width=\"256\" height=\"256\"";
        const size_t at = hml.find(canvas);
        if (at == std::string::npos)
            std::abort();
        hml.replace(at, canvas.size(), "width=\"8\" height=\"8\"");
        const std::string resources = root + "/resources";
        std::system(("mkdir -p " + resources).c_str());
        std::ofstream(resources + "/tlcloud.hml") << hml;
        host::setScriptPath(resources);
        // Reports would drown libFuzzer's own lines.
        host::setReportsPrinted(false);
        if (!std::freopen("/dev/null", "w", stdout))
            std::abort();

        GDALAllRegister();
        // UTM 25 south, 9 km by 9 km at a northing near 9,120,000.
        writeRaster(scratch + "/dem.tif", 1, GDT_Float32, 290000.0, 9120000.0, 1000.0, 32725);
        writeRaster(scratch + "/deg.tif", 1, GDT_Float32, -35.0, -7.9, 0.02, 4326);
        writeRaster(scratch + "/drape.tif", 3, GDT_Byte, 290000.0, 9120000.0, 1000.0, 32725);
        writeRaster(scratch + "/pixels.tif", 1, GDT_Float32, 0, 0, 1, 0);
        fixtures["dem.tif"] = readAll(scratch + "/dem.tif");
        fixtures["deg.tif"] = readAll(scratch + "/deg.tif");
        fixtures["drape.tif"] = readAll(scratch + "/drape.tif");
        fixtures["pixels.tif"] = readAll(scratch + "/pixels.tif");
        const std::string head = "TOLA_Cloud_Layer_File_V1.1\n";
        fixtures["a.cloud"] = head + "2 clouds_in_file\n" + cloudBlock(0, 294000, 9116000, 900, 1500) +
                              cloudBlock(1, 292000, 9114000, 700, 1000);
        fixtures["b.cloud"] = head + "1 clouds_in_file\n" + cloudBlock(0, 50000, 50000, 1500, 20000);
        std::string bad = cloudBlock(1, 294000, 9116000, 900, 1500);
        bad.replace(bad.find("14.000000"), 9, "4I.000000");
        fixtures["bad.cloud"] = head + "2 clouds_in_file\n" + cloudBlock(0, 292000, 9114000, 700, 1000) + bad;
        if (::chdir(scratch.c_str()) != 0)
            std::abort();
    }
    ~Setup() { std::system(("rm -rf " + root).c_str()); }

    // The folder as every input finds it.
    void reset()
    {
        if (::chdir(scratch.c_str()) != 0)
            std::abort();
        DIR *dir = ::opendir(".");
        std::vector<std::string> extra;
        while (dirent *entry = dir ? ::readdir(dir) : nullptr) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && !fixtures.count(name))
                extra.push_back(name);
        }
        if (dir)
            ::closedir(dir);
        for (const std::string &name : extra)
            if (::unlink(name.c_str()) != 0)
                std::system(("rm -rf '" + scratch + "/" + name + "'").c_str());
        // Written again only when an input wrote over one (a stat costs
        // less than a write).
        for (const auto &[name, bytes] : fixtures) {
            struct stat st;
            auto &seen = written[name];
            if (::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == off_t(bytes.size()) &&
                st.st_ino == seen.st_ino && st.st_mtim.tv_sec == seen.st_mtim.tv_sec &&
                st.st_mtim.tv_nsec == seen.st_mtim.tv_nsec)
                continue;
            std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
            ::stat(name.c_str(), &seen);
        }
    }
    std::map<std::string, struct stat> written;
};

// Whether a word could reach outside the scratch folder: a path (any '/',
// "..") or an inline GDAL dataset (XML, which names files of its own).
bool leavesScratch(const std::string &word)
{
    const std::string c = word.c_str();  // what C code reads of it
    return c.find('/') != std::string::npos || c.find("..") != std::string::npos ||
           c.find('<') != std::string::npos || word.find('/') != std::string::npos;
}

bool isNumber(const std::string &text, double *value)
{
    char *end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0';
}

void capWord(cloudview::Token &token, double most)
{
    double v;
    if (isNumber(token.text, &v) && !(v <= most))
        token.text = std::to_string(int(most));
}

// Holds the statements that draw or bake to a small size.
void keepCheap(std::vector<cloudview::Statement> &statements)
{
    static const std::set<std::string> textureWords = {"texturesize", "texsize", "tslices", "layers"};
    for (cloudview::Statement &s : statements) {
        std::vector<cloudview::Token> &t = s.tokens;
        const std::string &keyword = t[0].text;
        if (keyword == "RENDER") {
            if (t.size() == 2) {
                t.push_back({"16", false, s.line});
                t.push_back({"16", false, s.line});
            }
            for (size_t i = 2; i < t.size(); ++i)
                capWord(t[i], 16);
        } else if (keyword == "ICON" && t.size() > 4) {
            capWord(t[4], 16);
        }
        for (size_t i = 1; i + 1 < t.size(); ++i)
            if (textureWords.count(t[i].text)) {
                const double most = t[i].text == "texturesize" || t[i].text == "texsize" ? 16 : 2;
                for (size_t j = i + 1; j < t.size(); ++j)
                    capWord(t[j], most);
            }
    }
}

}  // namespace

extern "C" const char *__asan_default_options()
{
    return "max_malloc_fill_size=0:quarantine_size_mb=16:detect_leaks=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup setup;
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::string name = setup.scratch + "/input.scene";
    std::vector<cloudview::Statement> statements;
    try {
        statements = cloudview::parseSceneScript(text, name);
    } catch (const cloudview::ScriptError &) {
        return 0;
    }
    for (const cloudview::Statement &s : statements)
        for (const cloudview::Token &t : s.tokens)
            if (leavesScratch(t.text))
                return -1;  // not kept in the corpus
    keepCheap(statements);
    const bool sceneOnly = text.compare(0, 6, "#scene") == 0;

    setup.reset();
    host::clearAnswers();
    try {
        cloudview::Viewer viewer(PLUGIN, std::make_unique<LentGL>(setup.gl));
        viewer.execute(statements, name, sceneOnly ? cloudview::ScriptMode::SceneOnly : cloudview::ScriptMode::Run);
    } catch (const cloudview::ViewerError &e) {
        // Reported with its file and line: what a user should see.
        if (std::getenv("FUZZ_SCENE_SCRIPT_ERRORS"))
            std::fprintf(stderr, "fuzz_scene_script: %s\n", e.what());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "fuzz_scene_script: an error the viewer did not report as its own: %s\n",
                     e.what());
        std::abort();
    }
    host::clearAnswers();
    return 0;
}
