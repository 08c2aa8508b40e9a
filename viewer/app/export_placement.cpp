#include "export_placement.h"

#include <cmath>

#include "hmllib/script_ui.h"

namespace cloudview {
namespace {

const char kToolFrame[] = "cloudtool";

bool number(const HFrame *frame, const char *name, double *value)
{
    const HFrame *part = host::findPart(const_cast<HFrame *>(frame), name);
    if (!part || part->kind != host::PartKind::Number || !std::isfinite(part->number))
        return false;
    *value = part->number;
    return true;
}

}  // namespace

bool cloudToolFootprint(const HFrame *frame, int width, int height, double geoTransform[6])
{
    if (!frame || frame->name != kToolFrame || width < 1 || height < 1)
        return false;
    double x, y, xsize, ysize;
    if (!number(frame, "xposition", &x) || !number(frame, "yposition", &y) ||
        !number(frame, "xsize", &xsize) || !number(frame, "ysize", &ysize))
        return false;
    const double x0 = x - std::fabs(xsize), x1 = x + std::fabs(xsize);
    const double y0 = y - std::fabs(ysize), y1 = y + std::fabs(ysize);
    // A cloud without width, or whose footprint overflows, has no place a
    // GIS can show.
    if (!(x1 > x0) || !(y1 > y0) || !std::isfinite(x1 - x0) || !std::isfinite(y1 - y0))
        return false;
    const double gt[6] = {x0, (x1 - x0) / width, 0.0, y1, 0.0, -(y1 - y0) / height};
    std::copy(gt, gt + 6, geoTransform);
    return true;
}

ExportPlacement::ExportPlacement(std::function<std::string()> wkt)
    : scope_([wkt = std::move(wkt)](const std::string &, int32_t width, int32_t height,
                                     host::RasterPlacement &placement) {
          placement.wkt = wkt();
          return !placement.wkt.empty() &&
                 cloudToolFootprint(host::firingFrame(), width, height, placement.geoTransform);
      })
{
}

}  // namespace cloudview
