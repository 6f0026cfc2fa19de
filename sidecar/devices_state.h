// The Sidecar's devices in a saved machine: their registers and the media they hold are listed
// by the state registry; these bring the host's side in line with them.
#pragma once

#include "sidecar/media_record.h"

// Before the registered records are read for a save: file positions, directories and the
// media held are written into them.
void sidecar_state_gather();
// After a load wrote the records: each device takes back the media and positions the state
// recorded; every medium missing or changed is named through `report`.
void sidecar_state_rebuild(MediaReport report);
