#include "files/raster_export.h"

#include <limits.h>

#include "hlib.h"
#include "hvislib.h"
#include "plugin/records.h"
#include "synth/noise.h"
#include "synth/noise_grid.h"

namespace {

const char *const kBandSuffix[3] = {"(:Layer_1)", "(:Layer_2)", "(:Layer_3)"};

// Each tile pixel is computed once and stored at its four mirrored places.
void fillPlanes(HPixelRectStack &planes, int32_t n, int32_t size)
{
    const int32_t octaves = noiseTruncToInt(editCloud.detail);
    const float base = 1.0f - editCloud.height;
    const float colour[3] = {editCloud.red, editCloud.green, editCloud.blue};
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < n; ++j) {
            const double v = noiseFractal(j, i, octaves, n, n, editCloud.cluster, base, false);
            const size_t top = static_cast<size_t>(i) * size;
            const size_t bottom = static_cast<size_t>(size - 1 - i) * size;
            const size_t left = static_cast<size_t>(j), right = static_cast<size_t>(size - 1 - j);
            for (int b = 0; b < 3; ++b) {
                const uint8_t p = noiseColourByte(colour[b], v);
                unsigned char *plane = planes.planes[b].data;
                plane[top + left] = p;
                plane[bottom + left] = p;
                plane[top + right] = p;
                plane[bottom + right] = p;
            }
        }
    }
}

// Writes the linear "Contrast" column to each band of the reopened file.
void writeContrast(HRaster *raster, HErrorSlot *err)
{
    HBaseData *column = hgda_BaseDataCreate(256, 1, HGDA_FLOAT64, 1, 0, err);
    if (*err || !column)
        return;
    double *entries = static_cast<double *>(column->data);
    for (int k = 0; k < 256; ++k)
        entries[k] = k * 0.00392156862745098;
    for (int b = 0; b < 3; ++b)
        hvis_WriteHdscColumn(raster->bands[b], column, "Contrast", 256, err);
    hgda_BaseDataDelete(column, err);
}

// Creates the raster, writes the planes, then reopens it for the contrast
// columns. Stops at the first host error; a raster left open after an
// error is closed without looking at that close's result (the host
// discards an incomplete file).
void writeRaster(HStringList *names, HPixelRectStack *planes, int32_t n, int32_t size,
                 HErrorSlot *err)
{
    HErrorSlot ignored = nullptr;
    HCallOptions *options = hint_GetInit(err, 0);
    HRaster *raster = *err ? nullptr : himg_LayerStackCreate(names, 1, 3, size, size, options);
    if (*err || !raster)
        return;
    fillPlanes(*planes, n, size);
    himg_LayerStackWrite(raster, 0, 0, size, size, planes, err);
    if (!*err)
        himg_LayerStackChangeOptions(raster, err, 25, 7, 0);
    himg_LayerStackClose(raster, *err ? &ignored : err);
    if (*err)
        return;

    options = hint_GetInit(err, 8, "Descriptor_Table", 0);
    HRaster *reopened = *err ? nullptr : himg_LayerStackOpen(names, options);
    if (*err || !reopened)
        return;
    himg_LayerStackChangeOptions(reopened, err, 25, 0);
    if (!*err)
        writeContrast(reopened, err);
    himg_LayerStackClose(reopened, *err ? &ignored : err);
}

// The picture is written as GeoTIFF, whose names end in .tif or .tiff (any
// case). Checked before the overwrite question, which must not be asked
// for an export that cannot follow.
bool namesGeoTiff(const char *fileName)
{
    const char *dot = nullptr;
    for (const char *c = fileName; *c; ++c) {
        if (*c == '/')
            dot = nullptr;
        else if (*c == '.')
            dot = c;
    }
    return dot && (hstr_Eqic(dot + 1, "tif") || hstr_Eqic(dot + 1, "tiff"));
}

}  // namespace

CloudExportResult cloudExportRaster(const char *fileName, HErrorSlot *callerErr)
{
    HErrorSlot local = nullptr;
    HErrorSlot *err = callerErr ? callerErr : &local;
    *err = nullptr;
    if (!fileName || !namesGeoTiff(fileName)) {
        herr_Set(err, "%s: rasters are written as GeoTIFF; the name must end in .tif or .tiff",
                 fileName ? fileName : "");
        return cloudExportFailed;
    }

    const int32_t n = editCloud.texsize;
    // A texsize whose picture size leaves the int32 range asks for the
    // largest size, which the host refuses with its size limit.
    const int64_t wide = 2 * static_cast<int64_t>(n);
    const int32_t size = wide > INT32_MAX ? INT32_MAX : static_cast<int32_t>(wide);

    // The planes are released at the end of every export rather than kept
    // for the next one: nothing reads them in between.
    HPixelRectStack *planes = himg_PixelRectStackCreate(3, size, size, 3, err);
    if (*err || !planes)
        return cloudExportFailed;
    HStringList *names = hstr_StringListCreate(3, err);
    if (*err || !names) {
        himg_PixelRectStackDelete(planes, &local);
        return cloudExportFailed;
    }
    for (int b = 0; b < 3; ++b)
        names->strings[b] = hstr_StringCat(0, fileName, kBandSuffix[b]);

    CloudExportResult result = cloudExportWritten;
    HErrorSlot probe = nullptr;
    if (hfio_FileExists(fileName, &probe)) {
        char question[HFIO_SPRINTF_MAX];
        hfio_Sprintf(question, "%s already exists.  Overwrite it?", fileName);
        // The existing file is not deleted on "Yes": the host replaces it
        // only with a complete picture, so a failed export keeps the old one.
        if (!hvis_QueryYesNo(question, "No", "Yes"))
            result = cloudExportDeclined;
    }
    if (result == cloudExportWritten) {
        writeRaster(names, planes, n, size, err);
        if (*err)
            result = cloudExportFailed;
    }
    HErrorSlot *cleanupErr = result == cloudExportWritten ? err : &local;
    hstr_StringListDelete(names, cleanupErr);
    himg_PixelRectStackDelete(planes, cleanupErr);
    if (*err)
        result = cloudExportFailed;
    return result;
}
