#pragma once
// How a unit's attempt ended, as its record keeps it: one function turns the
// device session's result into the record's result and message, for the
// command line's download, every station bay and the station window alike.
// Messages are English (records and JSON are never translated); front ends
// translate what they show. Pure; any thread.
#include <string>

#include "link/device_session.h"
#include "records/unit_record.h"

// The step of an attempt that a result is about.
enum class UnitStep { Connect, Identify, Download, Reset };

struct UnitOutcome {
    UnitResult result = UnitResult::Passed;
    std::string message;
};

// step's result on port; for Download, an Ok result means the image went in
// (a Reset result that follows adds to that message: see AddReset).
UnitOutcome OutcomeOf(UnitStep step, const SessionResult& result, const std::string& port);
// The passed download's outcome after its reset step.
void AddReset(UnitOutcome& outcome, const SessionResult& reset, const std::string& port);
