; A pulse-width tune for the MZ-700's timer, in the style of MZ-700 music programs: i8253
; counter 0 in mode 0 with one-byte counts, rewritten every 149 cycles from a table. Each
; write sends the output low for the count's ticks (five per 16 cycles), so the output level
; averaged over a write follows the count. Each count is held for 5000 writes (0.21 s).
; The operand of the first instruction is 0; set to 1, the program first loads the full
; count 0400h that a power-on beep leaves behind.

        ORG 2000h
START:  LD C, 0
        DI
        LD A, 08h
        OUT (0CEh), A           ; MZ-700 mode
        OUT (0E4h), A           ; monitor, text screen and the I/O at E000h
        LD A, 1
        LD (0E008h), A          ; counter 0 counts
        LD A, C
        OR A
        JR Z, TUNE
        LD A, 30h               ; counter 0, low then high byte, mode 0
        LD (0E007h), A
        XOR A
        LD (0E004h), A
        LD A, 04h
        LD (0E004h), A
TUNE:   LD A, 10h               ; counter 0, low byte only, mode 0
        LD (0E007h), A
        LD HL, COUNTS
NOTE:   LD C, (HL)
        INC HL
        LD A, C
        OR A
        JR Z, DONE
        LD DE, 5000
WRITE:  LD A, C                 ; 149 cycles a write
        LD (0E004h), A
        LD B, 8
DELAY:  DJNZ DELAY
        DEC DE
        LD A, D
        OR E
        JR NZ, WRITE
        JR NOTE
DONE:   JR DONE
COUNTS: DB 6, 14, 22, 30, 38, 0
