#pragma once

namespace tavorin::windows_checks {

// The pieces of the listener owner check on real sockets and processes.
// Wine names process 0 for every socket, so the table and the token are
// checked apart: the table finds the connection's row, and the token names
// the user of this process and of a child of it, and of no process that is
// gone.
void listener_owner_pieces_work(const wchar_t* this_program);

}  // namespace tavorin::windows_checks
