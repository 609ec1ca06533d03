#pragma once

// The files this program carries as resources (windows_check.rc): the host
// it was built with, so that it tests that host wherever it is copied, and
// the script installer, and the example app that answers the hosts it
// starts.
#define TAVORIN_EMBEDDED_HOST 101
#define TAVORIN_EMBEDDED_SCRIPT 102
#define TAVORIN_EMBEDDED_APP 103
