; The loader of a program in three parts, all in one tape file: this loader with its header,
; a second part with a header of its own, and a third without one, whose size and address
; only the loader knows. It runs at 1200h, loads the parts with the monitor's RDINF and RDDAT
; and leaves A and carry of each call at 4080h onwards; then it asks for one header more.

RDINF   EQU 0027h
RDDAT   EQU 002Ah
SIZE    EQU 1102h
ADDRESS EQU 1104h
RESULTS EQU 4080h

        ORG 1200h
        LD HL, RESULTS
        CALL RDINF                      ; the second part's header
        CALL RESULT
        CALL RDDAT                      ; the second part, where its header says
        CALL RESULT
        LD DE, 0300h                    ; the third part: 768 bytes to 6000h
        LD (SIZE), DE
        LD DE, 6000h
        LD (ADDRESS), DE
        CALL RDDAT
        CALL RESULT
        CALL RDINF                      ; the tape has ended
        ; fall through

; Stores A and 1 if carry, else 0, at (HL) onwards.
RESULT: LD (HL), A
        INC HL
        LD A, 0
        ADC A, A
        LD (HL), A
        INC HL
        RET
