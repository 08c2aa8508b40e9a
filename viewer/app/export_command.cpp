#include "export_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_spatialref.h>

#include "hmllib/script_ui.h"
#include "export_placement.h"
#include "terrain/gdal_util.h"
#include "terrain/height_model.h"
#include "terrain/terrain_error.h"
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

// " (GDAL's reason)", or nothing when GDAL gave none.
std::string reason(const std::string &why)
{
    return why.empty() || why == "unknown reason" ? "" : " (" + why + ")";
}

// The coordinate system that --crs names, as WKT. A raster names the
// system of a scene over it (the terrain's own choice, so a model in
// degrees names the UTM zone it is warped to); anything else is what OGR
// makes of the text or of the file's text (EPSG:n, WKT, PROJ, .prj).
// Cloud coordinates are metres, so a system in degrees cannot label them.
std::string crsWkt(const std::string &crs)
{
    ::terrain::registerGdal();
    struct stat st;
    const bool isFile = stat(crs.c_str(), &st) == 0;
    if (isFile && S_ISDIR(st.st_mode))
        throw ViewerError("--crs " + crs + ": is a folder, not a raster or a coordinate system file");
    std::string rasterWhy;
    if (isFile) {
        ::terrain::QuietGdal quiet;
        ::terrain::Dataset probe(::terrain::openRasterFile(crs));
        if (probe) {
            probe.reset();
            try {
                return ::terrain::sceneFrameWkt(crs);
            } catch (const ::terrain::TerrainError &e) {
                throw ViewerError(std::string("--crs ") + e.what());
            }
        }
        rasterWhy = ::terrain::lastGdalError();
    }
    ::terrain::QuietGdal quiet;
    OGRSpatialReference srs;
    // A URL would make a coordinate system a download: not for a command
    // line export.
    const char *const options[] = {"ALLOW_NETWORK_ACCESS=NO", nullptr};
    // WKT copied from a terminal comes with blank lines around it.
    const size_t first = crs.find_first_not_of(" \t\r\n"), last = crs.find_last_not_of(" \t\r\n");
    const std::string input = first == std::string::npos ? "" : crs.substr(first, last - first + 1);
    const bool known = srs.SetFromUserInput(input.c_str(), options) == OGRERR_NONE;
    const bool geographic = known && !srs.IsProjected() && !srs.IsLocal();
    std::string wkt;
    char *text = nullptr;
    if (known && !geographic && srs.exportToWkt(&text) == OGRERR_NONE && text)
        wkt = text;
    CPLFree(text);
    const std::string name = known && srs.GetName() ? srs.GetName() : "";
    const bool ok = !wkt.empty();
    // A WKT text is shown by its first words: the whole would bury the reason.
    std::string shown;
    for (char c : input.size() > 48 ? input.substr(0, 40) + "..." : input)
        if (!std::isspace(static_cast<unsigned char>(c)) || (!shown.empty() && shown.back() != ' '))
            shown += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
    if (geographic)
        throw ViewerError("--crs " + shown + ": " + (name.empty() ? "a coordinate system" : name) +
                          " is not projected (not in metres); a cloud's coordinates are the scene's "
                          "metres: name the elevation model or its projected system, e.g. its UTM "
                          "zone EPSG:326zz or EPSG:327zz");
    if (!ok) {
        if (isFile)
            throw ViewerError("--crs " + crs + ": neither a raster GDAL can read" + reason(rasterWhy) +
                              " nor a coordinate system file OGR can read (WKT, PROJ or .prj)");
        throw ViewerError("--crs " + shown + ": no such file, and not a coordinate system OGR knows (EPSG:n, "
                          "WKT or PROJ)" + reason(::terrain::lastGdalError()));
    }
    return wkt;
}

}  // namespace

std::string exportCloud(Viewer &viewer, const std::string &layerFile, int cloud,
                        const std::string &out, bool overwrite, const std::string &crs)
{
    const std::string wkt = crs.empty() ? "" : crsWkt(crs);
    // Without --crs the export lies where the viewer's scene says, if anywhere.
    std::unique_ptr<ExportPlacement> placement;
    if (!wkt.empty())
        placement = std::make_unique<ExportPlacement>([wkt] { return wkt; });
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
    if (!wkt.empty())
        return message + " (georeferenced)";
    return message;
}

}  // namespace cloudview
