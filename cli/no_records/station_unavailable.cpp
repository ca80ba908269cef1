// Builds without the records (the mingw-w64 cross build) have no station:
// every unit it flashes is recorded, so it says so instead of flashing
// units without a trace.
#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/station_command.h"

int CommandStation(const StationOptions&) {
    std::fprintf(stderr,
                 "The station cannot run: this build of kavro-cli has no records (it was built without SQLite and "
                 "libpq).\nNothing was sent.\n");
    return kExitUsage;
}
