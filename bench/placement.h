#pragma once

namespace bench {

// Keeps this thread, and so every thread and process it starts from now on
// (the app, the relays, the Wine server), to one CPU: the last one the
// benchmark may use. Returns that CPU.
//
// On one CPU, a round trip costs the relays' own work and the switches
// between processes, and nothing else. Spread over idle CPUs, every hand-off
// also waits for a CPU to wake up, which on a virtual machine can take
// longer than all the relays' work, and comes and goes with the load of the
// rest of the machine, for every relay alike.
int keep_to_one_cpu();

}  // namespace bench
