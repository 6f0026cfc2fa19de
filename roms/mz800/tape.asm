; The tape of the monitor: MZF files on the card, read and written through the Sidecar's file
; service.
;
; The Sidecar answers at 50h (commands; read: the status flags) and 51h (data). A command's
; arguments follow on the data port, strings ended by CR; with a file open and no command
; running, each read or write of the data port is the file's next byte. It keeps one file
; open at a time.
;
; "L name" opens an MZF or MZT file and makes it the tape: the file stays open, and RDINF and
; RDDAT play on from where the last read stopped as a recorder does (tape_io.asm): RDINF
; reads the next header, RDDAT the next body, each passing over what lies before it, and a
; body without a header of its own is read with the size and address a loader has set at
; 1102h/1104h. WRINF opens a new file on the card's top named after the header, WRDAT
; writes the body and closes it; VERFY reads it back.
; All of them return carry clear when done and carry set with A = 1 on an error (the end of
; the tape, no tape, a card error) or A = 2 when Shift+Break was held.

; L [name]: with a name, the file becomes the tape; then the next program on the tape is
; loaded and run with the command loop as its return address.
CMD_LOAD:
        CALL SKIP_SPACES
        CP CR
        JR NZ, _open
        CALL SC_STATUS
        AND SC_READABLE
        JP Z, ERROR                     ; no tape
        JR _next
_open:  LD A, SC_SHARP_ON               ; the name is in the MZ's code, small letters too
        OUT (SIDECAR_COMMAND), A
        LD A, SC_READ
        CALL SC_OPEN_MODE
        LD A, '/'
        CP (HL)
        JR Z, _name
        OUT (SIDECAR_DATA), A           ; from the card's top
_name:  LD A, (HL)
        OUT (SIDECAR_DATA), A
        INC HL
        CP CR
        JR NZ, _name
        CALL SC_OPENED
        JR C, _missing
        LD HL, 0                        ; the tape starts at a block boundary
        XOR A
        CALL TAPE_BLOCK

; The header must describe a machine-code program that fits the program area, and the tape
; must hold all of it.
_next:  CALL RDINF
        JR C, _bad
        LD A, (HEADER_BUF + MZF_TYPE)
        CP TYPE_PROGRAM
        JR NZ, _bad
        LD HL, (HEADER_BUF + MZF_LOAD)
        LD BC, (HEADER_BUF + MZF_SIZE)
        CALL CHECK_AREA
        JR C, _bad
        CALL TAPE_HAS
        JR C, _bad
        LD DE, HEADER_BUF + MZF_NAME
        LD B, MZF_NAME_SIZE
        CALL SHOW_LOADING
        CALL RDDAT
        JR C, _bad
        LD HL, (HEADER_BUF + MZF_EXEC)
        LD DE, COMMAND_LOOP
        JP RUN_PROGRAM

_missing:
        LD DE, NOT_FOUND
        JR SAY_AND_LOOP
_bad:   CALL SC_CLOSE_FILE              ; what cannot be loaded is no tape
        LD DE, LOAD_ERROR_TEXT
SAY_AND_LOOP:
        CALL SAY
        JP COMMAND_LOOP

NOT_FOUND:      DB "FILE NOT FOUND", CR

; S name start end exec: saves start-end as the machine-code program name, run from exec,
; through WRINF and WRDAT.
CMD_SAVE:
        CALL SKIP_SPACES
        LD DE, HEADER_BUF
        LD A, TYPE_PROGRAM
        LD (DE), A
        INC DE
        LD B, MZF_NAME_SIZE
_name:  LD A, (HL)
        CP ' '
        JR Z, _named
        CP CR
        JR Z, _named
        DEC B
        JR Z, _fail                     ; longer than 16 characters
        LD (DE), A
        INC HL
        INC DE
        JR _name
_named: LD A, B
        CP MZF_NAME_SIZE
        JR Z, _fail                     ; no name
        LD A, CR                        ; the name is padded with CR
_pad:   LD (DE), A
        INC DE
        DJNZ _pad
        CALL READ_HEX
        JR C, _fail
        LD (HEADER_BUF + MZF_LOAD), DE
        CALL READ_HEX
        JR C, _fail
        PUSH DE                         ; the end
        CALL READ_HEX
        JR C, _fail
        LD (HEADER_BUF + MZF_EXEC), DE
        CALL AT_END
        POP HL
        JR NZ, _fail
        LD DE, (HEADER_BUF + MZF_LOAD)
        OR A
        SBC HL, DE
        JR C, _fail                     ; ends before it starts
        INC HL
        LD (HEADER_BUF + MZF_SIZE), HL
        LD HL, HEADER_BUF + MZF_EXEC + 2 ; the comment: zeros
        LD B, MZF_HEADER_SIZE - MZF_EXEC - 2
_zero:  LD (HL), 0
        INC HL
        DJNZ _zero
        CALL WRINF
        CALL NC, WRDAT
        JP NC, COMMAND_LOOP
        LD DE, SAVE_ERROR_TEXT
        JR SAY_AND_LOOP
_fail:  JP ERROR                        ; resets the stack

SAVE_ERROR_TEXT: DB "SAVE ERROR", CR

