#pragma once

// The files this program carries as resources (windows_check.rc): the host
// it was built with, so that it tests that host wherever it is copied, and
// the script installer.
#define TAVORIN_EMBEDDED_HOST 101
#define TAVORIN_EMBEDDED_SCRIPT 102
