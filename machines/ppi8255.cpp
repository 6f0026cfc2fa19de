#include "machines/ppi8255.h"

Ppi8255 ppi{0, 0xFF};

void ppi_mode_word(uint8_t value)
{
    ppi.port_c = uint8_t((ppi.port_c & 0x0F) | ((value & 0x08) ? 0xF0 : 0x00));
    ppi.port_c = uint8_t((ppi.port_c & 0xF0) | ((value & 0x01) ? 0x0F : 0x00));
}
