#include "host/host.h"
#include "platform/start.h"

int main() { tavorin::run_on_this_system(tavorin::run_host); }
