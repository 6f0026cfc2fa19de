// The media in a saved machine: a state records which file each drive and the tape hold, never
// their contents. After a load the devices take back what the state recorded; each medium that
// is missing or changed is left out and named, exactly "media missing or changed: NAME", on
// standard error at once and on the status line at the end of the next frame (after whatever
// the load itself prints there).
#pragma once

// Before a save: the devices' media and file positions into their registered records.
void media_state_gather();
// After a load (or a rewind step): the media back in.
void media_state_rebuild();
// At every frame's end: the status line names the first medium missing since the last frame.
void media_state_frame();
