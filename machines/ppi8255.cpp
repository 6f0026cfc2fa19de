#include "machines/ppi8255.h"

uint8_t ppi_port_a = 0;
uint8_t ppi_port_c = 0xFF;

void ppi_mode_word(uint8_t value)
{
    ppi_port_c = uint8_t((ppi_port_c & 0x0F) | ((value & 0x08) ? 0xF0 : 0x00));
    ppi_port_c = uint8_t((ppi_port_c & 0xF0) | ((value & 0x01) ? 0x0F : 0x00));
}
