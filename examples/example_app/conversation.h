#pragma once

#include "app_files.h"
#include "listener.h"
#include "options.h"

namespace tavorin::example {

// Serves one host's connection on a thread of its own and closes it when
// the conversation is over. False (the connection closed at once, so the
// host sees the end of the stream) when no thread can be started.
//
// Every browser connection is a host process with a connection of its own,
// and each host gives up after 5 seconds without a byte of its answer: one
// slow or long conversation must never hold up another.
bool converse_in_background(Socket connection, const AppOptions& options,
                            Recorder& recorder);

}  // namespace tavorin::example
