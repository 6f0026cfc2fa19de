#include "host/irq_sources.h"

#include "cpu/cpu_state.h"

uint8_t irq_sources = 0;

namespace {

void update_level_request()
{
    if (irq_sources)
        event_raise(EV_INT_LEVEL);
    else
        event_clear(EV_INT_LEVEL);
}

} // namespace

void irq_source_set(uint8_t mask)
{
    irq_sources |= mask;
    update_level_request();
}

void irq_source_clear(uint8_t mask)
{
    irq_sources &= uint8_t(~mask);
    update_level_request();
}

void irq_source_reset()
{
    irq_sources = 0;
    event_clear(EV_INT_LEVEL);
}

uint8_t irq_source_read() { return irq_sources; }
