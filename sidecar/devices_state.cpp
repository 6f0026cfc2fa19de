#include "sidecar/devices_state.h"

#include "sidecar/fdc.h"
#include "sidecar/pmd_disk.h"
#include "sidecar/quickdisk.h"
#include "sidecar/ramdisc.h"
#include "sidecar/rom_module.h"
#include "sidecar/sidecar.h"

void sidecar_state_gather()
{
    file_service_state_gather();
    fdc_state_gather();
    ramdisc_state_gather();
    qd_state_gather();
    pmd_disk_state_gather();
    rom_module_state_gather();
}

void sidecar_state_rebuild(MediaReport report)
{
    file_service_state_rebuild(report);
    fdc_state_rebuild(report);
    ramdisc_state_rebuild(report);
    qd_state_rebuild(report);
    pmd_disk_state_rebuild(report);
    rom_module_state_rebuild(report);
}
