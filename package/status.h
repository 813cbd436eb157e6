// The outcome of an installation. The main flow shows a message for it and
// returns it unchanged as the process exit status.
#pragma once

#include <stdint.h>

const uint32_t kStatusSuccess = 0;
const uint32_t kStatusUnreadable = 0x80000001u;       // the package cannot be read
const uint32_t kStatusTooManyEntries = 0x80000002u;   // header announces more than 24
const uint32_t kStatusMismatch = 0x80000003u;         // an entry differs from its digest
const uint32_t kStatusWriteFailed = 0x80000004u;      // a target file cannot be written
const uint32_t kStatusUninstallListFailed = 0x80000005u;
