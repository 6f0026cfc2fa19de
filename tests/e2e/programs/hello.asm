; A program for the boot and load tests, run in the MZ-700 memory map of Kestrel's monitor:
; prints "TEST PROGRAM STARTED" through the monitor's MSG entry and waits for ever.
; The two halves of the line are printed by code more than 4 KiB apart, with a pattern between
; them, so the program spans several tracks of a disk.

MSG     EQU 0015h               ; print the text at (DE) up to CR
LETNL   EQU 0006h               ; new line
CR      EQU 0Dh

        ORG 1200h
START:  LD DE, FIRST
        CALL MSG
        JP SECOND
FIRST:  DB "TEST PROGRAM", CR

        REPT 1300h, n, 0        ; no two sectors alike
        DB LOW (n * 7 + n / 256)
        ENDM

SECOND: LD DE, LAST
        CALL MSG
        CALL LETNL
WAIT:   JR WAIT
LAST:   DB " STARTED", CR
