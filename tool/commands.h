/* commands.h — the cloud tool's script commands: cloudupdate, the
 * dialog's one action dispatcher (its first argument names the action),
 * and cloudAddcloud. */
#ifndef CLOUDS_TOOL_COMMANDS_H
#define CLOUDS_TOOL_COMMANDS_H

#include "host_types.h"

int cloudupdate(void *first, void *context, int32_t count, char **strings, HErrorSlot *err);
int cloudAddcloud(void *first, void *context, int32_t count, char **strings, HErrorSlot *err);

#endif
