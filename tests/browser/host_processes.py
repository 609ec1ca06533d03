"""The host processes a browser started, found by their program file, and
their ends awaited as events (pidfds), not by polling."""
import os
import select
import time


def host_pids(program):
    """Process ids of hosts started from that program file."""
    pids = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink(f"/proc/{entry}/exe") == program:
                pids.append(int(entry))
        except OSError:
            pass
    return pids


def still_running_after(pids, seconds):
    """Waits for each process to end; those still running at the deadline."""
    handles = {}
    for pid in pids:
        try:
            handles[os.pidfd_open(pid)] = pid
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + seconds
    while handles:
        ended = select.select(list(handles), [], [], max(deadline - time.monotonic(), 0))[0]
        if not ended:
            break
        for handle in ended:
            os.close(handle)
            del handles[handle]
    for handle in handles:
        os.close(handle)
    return sorted(handles.values())
