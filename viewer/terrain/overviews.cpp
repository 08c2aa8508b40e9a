#include "terrain/overviews.h"
#include "terrain/cache_files.h"

#include <cpl_conv.h>
#include <cpl_vsi.h>
#include <gdal_utils.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <vector>

#include "terrain/gdal_util.h"
#include "terrain/terrain_error.h"
#include "terrain/terrain_settings.h"

namespace terrain {

namespace {

bool hasOverviews(GDALDatasetH dataset)
{
    return GDALGetOverviewCount(GDALGetRasterBand(dataset, 1)) > 0;
}

// Factors 2, 4, 8, ... until the coarsest fits in one tile.
std::vector<int> factorsFor(GDALDatasetH dataset)
{
    const int w = GDALGetRasterXSize(dataset), h = GDALGetRasterYSize(dataset);
    std::vector<int> factors;
    for (int f = 2; (w + f / 2 - 1) / (f / 2) > kTileSamples || (h + f / 2 - 1) / (f / 2) > kTileSamples; f *= 2)
        factors.push_back(f);
    return factors;
}

struct ProgressData {
    const BuildProgress *progress;
};

int CPL_STDCALL onProgress(double done, const char *, void *data)
{
    const BuildProgress &progress = *static_cast<ProgressData *>(data)->progress;
    return !progress || progress(done) ? TRUE : FALSE;
}

bool build(GDALDatasetH dataset, const BuildProgress &progress)
{
    std::vector<int> factors = factorsFor(dataset);
    if (factors.empty())
        return true;
    ProgressData data{&progress};
    // Compressed and tiled, as gdaladdo -ro would make them readable fast.
    CPLSetThreadLocalConfigOption("COMPRESS_OVERVIEW", "DEFLATE");
    CPLSetThreadLocalConfigOption("PREDICTOR_OVERVIEW", "3");
    const bool ok = GDALBuildOverviews(dataset, "AVERAGE", int(factors.size()), factors.data(), 0, nullptr,
                                       onProgress, &data) == CE_None;
    CPLSetThreadLocalConfigOption("COMPRESS_OVERVIEW", nullptr);
    CPLSetThreadLocalConfigOption("PREDICTOR_OVERVIEW", nullptr);
    return ok;
}

bool writableFolder(const std::string &file)
{
    const std::string folder = CPLGetPath(file.c_str());
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
}

// The cache's name for a model: its identity, so an edited model gets new
// overviews.
std::string cacheName(const std::string &file)
{
    return cacheFolder("overviews") + "/" + std::string(CPLGetBasename(file.c_str())) + "-" +
           textHash(fileIdentity(file)) + ".vrt";
}

}  // namespace

OverviewSource withOverviews(const std::string &file, const BuildProgress &progress)
{
    registerGdal();
    QuietGdal quiet;
    Dataset source(openRasterFile(file));
    if (!source)
        throw TerrainError(file + ": cannot be opened to build its overviews (" + lastGdalError() + ")");
    if (hasOverviews(source.get()))
        return {file, ""};
    const std::string size = std::to_string(GDALGetRasterXSize(source.get())) + " x " +
                             std::to_string(GDALGetRasterYSize(source.get()));
    if (writableFolder(file)) {
        // Read-only, GDAL writes them to FILE.ovr and leaves the model be.
        if (!build(source.get(), progress))
            throw TerrainError(file + ": cannot build its overviews (" + lastGdalError() + ")");
        return {file, file + ": " + size + " samples and no overviews; built them once into " + file + ".ovr"};
    }
    const std::string vrt = cacheName(file);
    {
        Dataset cached(GDALOpenEx(vrt.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
        if (cached && hasOverviews(cached.get()))
            return {vrt, file + ": overviews from the cache, " + vrt + ".ovr"};
    }
    char *absolute = realpath(file.c_str(), nullptr);
    const std::string target = absolute ? absolute : file;
    std::free(absolute);
    Dataset model(openRasterFile(target));
    std::vector<std::string> args = {"-of", "VRT"};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    GDALTranslateOptions *options = GDALTranslateOptionsNew(argv.data(), nullptr);
    Dataset copy(model ? GDALTranslate(vrt.c_str(), model.get(), options, nullptr) : nullptr);
    GDALTranslateOptionsFree(options);
    if (!copy || !build(copy.get(), progress)) {
        const std::string why = lastGdalError();
        copy.reset();
        VSIUnlink(vrt.c_str());
        VSIUnlink((vrt + ".ovr").c_str());
        throw TerrainError(file + ": cannot build its overviews in " + vrt + " (" + why + ")");
    }
    return {vrt, file + ": " + size + " samples and no overviews; its folder is read-only, so built them once into " +
                     vrt + ".ovr"};
}

BuildProgress terminalProgress(const std::string &file)
{
    const bool terminal = ::isatty(2);
    return [file, terminal, last = -1](double done) mutable {
        const int percent = int(done * 100.0);
        if (percent == last)
            return true;
        last = percent;
        if (terminal) {
            const int filled = percent / 5;
            std::fprintf(stderr, "\r%s: building overviews [%s%s] %3d%%", file.c_str(),
                         std::string(size_t(filled), '#').c_str(), std::string(size_t(20 - filled), '.').c_str(),
                         percent);
            if (percent >= 100)
                std::fputc('\n', stderr);
        } else if (percent % 10 == 0) {
            std::fprintf(stderr, "%s: building overviews %d%%\n", file.c_str(), percent);
        }
        return true;
    };
}

}  // namespace terrain
