#include "ui/port_holder.h"

// Windows names no process that holds a COM port to a program without
// administrator rights: the message keeps the system's reason alone.
bool FindPortHolder(const std::string&, PortHolder&) { return false; }
