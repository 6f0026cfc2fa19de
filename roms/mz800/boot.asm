; Kestrel boot ROM: E000h-FFFFh of the MZ-800 system ROM.
;
; At power-on the MZ-800 is in its native mode with the monitor ROM at 0000h, which jumps
; here. This code puts the machine into MZ-700 mode, sets up the memory map, the character
; generator RAM, the 8255 and the 8253, clears the screen, sounds the bell, and then starts
; the first boot device that has something to start, or else the monitor. The devices are
; tried in this order: floppy drive 0, the Quick Disk.

; In MZ-700 mode E000h-E00Fh are the memory-mapped 8255, 8253 and sound gate; the ROM
; behind them cannot be read and is left blank.
        DS 16, 0FFh

BOOT:   DI
        IM 1
        LD A, DISPLAY_MZ700
        OUT (GDG_DISPLAY_MODE), A       ; 40 x 25 text, the MZ-700 memory map
        OUT (BANK_RESET), A             ; monitor ROM, RAM to CFFFh, text VRAM, I/O and this ROM
        LD SP, STACK_TOP

; The video chip draws MZ-700 text from the character generator RAM: load it from the ROM.
; While the ROM is in at 1000h the stack is unusable.
        IN A, (BANK_CG_IN)
        LD HL, CG_ROM
        LD DE, CG_RAM
        LD BC, CG_SIZE
        LDIR
        IN A, (BANK_CG_OUT)

        CALL INIT_PPI
        CALL INIT_PIT
        CALL CLS
        CALL INIT_MONITOR
        CALL BELL

; Each boot device has a probe routine that starts its program and does not return, or
; returns when the device has nothing to start. The monitor is the last resort.
        LD HL, BOOT_DEVICES
_try:   LD E, (HL)
        INC HL
        LD D, (HL)
        INC HL
        LD A, D
        OR E
        JP Z, MONITOR
        PUSH HL
        LD HL, _next
        PUSH HL
        EX DE, HL
        JP (HL)
_next:  POP HL
        JR _try

BOOT_DEVICES:
        DW FD_BOOT                      ; floppy.asm
        DW QD_BOOT                      ; quickdisk.asm
        DW 0                            ; end of the list

; 8255: keyboard strobe out on port A, keyboard columns in on port B; the counter 0 output
; on to the speaker (port C bit 0) and the timer interrupt off (port C bit 2).
INIT_PPI:
        LD HL, PPI_CONTROL
        LD (HL), PPI_MODE
        LD (HL), PC0_SET
        LD (HL), PC2_RESET
        LD A, STROBE_IDLE
        LD (PPI_A), A
        RET

; 8253: sound off; counter 1 divides the line rate down to one pulse per second and counter 2
; counts those seconds down from 12 hours, the MZ-700 clock.
INIT_PIT:
        XOR A
        LD (SOUND_GATE), A
        LD HL, PIT_CONTROL
        LD (HL), 74h                    ; counter 1, low byte then high byte, mode 2
        LD (HL), 0B0h                   ; counter 2, low byte then high byte, mode 0
        LD HL, PIT_COUNTER1
        LD (HL), LOW LINES_PER_SECOND
        LD (HL), HIGH LINES_PER_SECOND
        LD HL, PIT_COUNTER2
        LD (HL), LOW HALF_DAY
        LD (HL), HIGH HALF_DAY
        RET
