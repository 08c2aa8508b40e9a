/* host_export.h — marks the functions that the host libraries export. */
#ifndef CLOUDS_HOST_EXPORT_H
#define CLOUDS_HOST_EXPORT_H
#define HOST_API __attribute__((visibility("default")))
#endif
