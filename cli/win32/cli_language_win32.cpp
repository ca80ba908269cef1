#include "cli/cli_language.h"

// The Windows command line speaks English: the cross toolchain has no gettext
// library. The desktop application on Windows reads the same catalogues
// through wxWidgets.
void SetUpLanguage() {}
