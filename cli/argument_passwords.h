#pragma once
// Where a --records value holds a password, so that it can be blanked out of
// the process's arguments once read (`ps` shows them to every user). Pure
// functions; any thread.
#include "records/connection_text.h"

// Overwrites with '*' every password in the --records values of a command
// line (--records VALUE and --records=VALUE), in place.
void BlankRecordsPasswords(int argc, char** argv);
