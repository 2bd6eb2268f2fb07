// A host session that touches every family of the library, written the way a host must write
// it when any allocation may fail: every handle may come back null, equations are taken again
// by index, and everything the host owns is released under the library's ownership rules.
#pragma once

#include <string>

#include "ztequationmanager/ztequationmanager.h"

namespace testhost {

// What a host releases before it deletes or clears a palette, or copies another over it: what
// every slot's equation holds, live and free slots alike, with the fields it freed cleared.
// A null palette is ignored.
void release_objects(EquationPalette *palette);

// Subscribers the session made and subscribers whose destructor ran, over all sessions.
struct SubscriberCounts {
    long made = 0;
    long destroyed = 0;
};
SubscriberCounts &subscriber_counts();

// Registers host types, triggers, operators and application variables; builds two palettes
// whose equations use literals, bound and called-back variables, references across palettes,
// block-stored values and "AsciiFile" playback of `dataFile`; evaluates; reads and writes by
// name; copies, moves and deletes equations and copies a palette; then releases everything it
// owns and deletes its palettes. The registries keep what it registered.
void run_host_session(const std::string &dataFile);

// Writes a small file for "AsciiFile" playback and returns its name (short enough for a text
// parameter); remove it when done.
std::string write_playback_file();

// True when a fresh palette still computes: 2 + 3 evaluated on "New Frame" gives 5 and is
// told to a subscriber. Releases what it made.
bool library_still_computes();

}  // namespace testhost
