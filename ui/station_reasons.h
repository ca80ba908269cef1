#pragma once
// Why a unit failed, in the person's language. The station words its reasons
// in English, sentence by sentence, for the records and JSON; the window
// translates them where it shows them (tiles, records table). Each sentence
// the station writes has one entry here; a sentence without one is shown as
// written. Pure; any thread.
#include <string>

std::string ShownReason(const std::string& english);

// The reason less its first sentence when that sentence only names the
// result ("Equipment do not respond properly", ...), for a table that shows
// the result beside it; the whole reason when nothing else is left.
std::string ShownDetail(const std::string& english);
