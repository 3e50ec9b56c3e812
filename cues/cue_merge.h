// Every class of a bilingual subtitle in one cue per moment: each class's cues timed as that
// class alone would have them, then those on screen together merged, for Sync Save and the
// timed formats alike.
#pragma once

#include "subtitle_events.h"

// The listener that writes merged cues in options.cue_format (None: Sync Save's stamped
// lines), for options.subtitle_listener when options.merges_classes. With a chosen list only
// its classes are kept, in its order.
const SubtitleListener *MergeListener();

// A reading that writes nothing and learns the classes the file's text uses, for a format
// whose head names them (TSV): the next reading with MergeListener heads its output with them.
const SubtitleListener *MergeClassesListener();

// Whether the format needs the classes before its first cue.
bool MergeNeedsClassesFirst();
