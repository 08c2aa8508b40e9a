// call_options.h — the record behind HCallOptions (hint_GetInit), for the
// host services that take one. Internal to the stand-in host.
//
// A record is bound to the caller's error slot: a service that takes
// options instead of a slot reports through the record's slot. The
// service takes the record over and frees it (hint_Free), whether it
// succeeds or not, so a caller never frees what it passed on.
#ifndef CLOUDS_VIEWER_HLIB_CALL_OPTIONS_H
#define CLOUDS_VIEWER_HLIB_CALL_OPTIONS_H

#include "hlib.h"

struct HCallOptions {
    HErrorSlot *err;  // where the services that take the record report
    char *openFor;    // HINT_OPEN_FOR: what a raster is opened for; null: its pixels
};

#endif
