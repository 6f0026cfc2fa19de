; A PMD 85 program for the load tests: paints PMD rows 100-139 with six-dot bytes in the colour
; attribute PAINT (00h, 40h, 80h or C0h, given at assembly) and returns to the monitor.
; The painting code lies behind 400 bytes of pattern, so the program spans several records of a
; disk image and pages of a ROM module, and runs only when all of it has arrived.

VIDEO   EQU 0C000h
ROWS    EQU 40

        ORG 1000h
        JP PAINT_ROWS

        REPT 400, n, 0
        DB LOW (n * 7 + 3)
        ENDM

PAINT_ROWS:
        LD HL, VIDEO + 100 * 64
        LD C, ROWS
ROW:    LD B, 48
        LD A, PAINT OR 3Fh
DOT:    LD (HL), A
        INC HL
        DEC B
        JP NZ, DOT
        LD DE, 16               ; the 16 bytes of the row that are not shown
        ADD HL, DE
        DEC C
        JP NZ, ROW
        RET
