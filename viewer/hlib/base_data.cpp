// Typed matrices: rows × columns elements of one type in one heap block,
// reached through the data pointer and the two steps. Layout 2 keeps each
// column together (a point set of x, y, z rows by corner columns is then an
// array of points); any other layout keeps each row together (an image).
#include "hlib.h"
#include "hlib/error.h"

#include <cstdint>

namespace {

size_t elementSize(int32_t type)
{
    switch (type) {
    case HGDA_UINT8:
        return 1;
    case HGDA_FLOAT64:
        return 8;
    default:
        return 0;
    }
}

}  // namespace

extern "C" {

HOST_API HBaseData *hgda_BaseDataCreate(int32_t rows, int32_t columns, int32_t type, int32_t layout,
                                        int32_t, HErrorSlot *err)
{
    const size_t size = elementSize(type);
    if (size == 0 || rows < 1 || columns < 1 ||
        size_t(rows) > SIZE_MAX / size / size_t(columns)) {
        herr_Set(err, "base data: cannot make %d x %d elements of type %d", rows, columns, type);
        return nullptr;
    }
    HBaseData *d = static_cast<HBaseData *>(hmsc_HeapMalloc(sizeof(HBaseData)));
    void *data = d ? hmsc_HeapMalloc(size * static_cast<size_t>(rows) * static_cast<size_t>(columns))
                   : nullptr;
    if (!data) {
        hmsc_HeapFree(d);
        herr_Set(err, "base data: out of memory for %d x %d elements", rows, columns);
        return nullptr;
    }
    d->rows = rows;
    d->columns = columns;
    d->type = type;
    d->data = data;
    if (layout == 2) {
        d->rowStep = static_cast<ptrdiff_t>(size);
        d->columnStep = static_cast<ptrdiff_t>(size) * rows;
    } else {
        d->rowStep = static_cast<ptrdiff_t>(size) * columns;
        d->columnStep = static_cast<ptrdiff_t>(size);
    }
    return d;
}

HOST_API void hgda_BaseDataDelete(HBaseData *data, HErrorSlot *)
{
    if (!data)
        return;
    hmsc_HeapFree(data->data);
    hmsc_HeapFree(data);
}

}  // extern "C"
