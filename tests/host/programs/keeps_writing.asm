; A program for the quit tests, booted from the floppy it writes to: it keeps putting a count
; (1 to 255, skipping 0) into the byte at 0010h of RAM disc bank 0 and into every byte of
; sector 1 of track 0 on drive 0. The RAM disc block it changes never rests the 50 frames its
; write-back waits for, so only the exit path can save it.

RD_BANK EQU 0E9h                ; RAM disc: bank, data, address (high byte on A8-A15)
RD_DATA EQU 0EAh
RD_ADDR EQU 0EBh
FD_CMD  EQU 0D8h                ; floppy controller; the bus inverts every byte
FD_SECT EQU 0DAh
FD_DATA EQU 0DBh
FD_DRV  EQU 0DCh
FD_SIDE EQU 0DDh
WRITE_SECTOR EQU 0A0h

        ORG 1200h
START:  XOR A
        OUT (RD_BANK), A
        LD A, 84h               ; drive 0, motor on
        OUT (FD_DRV), A
        XOR A                   ; side 0 (the boot left side 1, where the program lies)
        OUT (FD_SIDE), A
        LD D, 1
LOOP:   LD BC, RD_ADDR          ; address 0010h
        LD A, 10h
        OUT (C), A
        LD A, D
        OUT (RD_DATA), A
        LD A, NOT 1 AND 0FFh
        OUT (FD_SECT), A
        LD A, NOT WRITE_SECTOR AND 0FFh
        OUT (FD_CMD), A
        LD A, D
        CPL
        LD B, 0                 ; 256 bytes
FILL:   OUT (FD_DATA), A
        DJNZ FILL
        IN A, (FD_CMD)          ; the controller ends the command on the status reads
        IN A, (FD_CMD)
        INC D
        JR NZ, LOOP
        INC D
        JR LOOP
