#include "export_command.h"

#include <sys/stat.h>

#include <algorithm>

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <cmath>

#include "hmllib/script_ui.h"
#include "plugin/records.h"
#include "terrain/gdal_util.h"
#include "hvislib/questions.h"
#include "viewer.h"

namespace cloudview {
namespace {

// The cloud tool's frame and parts, as its script names them.
const char kFrame[] = "cloudtool";
const char kCloudList[] = "currentcloud";
const char kFileField[] = "savefile";
const char kExportButton[] = "savetoimg";
const char kMessage[] = "savelabel";
const char kSuccess[] = "Successfully exported ";

// The coordinate system that --crs names, as WKT.
std::string crsWkt(const std::string &crs)
{
    ::terrain::registerGdal();
    ::terrain::QuietGdal quiet;
    std::string wkt;
    struct stat st;
    if (stat(crs.c_str(), &st) == 0) {
        ::terrain::Dataset source(GDALOpenEx(crs.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr,
                                             nullptr, nullptr));
        if (!source)
            throw ViewerError(crs + ": not a raster GDAL can read (" + ::terrain::lastGdalError() + ")");
        const char *text = GDALGetProjectionRef(source.get());
        if (!text || !*text)
            throw ViewerError(crs + ": has no coordinate system to give the export");
        return text;
    }
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    char *text = nullptr;
    const bool ok = OSRSetFromUserInput(srs, crs.c_str()) == OGRERR_NONE &&
                    OSRExportToWkt(srs, &text) == OGRERR_NONE && text;
    if (ok)
        wkt = text;
    CPLFree(text);
    OSRDestroySpatialReference(srs);
    if (!ok)
        throw ViewerError("--crs " + crs + ": neither a raster nor a coordinate system GDAL knows (" +
                          ::terrain::lastGdalError() + ")");
    return wkt;
}

const CloudRecord *cloudRecord(HLayer *layer, int cloud)
{
    const CloudRecord *c = static_cast<const CloudLayer *>(layer->instance)->clouds;
    for (int k = 1; c && k < cloud; ++k)
        c = c->next;
    return c;
}

void georeference(const std::string &file, const std::string &wkt, const CloudRecord &cloud)
{
    ::terrain::QuietGdal quiet;
    ::terrain::Dataset tif(GDALOpenEx(file.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE, nullptr, nullptr,
                                      nullptr));
    if (!tif)
        throw ViewerError(file + ": cannot georeference the export (" + ::terrain::lastGdalError() + ")");
    const double x0 = cloud.xposition - std::fabs(cloud.xsize), x1 = cloud.xposition + std::fabs(cloud.xsize);
    const double y0 = cloud.yposition - std::fabs(cloud.ysize), y1 = cloud.yposition + std::fabs(cloud.ysize);
    const int w = GDALGetRasterXSize(tif.get()), h = GDALGetRasterYSize(tif.get());
    double gt[6] = {x0, (x1 - x0) / w, 0.0, y1, 0.0, -(y1 - y0) / h};
    OGRSpatialReferenceH srs = OSRNewSpatialReference(wkt.c_str());
    const bool ok = srs && GDALSetGeoTransform(tif.get(), gt) == CE_None &&
                    GDALSetSpatialRef(tif.get(), srs) == CE_None;
    OSRDestroySpatialReference(srs);
    if (!ok)
        throw ViewerError(file + ": cannot georeference the export (" + ::terrain::lastGdalError() + ")");
    tif.reset();
}

}  // namespace

std::string exportCloud(Viewer &viewer, const std::string &layerFile, int cloud,
                        const std::string &out, bool overwrite, const std::string &crs)
{
    const std::string wkt = crs.empty() ? "" : crsWkt(crs);
    HLayer *layer = viewer.openLayerFile(layerFile);
    viewer.gl().makeCurrent();
    host::runCommand(viewer.script(), "cloudupdate", viewer.scene().hscene(), {"showproperties"});
    HFrame *frame = host::findOpenFrame(kFrame, layer);
    if (!frame)
        throw ViewerError(layerFile + ": the cloud tool did not open");

    const HFrame *list = host::findPart(frame, kCloudList);
    const std::string label = "Cloud " + std::to_string(cloud);
    const size_t count = list ? list->items.size() : 0;
    if (!list || std::find(list->items.begin(), list->items.end(), label) == list->items.end())
        throw ViewerError(layerFile + ": there is no cloud " + std::to_string(cloud) +
                          " (the file holds " + std::to_string(count) + ")");
    host::firePart(frame, kCloudList, label);

    struct stat st;
    if (overwrite && stat(out.c_str(), &st) == 0)
        host::pushAnswer(true);
    host::setPartValue(host::findPart(frame, kFileField), out);
    host::firePart(frame, kExportButton, "");
    host::clearAnswers();

    const std::string message = host::partValueText(host::findPart(frame, kMessage));
    if (message.compare(0, sizeof kSuccess - 1, kSuccess) != 0) {
        // Asked whether to replace it, the headless run said No.
        const std::string hint =
            !overwrite && stat(out.c_str(), &st) == 0 ? " (it exists; --overwrite replaces it)" : "";
        throw ViewerError(out + ": " + (message.empty() ? "nothing was exported" : message) + hint);
    }
    if (!wkt.empty()) {
        const CloudRecord *record = cloudRecord(layer, cloud);
        if (!record)
            throw ViewerError(layerFile + ": there is no cloud " + std::to_string(cloud));
        georeference(out, wkt, *record);
        return message + " (georeferenced)";
    }
    return message;
}

}  // namespace cloudview
