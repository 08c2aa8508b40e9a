#include "tool/commands.h"

// The dialog's actions arrive with the cloud tool; until then every action
// is accepted and does nothing.
int cloudupdate(void *, void *, int32_t, char **, HErrorSlot *)
{
    return 0;
}

int cloudAddcloud(void *, void *, int32_t, char **, HErrorSlot *)
{
    return 0;
}
