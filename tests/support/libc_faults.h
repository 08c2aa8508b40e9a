// libc_faults.h — one-shot failures of C library calls that a test cannot
// provoke from outside (running as root, a folder's permissions do not stop
// a rename). Linking libc_faults.cpp into a test program puts its rename
// and fclose in front of the C library's for the whole process; unarmed,
// they pass every call through.
#ifndef CLOUDS_TESTS_SUPPORT_LIBC_FAULTS_H
#define CLOUDS_TESTS_SUPPORT_LIBC_FAULTS_H

namespace faults {

// The next rename() whose new name ends with suffix fails with the error,
// touching no file.
void failRename(const char *suffix, int error);
// The next fclose() closes the stream as usual (its data flushed), then
// reports the error, as a file system that fails at the final close does.
void failFclose(int error);
// Disarms both.
void clear();

} // namespace faults

#endif
