// The interactive selection box is not served yet: a layer type that asks
// for one gets none and an error saying so, and destroying nothing is
// harmless.
#include "hlib/error.h"
#include "hlib.h"
#include "tolatoollib.h"

extern "C" {

HOST_API HSelMethods *tola_SelNewGetMethods(const char *, HBaseData *, int32_t, HErrorSlot *err,
                                            int32_t)
{
    herr_Set(err, "selection box: not available in this viewer yet");
    return nullptr;
}

HOST_API HSelector *tola_SelNewCreate(HScene *, const char *, HSelMethods *)
{
    return nullptr;
}

HOST_API void tola_SelNewBoxAllowRotations(HSelector *, int32_t) {}

HOST_API HPolynomial *tola_SelectBoxGetLastXform(HSelector *)
{
    return nullptr;
}

HOST_API void tola_SelNewDestroy(HSelector *, HErrorSlot *) {}

}  // extern "C"

extern "C" {

// No transform is made yet, so there is nothing to free.
HOST_API void hfga_PolynomialDelete(HPolynomial *, HErrorSlot *) {}

}  // extern "C"
