/* The host headers as a C compiler sees them: they must compile as C, and
 * the records must have the layout C++ sees (host_headers_test.cpp compares
 * the two), since the host and a plug-in may be built in either. */
#include "hlib.h"
#include "hmllib.h"
#include "host_export.h"
#include "host_types.h"
#include "hvislib.h"
#include "tolalib.h"
#include "tolatoollib.h"

#include <stddef.h>

const size_t cloudsCLayout[] = {
    sizeof(HPointerEvent), sizeof(HSceneOps),    sizeof(HLayerMethods),
    sizeof(HLayer),        sizeof(HBaseData),    offsetof(HBaseData, columnStep),
    sizeof(HCanvasColor),  sizeof(HButtonColor), sizeof(HStringList),
    sizeof(HPixelRect),    sizeof(HRaster),      sizeof(HStackerCanvas),
    sizeof(HScriptRoot),
};
const size_t cloudsCLayoutCount = sizeof cloudsCLayout / sizeof cloudsCLayout[0];
