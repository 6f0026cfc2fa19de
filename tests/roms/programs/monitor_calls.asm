; A program for the monitor call tests, run at 1200h in the MZ-700 memory map of Kestrel's
; monitor. Each entry of the table below makes some monitor calls with their documented
; inputs, leaves what they returned at RESULTS onwards and returns to the monitor.

ASC     EQU 03DAh
HEX     EQU 03F9h
HLHEX   EQU 0410h
HEX2    EQU 041Fh
ADCN    EQU 0BB9h
DACN    EQU 0BCEh
PONT    EQU 0FB1h
DPCT    EQU 0DDCh
PRNT    EQU 0012h
MSG     EQU 0015h
MSGX    EQU 0018h
PRNTT   EQU 000Fh
NL      EQU 0009h
BRKEY   EQU 001Eh
RDINF   EQU 0027h
VERFY   EQU 002Dh
MELDY   EQU 0030h
TIMST   EQU 0033h
TIMRD   EQU 003Bh
XTEMP   EQU 0041h
GETKY   EQU 001Bh
QKEY    EQU 09B3h                       ; ??KEY
BLNK    EQU 0DA6h
PPI_C   EQU 0E002h                      ; bit 7: the picture is being drawn
CURSOR_X EQU 1171h
CURSOR_Y EQU 1172h
CR      EQU 0Dh
RESULTS EQU 4000h

        ORG 1200h
        JP CONVERSIONS                  ; 1200h
        JP SCREEN                       ; 1203h
        JP CLOCK_SET                    ; 1206h
        JP CLOCK_READ                   ; 1209h
        JP MELODY                       ; 120Ch
        JP BREAK_KEY                    ; 120Fh
        JP VERIFY                       ; 1212h
        JP KEYS                         ; 1215h

; Stores A and then 1 if carry was set, else 0, at (IX) onwards.
STORE_A_CARRY:
        LD (IX + 0), A
        LD A, 0
        ADC A, A
        LD (IX + 1), A
        INC IX
        INC IX
        RET

; The hexadecimal and display code conversions.
CONVERSIONS:
        LD IX, RESULTS
        LD A, 0Bh
        CALL ASC
        CALL STORE_A_CARRY              ; 4000h 'B', 0
        LD A, 0AAh                      ; small f
        CALL HEX
        CALL STORE_A_CARRY              ; 4002h 0Fh, 0
        LD A, 'G'
        CALL HEX
        CALL STORE_A_CARRY              ; 4004h -, 1
        LD DE, DIGITS
        CALL HLHEX
        LD (IX + 0), L
        LD (IX + 1), H                  ; 4006h 12AFh
        INC IX
        INC IX
        CALL STORE_A_CARRY              ; 4008h -, 0
        LD (IX + 0), E                  ; 400Ah DE kept: LOW DIGITS
        INC IX
        LD DE, NOT_DIGITS
        CALL HLHEX
        CALL STORE_A_CARRY              ; 400Bh -, 1
        LD DE, DIGITS + 4
        CALL HEX2
        CALL STORE_A_CARRY              ; 400Dh 7Eh, 0
        LD (IX + 0), E                  ; 400Fh LOW (DIGITS + 6)
        INC IX
        LD BC, 1234h
        LD DE, 5678h
        LD HL, 9ABCh
        LD A, 'A'
        CALL ADCN
        CALL STORE_A_CARRY              ; 4010h 01h
        LD A, 01h
        CALL DACN
        CALL STORE_A_CARRY              ; 4012h 'A'
        LD A, 0A1h                      ; small a
        CALL ADCN
        CALL STORE_A_CARRY              ; 4014h 81h
        LD A, 81h
        CALL DACN
        CALL STORE_A_CARRY              ; 4016h A1h
        LD (RESULTS + 18h), BC          ; 4018h-401Dh: BC, DE, HL kept
        LD (RESULTS + 1Ah), DE
        LD (RESULTS + 1Ch), HL
        RET

