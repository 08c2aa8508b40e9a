// Raster layer stacks through GDAL: GeoTIFF files of unsigned-byte bands,
// written under a temporary name beside the user's file and renamed over
// it when complete; descriptor tables kept as GDAL raster attribute tables
// in the "<file>.aux.xml" beside it, which gdalinfo shows.
//
// Why the temporaries: the user names an existing picture to replace; a
// full disk, a missing folder or a failed heap must leave that picture as
// it was and no half file under its name. The pixels are one commit (the
// rename at the close of the created raster), the descriptor tables a
// second (the rename of the .aux.xml at the close of the reopened one).
//
// Descriptor tables are written through a hard link to the raster under a
// temporary name: GDAL writes the tables of a read-only raster beside it
// as "<name>.aux.xml", so the link's tables land beside the link and are
// renamed over the file's once complete, while the raster itself is never
// opened for writing.
#include "hlib.h"
#include "hlib/call_options.h"
#include "hlib/error.h"
#include "hlib/raster.h"
#include "hlib/temp_name.h"

#include <gdal.h>
#include <gdal_frmts.h>
#include <gdal_rat.h>
#include <ogr_srs_api.h>
#include <cpl_error.h>
#include <cpl_minixml.h>
#include <cpl_string.h>

#include <algorithm>
#include <utility>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

struct HBand {
    HRaster *raster = nullptr;
    int32_t index = 0; // 0 for the first band
    std::vector<host::DescriptorColumn> columns;
};

namespace host {
namespace {

struct RasterState {
    bool created = false;        // by himg_LayerStackCreate: pixels go to temp
    bool forDescriptors = false; // opened for its descriptor tables
    bool broken = false;         // a step failed; nothing more is written
    int32_t summaries = 0;       // HIMG_SUMMARIES
    int32_t width = 0, height = 0;
    std::string target;          // the user's file
    std::string temp;            // created: where the pixels are until close
    GDALDatasetH dataset = nullptr; // created: open until close
};

// Host-heap records with constructors: the plug-in's leak count sees a
// handle it forgot to close.
template <typename T> T *heapNew() {
    void *block = hmsc_HeapMalloc(sizeof(T));
    return block ? new (block) T() : nullptr;
}

template <typename T> void heapDelete(T *record) {
    if (!record)
        return;
    record->~T();
    hmsc_HeapFree(record);
}

RasterState *stateOf(const HRaster *raster) { return static_cast<RasterState *>(raster->impl); }

// Live handles, so that a stale or foreign handle is refused instead of
// followed, and so that temporaries of rasters still open when the viewer
// ends are not left behind.
struct LiveRasters {
    std::vector<HRaster *> list;
    ~LiveRasters() {
        for (HRaster *raster : list)
            if (!stateOf(raster)->temp.empty())
                ::unlink(stateOf(raster)->temp.c_str());
    }
};

LiveRasters &live() {
    static LiveRasters rasters;
    return rasters;
}

bool isLive(const HRaster *raster) {
    const auto &list = live().list;
    return raster && std::find(list.begin(), list.end(), raster) != list.end();
}

// Collects GDAL's first failure of a scope instead of letting it print;
// warnings are dropped.
class GdalErrors {
public:
    GdalErrors() {
        CPLPushErrorHandlerEx(&GdalErrors::collect, this);
        CPLErrorReset();
    }
    ~GdalErrors() { CPLPopErrorHandler(); }
    GdalErrors(const GdalErrors &) = delete;
    GdalErrors &operator=(const GdalErrors &) = delete;

