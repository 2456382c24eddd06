// Registry internals shared by the registry's source files and its tests.
#pragma once

#include <cstddef>
#include <string_view>

#include "netinfo/netinfo.h"

// Expands a leading environment-variable reference ("$NAME/..." or
// "${NAME}/...") and removes a leading "/tmp_mnt" automounter prefix.
void netInfoExpandFileName(const char* in, char* out, size_t outSize);

// Fills the numeric fields (and the cached key for a kind-3 record) from a
// lock-file record.
void netInfoTakeRecord(const NetInfoQl64_3xSType& rec, NetInfoSType* netInfo);
// Fills creator, version and creationTimeStr from the record.
void netInfoTakeDescription(const NetInfoQl64_3xSType& rec, NetInfoSType* netInfo);
// Takes the five trailing strings (log file, product directory, command line, two
// configuration files) from the bytes after the record. `data` holds `length`
// bytes; strings longer than 1023 characters are cut, a last string without a
// terminator ends at the data's end, and missing strings leave their fields empty.
void netInfoTakeTrailingStrings(const char* data, size_t length, NetInfoSType* netInfo);
// The creation time text: "unknown date" for 0, else the local time formatted
// with QL_QLLIST_TIME_FORMAT or "%b %d %H:%M".
void netInfoCreationTimeStr(uint32_t creationTime, char* dest, size_t destSize);

// Opens a registry file (a lock file or the host id file) for reading without
// ever blocking: anyone who can write the lock directory can put a FIFO, a
// device or a link to one there. Returns the descriptor of a regular file; -1
// with errno set when the open fails, and -1 with *notRegular TRUE (and the
// descriptor closed) when the name is not a regular file.
int netInfoOpenRegularFile(const char* path, BoolType* notRegular);

// Formats an error message into err->errMsg, cut to its size (names in it come
// from other processes and from the environment).
void netInfoSetMsg(SysErrorSType* err, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

void netInfoForgetGlobalDir();
void netInfoForgetCachedKey();
void netInfoForgetHostId();
void netInfoForgetTimeFormat();