DIGITS:         DB "12", 0A1h, "F7", 92h   ; 12aF 7e (small letters in the MZ's code)
NOT_DIGITS:     DB "12G0"

; The screen: controls in MSG, the cursor in 1171h/1172h, ?PONT, PRNTT, NL, INST and DEL.
SCREEN: LD A, 0C6h
        CALL DPCT                       ; clear
        LD BC, 1234h
        LD HL, 5678h
        LD DE, MOVES
        CALL MSG
        LD (RESULTS + 20h), BC          ; kept by MSG
        LD (RESULTS + 22h), HL
        LD (RESULTS + 24h), DE
        LD HL, (CURSOR_X)
        LD (RESULTS + 26h), HL          ; column, row
        CALL PONT
        LD (RESULTS + 28h), HL
        LD A, 15h                       ; home
        CALL PRNT
        LD HL, (CURSOR_X)
        LD (RESULTS + 2Ah), HL
        LD A, 'X'
        CALL PRNT
        CALL PRNTT
        LD A, (CURSOR_X)
        LD (RESULTS + 2Ch), A
        CALL NL
        CALL NL                         ; already at a line start: stays
        LD HL, (CURSOR_X)
        LD (RESULTS + 2Eh), HL
        LD DE, ROW_FIVE
        CALL MSG                        ; "XYZ" on row 5, cursor after X
        LD A, 0C8h
        CALL DPCT                       ; INST
        LD HL, 0D000h + 5 * 40
        LD DE, RESULTS + 30h
        LD BC, 4
        LDIR
        LD A, 0C7h
        CALL DPCT                       ; DEL
        LD HL, 0D000h + 5 * 40
        LD DE, RESULTS + 34h
        LD BC, 4
        LDIR
        LD DE, TO_ROW_SIX
        CALL MSG
        LD DE, SIGNS
        CALL MSGX                       ; row 6: A and the cursor-down sign
        LD A, 10
        LD (CURSOR_Y), A                ; the prompt goes below
        XOR A
        LD (CURSOR_X), A
        RET

MOVES:  DB "AB", 11h, "C", 14h, 14h, "D", CR      ; ends at column 2, row 1
ROW_FIVE:
        DB 15h, 11h, 11h, 11h, 11h, 11h, "XYZ", 14h, 14h, CR
TO_ROW_SIX:
        DB 15h, 11h, 11h, 11h, 11h, 11h, 11h, CR
SIGNS:  DB "A", 11h, CR

; Sets the clock two seconds before noon.
CLOCK_SET:
        XOR A
        LD DE, 43198
        JP TIMST

; Reads the clock: 4040h A, 4041h-4042h DE.
CLOCK_READ:
        CALL TIMRD
        LD (RESULTS + 40h), A
        LD (RESULTS + 41h), DE
        RET

; Plays A in the middle, high and low octaves, 1/32 note each at the fastest tempo, then a
; rest: 4050h carry.
MELODY: LD A, 7
        CALL XTEMP
        LD DE, TUNE
        CALL MELDY
        LD IX, RESULTS + 50h
        JP STORE_A_CARRY

TUNE:   DB "A0+A-AR3", CR

; 4060h: 1 when BRKEY found Shift+Break; 4061h-4062h: A and carry of RDINF.
BREAK_KEY:
        CALL BRKEY
        LD A, 0
        JR NZ, _up
        INC A
_up:    LD (RESULTS + 60h), A
        CALL RDINF
        LD IX, RESULTS + 61h
        JP STORE_A_CARRY

; 4070h-4071h: A and carry of VERFY.
VERIFY: CALL VERFY
        LD IX, RESULTS + 70h
        JP STORE_A_CARRY

; 4078h: port C bit 7 just after ?BLNK; 4079h: GETKY with no new key; 407Ah: ??KEY.
KEYS:   CALL BLNK
        LD A, (PPI_C)
        AND 80h
        LD (RESULTS + 78h), A
        CALL GETKY
        LD (RESULTS + 79h), A
        CALL QKEY
        LD (RESULTS + 7Ah), A
        RET