    bool failed() const { return failed_; }
    // GDAL's message, or the fallback when GDAL failed without one.
    std::string message(const char *fallback) const {
        return message_.empty() ? fallback : message_;
    }

private:
    static void CPL_STDCALL collect(CPLErr kind, CPLErrorNum, const char *message) {
        auto *self = static_cast<GdalErrors *>(CPLGetErrorHandlerUserData());
        if (kind < CE_Failure || self->failed_)
            return;
        self->failed_ = true;
        self->message_ = message ? message : "";
    }
    bool failed_ = false;
    std::string message_;
};

void registerDriver() {
    static std::once_flag once;
    std::call_once(once, [] { GDALRegister_GTiff(); });
}

GDALDriverH geotiff() {
    registerDriver();
    return GDALGetDriverByName("GTiff");
}

bool exists(const std::string &path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// The file a band name refers to: the name before its last "(:...)".
std::string fileOfBand(const std::string &name) {
    const size_t open = name.rfind("(:");
    if (open == std::string::npos || open == 0 || name.back() != ')')
        return name;
    return name.substr(0, open);
}

bool hasGeoTiffExtension(const std::string &file) {
    const size_t slash = file.rfind('/');
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    std::string extension = file.substr(dot + 1);
    for (char &c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == "tif" || extension == "tiff";
}

// The file named by a band name list, checked; "" with the slot set when
// the list does not name one GeoTIFF.
std::string targetOf(const HStringList *names, HErrorSlot *err) {
    if (!names || names->count < 1 || !names->strings) {
        herr_Set(err, "raster: no band names given");
        return "";
    }
    if (names->count > HIMG_MAX_PLANES) {
        herr_Set(err, "raster: %d band names; a raster holds 1 to %d bands", int(names->count),
                 int(HIMG_MAX_PLANES));
        return "";
    }
    for (int32_t k = 0; k < names->count; ++k)
        if (!names->strings[k] || !*names->strings[k]) {
            // Name the file after another band when one is named.
            const char *other = "raster";
            for (int32_t j = 0; j < names->count; ++j)
                if (names->strings[j] && *names->strings[j])
                    other = names->strings[j];
            herr_Set(err, "%s: band %d has no name", fileOfBand(other).c_str(), int(k) + 1);
            return "";
        }
    const std::string file = fileOfBand(names->strings[0]);
    for (int32_t k = 1; k < names->count; ++k)
        if (fileOfBand(names->strings[k]) != file) {
            herr_Set(err, "%s: band %d is named for another file (%s)", file.c_str(),
                     int(k) + 1, names->strings[k]);
            return "";
        }
    if (!hasGeoTiffExtension(file)) {
        herr_Set(err, "%s: rasters are written as GeoTIFF; the name must end in .tif or .tiff",
                 file.c_str());
        return "";
    }
    return file;
}

// A handle with its bands, all from the host heap; null when the heap
// failed (nothing is left allocated then).
HRaster *newRaster(int32_t bandCount) {
    auto *raster = static_cast<HRaster *>(hmsc_HeapMalloc(sizeof(HRaster)));
    auto *bands = static_cast<HBand **>(hmsc_HeapMalloc(sizeof(HBand *) * size_t(bandCount)));
    RasterState *state = heapNew<RasterState>();
    if (!raster || !bands || !state) {
        hmsc_HeapFree(raster);
        hmsc_HeapFree(bands);
        heapDelete(state);
        return nullptr;
    }
    *raster = HRaster{0, bands, state};
    for (int32_t k = 0; k < bandCount; ++k) {
        HBand *band = heapNew<HBand>();
        if (!band) {
            for (int32_t j = 0; j < k; ++j)
                heapDelete(bands[j]);
            hmsc_HeapFree(bands);
            heapDelete(state);
            hmsc_HeapFree(raster);
            return nullptr;
        }
        band->raster = raster;
        band->index = k;
        bands[k] = band;
    }
    raster->bandCount = bandCount;
    return raster;
}

// A new raster handle on the live list, or null with the error in the slot.
HRaster *newLiveRaster(int32_t bandCount, const char *file, HErrorSlot *err) {
    HRaster *raster = newRaster(bandCount);
    if (!raster) {
        herr_SetCode(err, ENOMEM, "%s: out of memory", file);
        return nullptr;
    }
    live().list.push_back(raster);
    return raster;
}

// Closes what is still open, removes the temporary and frees the handle.
void releaseRaster(HRaster *raster) {
    auto &list = live().list;
    list.erase(std::remove(list.begin(), list.end(), raster), list.end());
    RasterState *state = stateOf(raster);
    if (state->dataset) {
        GdalErrors quiet;
        GDALClose(state->dataset);
    }
    if (!state->temp.empty()) {
        ::unlink(state->temp.c_str());
        ::unlink((state->temp + ".aux.xml").c_str());
    }
    for (int32_t k = 0; k < raster->bandCount; ++k)
        heapDelete(raster->bands[k]);
    hmsc_HeapFree(raster->bands);
    heapDelete(state);
    hmsc_HeapFree(raster);
}

// After a failed step nothing more is written: the temporary goes at once,
// so a caller that stops at the first error leaves no file behind even if
// it never closes the handle.
void abandon(HRaster *raster) {
    RasterState *state = stateOf(raster);
    state->broken = true;
    if (state->dataset) {
        GdalErrors quiet;
        GDALClose(state->dataset);
        state->dataset = nullptr;
    }
    if (!state->temp.empty()) {
        ::unlink(state->temp.c_str());
        ::unlink((state->temp + ".aux.xml").c_str());
        state->temp.clear();
    }
}

HRaster *checkedRaster(HRaster *raster, const char *what, HErrorSlot *err) {
    if (!isLive(raster)) {
        herr_Set(err, "%s: not an open raster", what);
        return nullptr;
    }
    return raster;
}

// The shortest decimal text that reads back as the same double. GDAL keeps
// 16 significant digits of a real table entry, which loses the last bit of
// about a quarter of them (k/255 among them).
std::string exactText(double value) {
    char text[40];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value)
            break;
    }
    return text;
}

const char *childValue(const CPLXMLNode *node, const char *name) {
    return CPLGetXMLValue(const_cast<CPLXMLNode *>(node), name, nullptr);
}

// Rewrites the real entries of the columns written here in the .aux.xml
// that GDAL wrote, each with enough digits to read back exactly.
bool restoreExactReals(const std::string &aux, HRaster *raster) {
    CPLXMLNode *root = CPLParseXMLFile(aux.c_str());
    if (!root)
        return false;
    CPLXMLNode *dataset = CPLGetXMLNode(root, "=PAMDataset");
    for (CPLXMLNode *band = dataset ? dataset->psChild : nullptr; band; band = band->psNext) {
        if (band->eType != CXT_Element || std::strcmp(band->pszValue, "PAMRasterBand") != 0)
            continue;
        const char *number = childValue(band, "band");
        const int index = number ? std::atoi(number) - 1 : -1;
        if (index < 0 || index >= raster->bandCount)
            continue;
        const auto &columns = raster->bands[index]->columns;
        CPLXMLNode *table = CPLGetXMLNode(band, "GDALRasterAttributeTable");
        if (!table || columns.empty())
            continue;
        // Field positions of the columns written here.
        std::vector<const DescriptorColumn *> byField;
        for (CPLXMLNode *node = table->psChild; node; node = node->psNext) {
            if (node->eType != CXT_Element || std::strcmp(node->pszValue, "FieldDefn") != 0)
                continue;
            const char *name = childValue(node, "Name");
            const DescriptorColumn *match = nullptr;
            for (const auto &column : columns)
                if (column.real && name && column.name == name)
                    match = &column;
            byField.push_back(match);
        }
        for (CPLXMLNode *row = table->psChild; row; row = row->psNext) {
            if (row->eType != CXT_Element || std::strcmp(row->pszValue, "Row") != 0)
                continue;
            const char *at = childValue(row, "index");
            const long r = at ? std::atol(at) : -1;
            size_t field = 0;
            for (CPLXMLNode *f = row->psChild; f; f = f->psNext) {
                if (f->eType != CXT_Element || std::strcmp(f->pszValue, "F") != 0)
                    continue;
                const DescriptorColumn *column = field < byField.size() ? byField[field] : nullptr;
                ++field;
                if (!column || r < 0 || size_t(r) >= column->values.size() || !f->psChild)
                    continue;
                CPLFree(f->psChild->pszValue);
                f->psChild->pszValue = CPLStrdup(exactText(column->values[size_t(r)]).c_str());
            }
        }
    }
    const bool written = CPLSerializeXMLTreeToFile(root, aux.c_str()) != 0;
    CPLDestroyXMLNode(root);
    return written;
}

int32_t failWith(HErrorSlot *err, const char *format, ...) __attribute__((format(printf, 2, 3)));
int32_t failWith(HErrorSlot *err, const char *format, ...) {
    char message[HERR_MESSAGE_MAX];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    herr_Set(err, "%s", message);
    return 0;
}

bool computeStatistics(GDALDatasetH dataset, int32_t summaries) {
    if (!(summaries & HIMG_SUMMARY_STATISTICS))
        return true;
    for (int b = 1; b <= GDALGetRasterCount(dataset); ++b) {
        double minimum, maximum, mean, deviation;
        if (GDALComputeRasterStatistics(GDALGetRasterBand(dataset, b), FALSE, &minimum, &maximum,
                                        &mean, &deviation, nullptr, nullptr) != CE_None)
            return false;
    }
    return true;
}

// Closes the created raster and puts it in place of the user's file.
bool commitCreated(HRaster *raster, HErrorSlot *err) {
    RasterState *state = stateOf(raster);
    const char *file = state->target.c_str();
    {
        GdalErrors errors;
        const bool summed = computeStatistics(state->dataset, state->summaries);
        GDALClose(state->dataset);
        state->dataset = nullptr;
        if (!summed || errors.failed()) {
            herr_Set(err, "%s: cannot write: %s", file, errors.message("GDAL failed").c_str());
            return false;
        }
    }
    if (::rename(state->temp.c_str(), file) != 0) {
        herr_SetCode(err, errno, "%s: cannot replace: %s", file, std::strerror(errno));
        return false;
    }
    const std::string tempAux = state->temp + ".aux.xml", aux = state->target + ".aux.xml";
    state->temp.clear(); // it is the user's file now
    // The tables of a raster this one replaced must not describe it.
    if (exists(tempAux)) {
        if (::rename(tempAux.c_str(), aux.c_str()) != 0) {
            const int code = errno;
            ::unlink(tempAux.c_str());
            herr_SetCode(err, code, "%s: written, but %s cannot be replaced: %s", file,
                         aux.c_str(), std::strerror(code));
            return false;
        }
    } else if (::unlink(aux.c_str()) != 0 && errno != ENOENT) {
        herr_SetCode(err, errno, "%s: written, but the old %s cannot be removed: %s", file,
                     aux.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// A name beside the file that is the file: a hard link, or a copy where the
// file system has no links.
int linkBeside(const std::string &file, std::string &made) {
    int code = makeBeside(
        file, [&](const std::string &name) { return ::link(file.c_str(), name.c_str()) == 0 ? 0 : errno; },
        made);
    if (code != EPERM && code != EXDEV && code != EOPNOTSUPP && code != EMLINK)
        return code;
    const int fd = createBeside(file, made);
    if (fd < 0)
        return errno;
    ::close(fd);
    if (CPLCopyFile(made.c_str(), file.c_str()) != 0) {
        ::unlink(made.c_str());
        return EIO;
    }
    return 0;
}

// Writes the descriptor tables (and summaries) of a reopened raster into
// its .aux.xml by way of a temporary link.
bool commitDescriptors(HRaster *raster, HErrorSlot *err) {
    RasterState *state = stateOf(raster);
    bool anyColumns = false;
    for (int32_t k = 0; k < raster->bandCount; ++k)
        anyColumns = anyColumns || !raster->bands[k]->columns.empty();
    if (!anyColumns && !(state->summaries & HIMG_SUMMARY_STATISTICS))
        return true;

    const char *file = state->target.c_str();
    const std::string aux = state->target + ".aux.xml";
    std::string link;
    if (const int code = linkBeside(state->target, link)) {
        herr_SetCode(err, code, "%s: cannot make a file beside it: %s", file, std::strerror(code));
        return false;
    }
    const std::string tempAux = link + ".aux.xml";
    auto fail = [&](int code, const std::string &what) {
        ::unlink(link.c_str());
        ::unlink(tempAux.c_str());
        herr_SetCode(err, code, "%s: cannot store descriptor tables: %s", file, what.c_str());
        return false;
    };
    // GDAL merges the tables already kept for the file.
    if (exists(aux) && CPLCopyFile(tempAux.c_str(), aux.c_str()) != 0)
        return fail(EIO, "cannot copy " + aux);
    {
        GdalErrors errors;
        CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "YES");
        const char *const drivers[] = {"GTiff", nullptr};
        registerDriver();
        GDALDatasetH dataset = GDALOpenEx(link.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                          drivers, nullptr, nullptr);
        bool stored = dataset != nullptr;
        for (int32_t k = 0; stored && k < raster->bandCount; ++k) {
            const auto &columns = raster->bands[k]->columns;
            if (columns.empty())
                continue;
            GDALRasterBandH band = GDALGetRasterBand(dataset, k + 1);
            GDALRasterAttributeTableH kept = GDALGetDefaultRAT(band);
            GDALRasterAttributeTableH table =
                kept ? GDALRATClone(kept) : GDALCreateRasterAttributeTable();
            for (const auto &column : columns) {
                int field = -1;
                for (int f = 0; f < GDALRATGetColumnCount(table); ++f)
                    if (column.name == GDALRATGetNameOfCol(table, f))
                        field = f;
                const GDALRATFieldType type = column.real ? GFT_Real : GFT_Integer;
                if (field >= 0 && GDALRATGetTypeOfCol(table, field) != type) {
                    CPLError(CE_Failure, CPLE_AppDefined,
                             "band %d already has a column %s of another type", int(k) + 1,
                             column.name.c_str());
                    stored = false;
                    break;
                }
                if (field < 0) {
                    if (GDALRATCreateColumn(table, column.name.c_str(), type, GFU_Generic) !=
                        CE_None) {
                        stored = false;
                        break;
                    }
                    field = GDALRATGetColumnCount(table) - 1;
                }
                const int rows = int(column.values.size());
                if (GDALRATGetRowCount(table) < rows)
                    GDALRATSetRowCount(table, rows);
                for (int r = 0; r < rows; ++r) {
                    if (column.real)
                        GDALRATSetValueAsDouble(table, r, field, column.values[size_t(r)]);
                    else
                        GDALRATSetValueAsInt(table, r, field, int(column.values[size_t(r)]));
                }
            }
            if (stored && GDALSetDefaultRAT(band, table) != CE_None)
                stored = false;
            GDALDestroyRasterAttributeTable(table);
        }
        if (stored)
            stored = computeStatistics(dataset, state->summaries);
        if (dataset)
            GDALClose(dataset);
        CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", nullptr);
        if (!stored || errors.failed())
            return fail(EIO, errors.message("GDAL failed"));
    }
    if (!exists(tempAux))
        return fail(EIO, "GDAL wrote no " + tempAux);
    if (anyColumns && !restoreExactReals(tempAux, raster))
        return fail(EIO, "cannot rewrite " + tempAux);
    if (::rename(tempAux.c_str(), aux.c_str()) != 0) {
        const int code = errno;
        return fail(code, std::string("cannot replace ") + aux + ": " + std::strerror(code));
    }
    ::unlink(link.c_str());
    return true;
}

} // namespace

size_t liveRasterCount() { return live().list.size(); }

namespace {
// Live scopes' placers, newest last; a scope that ends takes out its own,
// whatever order scopes end in.
std::vector<std::pair<const RasterPlacerScope *, RasterPlacer>> &placers() {
    static std::vector<std::pair<const RasterPlacerScope *, RasterPlacer>> live;
    return live;
}

const RasterPlacer *placer() { return placers().empty() ? nullptr : &placers().back().second; }

// Georeferences a created dataset when the placer says where it lies;
// false with GDAL's failure collected by the caller's GdalErrors.
bool place(GDALDatasetH dataset, const std::string &file, int32_t width, int32_t height) {
    RasterPlacement placement;
    try {
        if (!placer() || !(*placer())(file, width, height, placement))
            return true;
    } catch (...) {
        CPLError(CE_Failure, CPLE_AppDefined, "cannot tell where it lies");
        return false;
    }
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    const bool ok = OSRSetFromUserInput(srs, placement.wkt.c_str()) == OGRERR_NONE &&
                    GDALSetGeoTransform(dataset, placement.geoTransform) == CE_None &&
                    GDALSetSpatialRef(dataset, srs) == CE_None;
    OSRDestroySpatialReference(srs);
    if (!ok)
        CPLError(CE_Failure, CPLE_AppDefined, "cannot georeference it in %s", placement.wkt.c_str());
    return ok;
}
}  // namespace

RasterPlacerScope::RasterPlacerScope(RasterPlacer placer) { placers().emplace_back(this, std::move(placer)); }

RasterPlacerScope::~RasterPlacerScope() {
    auto &live = placers();
    live.erase(std::remove_if(live.begin(), live.end(), [this](const auto &p) { return p.first == this; }),
               live.end());
}

bool writeDescriptorColumn(HBand *band, const HBaseData *column, const char *name,
                           int32_t entries, HErrorSlot *err) {
    HRaster *raster = nullptr;
    for (HRaster *candidate : live().list)
        for (int32_t k = 0; k < candidate->bandCount; ++k)
            if (candidate->bands[k] == band)
                raster = candidate;
    if (!raster) {
        herr_Set(err, "descriptor column: not a band of an open raster");
        return false;
    }
    RasterState *state = stateOf(raster);
    const char *file = state->target.c_str();
    if (!state->forDescriptors) {
        herr_Set(err, "%s: not opened for its descriptor tables", file);
        return false;
    }
    if (state->broken) {
        herr_Set(err, "%s: an earlier step failed; descriptor columns are not kept", file);
        return false;
    }
    if (!name || !*name) {
        herr_Set(err, "%s: a descriptor column needs a name", file);
        abandon(raster);
        return false;
    }
    if (!column || !column->data || (column->type != HGDA_FLOAT64 && column->type != HGDA_UINT8) ||
        entries < 1 || entries > column->rows) {
        herr_Set(err, "%s: column %s: needs %d entries of type %d or %d", file, name, int(entries),
                 int(HGDA_FLOAT64), int(HGDA_UINT8));
        abandon(raster);
        return false;
    }
    try {
        DescriptorColumn stored;
        stored.name = name;
        stored.real = column->type == HGDA_FLOAT64;
        stored.values.resize(size_t(entries));
        const auto *bytes = static_cast<const unsigned char *>(column->data);
        for (int32_t r = 0; r < entries; ++r) {
            const unsigned char *at = bytes + r * column->rowStep;
            if (stored.real)
                std::memcpy(&stored.values[size_t(r)], at, sizeof(double));
            else
                stored.values[size_t(r)] = *at;
        }
        auto &columns = band->columns;
        auto same = std::find_if(columns.begin(), columns.end(),
                                 [&](const DescriptorColumn &c) { return c.name == stored.name; });
        if (same != columns.end())
            *same = std::move(stored);
        else
            columns.push_back(std::move(stored));
    } catch (const std::bad_alloc &) {
        herr_Set(err, "%s: out of memory for column %s", file, name);
        abandon(raster);
        return false;
    }
    return true;
}

} // namespace host

using host::RasterState;

extern "C" {

HOST_API HRaster *himg_LayerStackCreate(HStringList *names, int32_t format, int32_t pixelType,
                                        int32_t width, int32_t height, HCallOptions *options) {
    if (!options)
        return nullptr;
    HErrorSlot *err = options->err;
    hint_Free(options);
    HRaster *raster = nullptr;
    try {
        const std::string target = host::targetOf(names, err);
        if (target.empty())
            return nullptr;
        const char *file = target.c_str();
        if (format != HIMG_GEOTIFF || pixelType != HGDA_UINT8) {
            herr_Set(err, "%s: cannot write format %d with pixel type %d (only %d and %d)", file,
                     int(format), int(pixelType), int(HIMG_GEOTIFF), int(HGDA_UINT8));
            return nullptr;
        }
        if (width < 1 || height < 1 || width > HIMG_MAX_SIDE || height > HIMG_MAX_SIDE) {
            herr_Set(err, "%s: size %d x %d; each side must be 1 to %d pixels", file, int(width),
                     int(height), int(HIMG_MAX_SIDE));
            return nullptr;
        }
        struct stat info;
        if (::stat(file, &info) == 0 && S_ISDIR(info.st_mode)) {
            herr_SetCode(err, EISDIR, "%s: %s", file, std::strerror(EISDIR));
            return nullptr;
        }
        raster = host::newLiveRaster(names->count, file, err);
        if (!raster)
            return nullptr;
        RasterState *state = host::stateOf(raster);
        state->created = true;
        state->target = target;
        state->width = width;
        state->height = height;
        const int fd = host::createBeside(target, state->temp);
        if (fd < 0) {
            const int code = errno;
            host::releaseRaster(raster);
            raster = nullptr;
            herr_SetCode(err, code, "%s: cannot create a file beside it: %s", file,
                         std::strerror(code));
            return nullptr;
        }
        ::close(fd);
        host::GdalErrors errors;
        state->dataset = GDALCreate(host::geotiff(), state->temp.c_str(), width, height,
                                    names->count, GDT_Byte, nullptr);
        for (int32_t k = 0; state->dataset && k < names->count; ++k)
            GDALSetDescription(GDALGetRasterBand(state->dataset, k + 1), names->strings[k]);
        const bool placed = state->dataset && host::place(state->dataset, target, width, height);
        if (!state->dataset || !placed || errors.failed()) {
            const std::string why = errors.message("GDAL cannot create it");
            host::releaseRaster(raster);
            raster = nullptr;
            herr_Set(err, "%s: cannot create: %s", file, why.c_str());
            return nullptr;
        }
        return raster;
    } catch (const std::bad_alloc &) {
        if (raster)
            host::releaseRaster(raster);
        herr_SetCode(err, ENOMEM, "raster: out of memory");
        return nullptr;
    }
}

HOST_API int32_t himg_LayerStackWrite(HRaster *raster, int32_t row, int32_t column, int32_t width,
                                      int32_t height, HPixelRectStack *planes, HErrorSlot *err) {
    if (!host::checkedRaster(raster, "raster write", err))
        return 0;
    RasterState *state = host::stateOf(raster);
    const char *file = state->target.c_str();
    if (!state->created) {
        herr_Set(err, "%s: opened rasters are not written to", file);
        return 0;
    }
    if (state->broken) {
        herr_Set(err, "%s: an earlier step failed; nothing more is written", file);
        return 0;
    }
    bool fits = planes && planes->planes && planes->count >= raster->bandCount && row >= 0 &&
                column >= 0 && width >= 1 && height >= 1 &&
                int64_t(row) + height <= state->height && int64_t(column) + width <= state->width;
    for (int32_t k = 0; fits && k < raster->bandCount; ++k) {
        const HPixelRect &plane = planes->planes[k];
        fits = plane.data && plane.pixelType == HGDA_UINT8 && plane.width >= width &&
               plane.height >= height;
    }
    if (!fits) {
        herr_Set(err,
                 "%s: cannot write %d x %d pixels at row %d, column %d of %d x %d from %d planes",
                 file, int(width), int(height), int(row), int(column), int(state->width),
                 int(state->height), planes ? int(planes->count) : 0);
        host::abandon(raster);
        return 0;
    }
    host::GdalErrors errors;
    for (int32_t k = 0; k < raster->bandCount; ++k) {
        const HPixelRect &plane = planes->planes[k];
        if (GDALRasterIO(GDALGetRasterBand(state->dataset, k + 1), GF_Write, column, row, width,
                         height, plane.data, width, height, GDT_Byte, 1, plane.width) != CE_None)
            break;
    }
    if (errors.failed()) {
        herr_Set(err, "%s: cannot write: %s", file, errors.message("GDAL failed").c_str());
        host::abandon(raster);
        return 0;
    }
    return 1;
}

HOST_API int32_t himg_LayerStackChangeOptions(HRaster *raster, HErrorSlot *err, ...) {
    if (!host::checkedRaster(raster, "raster options", err))
        return 0;
    RasterState *state = host::stateOf(raster);
    // One key and its value per call: callers end the pair with a 0 or
    // not at all, so nothing after the value may be read.
    va_list args;
    va_start(args, err);
    int32_t result = 1;
    const int32_t key = va_arg(args, int32_t);
    if (key != 0 && key != HIMG_SUMMARIES) {
        // An unknown key's value cannot be trusted to be an int.
        result = host::failWith(err, "%s: unknown raster option %d", state->target.c_str(),
                                int(key));
    } else if (key != 0) {
        const int32_t value = va_arg(args, int32_t);
        if (value < 0 || value > 7)
            result = host::failWith(err, "%s: raster option %d takes 0 to 7, not %d",
                                    state->target.c_str(), int(key), int(value));
        else
            state->summaries = value;
    }
    va_end(args);
    return result;
}

HOST_API int32_t himg_LayerStackClose(HRaster *raster, HErrorSlot *err) {
    if (!host::checkedRaster(raster, "raster close", err))
        return 0;
    RasterState *state = host::stateOf(raster);
    bool done = false;
    if (state->broken) {
        // The failed step reported already; its message stays in the slot.
        if (err && !*err)
            herr_Set(err, "%s: not written: an earlier step failed", state->target.c_str());
    } else {
        try {
            done = state->created ? host::commitCreated(raster, err)
                                  : host::commitDescriptors(raster, err);
        } catch (const std::bad_alloc &) {
            herr_SetCode(err, ENOMEM, "%s: out of memory", state->target.c_str());
        }
    }
    host::releaseRaster(raster);
    return done ? 1 : 0;
}

HOST_API HRaster *himg_LayerStackOpen(HStringList *names, HCallOptions *options) {
    if (!options)
        return nullptr;
    HErrorSlot *err = options->err;
    const bool forDescriptors = options->openFor && !std::strcmp(options->openFor, "Descriptor_Table");
    const bool knownPurpose = !options->openFor || forDescriptors;
    std::string purpose = options->openFor ? options->openFor : "";
    hint_Free(options);
    HRaster *raster = nullptr;
    try {
        const std::string target = host::targetOf(names, err);
        if (target.empty())
            return nullptr;
        const char *file = target.c_str();
        if (!knownPurpose) {
            herr_Set(err, "%s: cannot open a raster for \"%s\"", file, purpose.c_str());
            return nullptr;
        }
        int bandCount = 0;
        {
            host::GdalErrors errors;
            const char *const drivers[] = {"GTiff", nullptr};
            host::registerDriver();
            GDALDatasetH dataset = GDALOpenEx(file, GDAL_OF_RASTER | GDAL_OF_READONLY |
                                                        GDAL_OF_VERBOSE_ERROR,
                                              drivers, nullptr, nullptr);
            if (!dataset) {
                herr_Set(err, "%s: cannot open: %s", file,
                         errors.message("not a GeoTIFF raster").c_str());
                return nullptr;
            }
            bandCount = GDALGetRasterCount(dataset);
            GDALClose(dataset);
        }
        if (bandCount != names->count) {
            herr_Set(err, "%s: has %d bands, %d band names given", file, bandCount,
                     int(names->count));
            return nullptr;
        }
        raster = host::newLiveRaster(bandCount, file, err);
        if (!raster)
            return nullptr;
        RasterState *state = host::stateOf(raster);
        state->target = target;
        state->forDescriptors = forDescriptors;
        return raster;
    } catch (const std::bad_alloc &) {
        if (raster)
            host::releaseRaster(raster);
        herr_SetCode(err, ENOMEM, "raster: out of memory");
        return nullptr;
    }
}

} // extern "C"
