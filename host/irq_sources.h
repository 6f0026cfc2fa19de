// The peripheral interrupt requests: one bit per device that wants the maskable interrupt
// (bit 0 the floppy controller; bits 1 and 2 belong to the Sidecar). The CPU sees a level
// request exactly while any bit is set.
#pragma once

#include <cstdint>

extern uint8_t irq_sources;

void irq_source_set(uint8_t mask);
void irq_source_clear(uint8_t mask);
void irq_source_reset();
uint8_t irq_source_read();
