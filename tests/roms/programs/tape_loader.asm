; Loaders of a program in three parts, all in one tape file; each leaves A and carry of every
; tape call at 4080h onwards. At 1200h: the second part has a header of its own, read with
; RDINF, the third has none and only this loader knows its size and address; then it asks
; for one header more. At 1203h: every part is a file with its header, and the loader sets
; size and address itself and calls RDDAT alone, reading only the start of the second part.

RDINF   EQU 0027h
RDDAT   EQU 002Ah
SIZE    EQU 1102h
ADDRESS EQU 1104h
RESULTS EQU 4080h

        ORG 1200h
        JR HEADERS
        NOP

DATA_ONLY:                              ; 1203h
        LD HL, RESULTS
        LD DE, 0100h                    ; 256 bytes of the second part to 3000h
        LD BC, 3000h
        CALL PART
        LD DE, 0300h                    ; the third part: 768 bytes to 6000h
        LD BC, 6000h
        CALL PART
        CALL RDDAT                      ; the tape has ended
        JR RESULT

HEADERS:
        LD HL, RESULTS
        CALL RDINF                      ; the second part's header
        CALL RESULT
        CALL RDDAT                      ; the second part, where its header says
        CALL RESULT
        LD DE, 0300h                    ; the third part: 768 bytes to 6000h
        LD BC, 6000h
        CALL PART
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

; Reads DE bytes of the next data block to BC and stores the result.
PART:   LD (SIZE), DE
        LD (ADDRESS), BC
        CALL RDDAT
        JR RESULT
