; Kestrel monitor: 0000h-0FFFh of the MZ-800 system ROM.
;
; Runs in MZ-700 mode on the 40 x 25 text screen. It reads the keyboard matrix through the
; 8255, echoes what is typed with a blinking cursor and obeys four commands, each typed
; after the "*" prompt and ended with Enter (addresses are 1-4 hexadecimal digits):
;
;   D [addr]    display 8 lines of 8 bytes from addr (or from where the last D stopped)
;   M addr      modify memory: each line shows an address and its byte; type a new byte in
;               hexadecimal, or just Enter to keep it; "." ends
;   J addr      jump to addr; a program that returns comes back to the prompt
;   L name      load the program file name (an MZF file) from the card through the Sidecar
;               and run it; a name without a leading "/" is taken from the card's top
;
; Text is kept in the MZ's own character code (ASCII from 20h to 5Dh, small letters and
; graphics above); the table at 0A92h turns it into display codes for the screen.

; ---- Reset and entry points ----------------------------------------------------------------

        JP BOOT                         ; 0000h: the CPU starts here; the boot code is in the E000h ROM

; Entry points for programs, at the addresses MZ-700 programs use for the same services.
        JP GETL                         ; 0003h read a line into (DE), ended by CR
        JP LETNL                        ; 0006h go to the start of the next line
        JP NL                           ; 0009h the same, unless already at a line start
        JP PRNTS                        ; 000Ch print a space
        JP PRNTT                        ; 000Fh print spaces up to the next tab stop (every 10 columns)
        JP PRNT                         ; 0012h print the character in A (CR = new line)
        JP MSG                          ; 0015h print the text at (DE) up to CR
        JP MSG                          ; 0018h the same
        JP GETKY                        ; 001Bh the key just pressed, or 0; does not wait

        PAD_TO 0038h
        EI                              ; 0038h: mode 1 interrupts land here; the monitor uses none
        RETI

        PAD_TO 0066h
        RETN                            ; 0066h: non-maskable interrupt

; ---- The command loop ----------------------------------------------------------------------

; Cold start from the boot code: banner, then commands.
MONITOR:
        LD SP, STACK_TOP
        LD HL, 0
        LD (DUMP_NEXT), HL
        LD HL, KEYS_DOWN
        LD B, KEY_ROWS
_keys:  LD (HL), 0FFh                   ; every key counts as down: keys still held from
        INC HL                          ; before the start type nothing
        DJNZ _keys
        LD DE, BANNER
        CALL MSG
        CALL LETNL

COMMAND_LOOP:
        LD SP, STACK_TOP
        CALL NL
        LD A, '*'
        CALL PRNT
        LD DE, LINE_BUF
        CALL GETL
        LD HL, LINE_BUF
        CALL SKIP_SPACES
        CP CR
        JR Z, COMMAND_LOOP              ; an empty line
        INC HL
        LD C, A
        LD DE, COMMANDS
_find:  LD A, (DE)
        OR A
        JR Z, ERROR
        INC DE
        CP C
        JR Z, _found
        INC DE
        INC DE
        JR _find
_found: EX DE, HL                       ; HL: the command's routine address; DE: the arguments
        LD A, (HL)
        INC HL
        LD H, (HL)
        LD L, A
        EX DE, HL
        PUSH DE
        RET                             ; to the routine, with HL at its arguments

ERROR:  CALL ERROR_MARK
        JP COMMAND_LOOP

; Prints "?" and goes to a new line.
ERROR_MARK:
        LD A, '?'
        CALL PRNT
        JP LETNL

COMMANDS:
        DB 'D'
        DW CMD_DUMP
        DB 'M'
        DW CMD_MODIFY
        DB 'J'
        DW CMD_JUMP
        DB 'L'
        DW CMD_LOAD
        DB 0

BANNER: DB "** KESTREL MONITOR **", CR

; D [addr]: 8 lines of "AAAA" and 8 bytes in hexadecimal, then the same bytes as text
; (a "." for bytes that are not ASCII signs, digits or capitals).
CMD_DUMP:
        CALL AT_END
        LD DE, (DUMP_NEXT)
        JR Z, _from                     ; no address: go on
        CALL READ_HEX
        JP C, ERROR
        CALL AT_END
        JP NZ, ERROR
_from:  EX DE, HL
        LD C, 8                         ; lines
_line:  CALL PRINT_HEX4
        PUSH HL
        LD B, 8
_hex:   CALL PRNTS
        LD A, (HL)
        CALL PRINT_HEX2
        INC HL
        DJNZ _hex
        CALL PRNTS
        POP HL
        LD B, 8
_char:  LD A, (HL)
        CP ' '
        JR C, _dot
        CP 5Eh
        JR C, _show
_dot:   LD A, '.'
_show:  CALL PRNT
        INC HL
        DJNZ _char
        CALL LETNL
        DEC C
        JR NZ, _line
        LD (DUMP_NEXT), HL
        JP COMMAND_LOOP

; M addr: one line per byte, "AAAA XX " and the answer typed after it.
CMD_MODIFY:
        CALL READ_HEX
        JP C, ERROR
        CALL AT_END
        JP NZ, ERROR
        EX DE, HL                       ; HL: the byte being shown
_show:  CALL PRINT_HEX4
        CALL PRNTS
        LD A, (HL)
        CALL PRINT_HEX2
        CALL PRNTS
        PUSH HL
        LD DE, LINE_BUF
        CALL GETL
        EX DE, HL
        CALL SKIP_SPACES
        CP '.'
        JR Z, _quit
        CP CR
        JR Z, _next                     ; Enter alone keeps the byte
        CALL READ_HEX
        JR C, _bad
        CALL AT_END
        JR NZ, _bad
        LD A, D
        OR A
        JR NZ, _bad                     ; more than one byte
        POP HL
        LD (HL), E
        PUSH HL
_next:  POP HL
        INC HL
        JR _show
_bad:   POP HL
        CALL ERROR_MARK
        JR _show                        ; the same address again
_quit:  POP HL
        JP COMMAND_LOOP

; J addr: runs the program at addr with the command loop as its return address.
CMD_JUMP:
        CALL READ_HEX
        JP C, ERROR
        CALL AT_END
        JP NZ, ERROR
        LD HL, COMMAND_LOOP
        PUSH HL
        EX DE, HL
        JP (HL)

; ---- Loading programs -------------------------------------------------------------------
; Shared by the boot devices and the L command.

; Carry set unless BC bytes from HL lie inside the program area, 1200h up to the text VRAM:
; below it are the monitor and its work area, which a loading program must not overwrite.
; Uses AF, DE.
CHECK_AREA:
        PUSH HL
        LD DE, PROGRAM_AREA
        OR A
        SBC HL, DE
        JR C, _out                      ; starts below the area
        ADD HL, DE
        ADD HL, BC
        JR C, _out                      ; runs past FFFFh
        LD DE, VRAM_CODES + 1
        OR A
        SBC HL, DE
        CCF                             ; carry when the end lies beyond D000h
        POP HL
        RET
_out:   POP HL
        SCF
        RET

; Prints "LOADING " and the name at (DE): up to B characters, fewer when a CR ends it; then a
; new line. Uses AF, B, DE.
SHOW_LOADING:
        PUSH DE
        LD DE, LOADING
        CALL MSG
        POP DE
_char:  LD A, (DE)
        CP CR
        JR Z, _end
        CALL PRNT
        INC DE
        DJNZ _char
_end:   JP LETNL

; Prints "LOAD ERROR" on a line of its own.
LOAD_ERROR:
        CALL NL
        LD DE, LOAD_ERROR_TEXT
        CALL MSG
        JP LETNL

; Starts the program at HL in the monitor's memory map, on the monitor's stack, with DE as its
; return address.
RUN_PROGRAM:
        LD SP, STACK_TOP
        PUSH DE
        JP (HL)

LOADING:        DB "LOADING ", CR
LOAD_ERROR_TEXT: DB "LOAD ERROR", CR

; ---- Reading commands -------------------------------------------------------------------

; Skips spaces at (HL); returns the first other character in A.
SKIP_SPACES:
        LD A, (HL)
        CP ' '
        RET NZ
        INC HL
        JR SKIP_SPACES

; Z set when only spaces remain before the CR at (HL).
AT_END: CALL SKIP_SPACES
        CP CR
        RET

; Reads a hexadecimal number of 1-4 digits at (HL), after any spaces. Returns it in DE with
; HL just past it and carry clear; carry set when there is no digit or more than four.
; Uses A and B.
READ_HEX:
        CALL SKIP_SPACES
        LD DE, 0
        LD B, 0
_digit: LD A, (HL)
        CALL HEX_VALUE
        JR C, _end
        EX DE, HL
        ADD HL, HL
        ADD HL, HL
        ADD HL, HL
        ADD HL, HL
        OR L
        LD L, A
        EX DE, HL
        INC HL
        INC B
        JR _digit
_end:   LD A, B
        OR A
        SCF
        RET Z                           ; no digit
        CP 5
        CCF
        RET                             ; carry when five or more digits

; The value of the hexadecimal digit in A (0-9, A-F), carry clear; carry set if A is not one.
HEX_VALUE:
        SUB '0'
        RET C
        CP 10
        CCF
        RET NC                          ; 0-9
        SUB 'A' - '0'
        RET C
        CP 6
        CCF
        RET C                           ; beyond F
        ADD A, 10
        RET

; ---- Printing ---------------------------------------------------------------------------

; Prints A as two hexadecimal digits. Keeps all registers.
PRINT_HEX2:
        PUSH AF
        RRCA
        RRCA
        RRCA
        RRCA
        CALL PRINT_DIGIT
        POP AF
PRINT_DIGIT:                            ; the low four bits of A as one digit
        PUSH AF
        AND 0Fh
        CP 10
        JR C, _decimal
        ADD A, 'A' - '0' - 10
_decimal:
        ADD A, '0'
        CALL PRNT
        POP AF
        RET

; Prints HL as four hexadecimal digits. Keeps all registers.
PRINT_HEX4:
        PUSH AF
        LD A, H
        CALL PRINT_HEX2
        LD A, L
        CALL PRINT_HEX2
        POP AF
        RET

; Prints the text at (DE) up to (not including) CR. Keeps all registers.
MSG:    PUSH AF
        PUSH DE
_next:  LD A, (DE)
        CP CR
        JR Z, _end
        CALL PRNT
        INC DE
        JR _next
_end:   POP DE
        POP AF
        RET

; Prints a space. Keeps all registers.
PRNTS:  PUSH AF
        LD A, ' '
        CALL PRNT
        POP AF
        RET

; Prints spaces up to the next column that is a multiple of 10. Keeps all registers.
PRNTT:  PUSH AF
_space: CALL PRNTS
        LD A, (CURSOR_COL)
        OR A
        JR Z, _end
_tens:  SUB 10
        JR Z, _end
        JR NC, _tens
        JR _space
_end:   POP AF
        RET

; Goes to the start of the next line unless the cursor is already at a line start.
NL:     PUSH AF
        LD A, (CURSOR_COL)
        OR A
        CALL NZ, LETNL
        POP AF
        RET

; Goes to the start of the next line, scrolling at the bottom. Keeps all registers.
LETNL:  PUSH AF
        PUSH DE
        PUSH HL
        CALL NEW_LINE
        POP HL
        POP DE
        POP AF
        RET

; Prints the character in A at the cursor and moves the cursor on; CR starts a new line.
; Keeps all registers.
PRNT:   PUSH AF
        PUSH DE
        PUSH HL
        CP CR
        JR NZ, _glyph
        CALL NEW_LINE
        JR _done
_glyph: LD HL, ASCII_TO_DISPLAY
        LD E, A
        LD D, 0
        ADD HL, DE
        LD A, (HL)
        CALL PUT_CODE
_done:  POP HL
        POP DE
        POP AF
        RET

; Stores display code A with the standard colour in the cursor cell and advances the cursor,
; onto the next line after column 39. Uses AF, DE, HL.
PUT_CODE:
        LD HL, (CURSOR_ADDR)
        LD (HL), A
        SET 3, H                        ; D0xxh-D3xxh -> D8xxh-DBxxh: the cell's attribute
        LD (HL), COLOUR
        RES 3, H
        INC HL
        LD (CURSOR_ADDR), HL
        LD A, (CURSOR_COL)
        INC A
        LD (CURSOR_COL), A
        CP SCREEN_COLS
        RET C
        XOR A
        LD (CURSOR_COL), A              ; wrapped: HL is the start of the next line
        JR SCROLL_IF_NEEDED

; Moves the cursor to the start of the next line. Uses AF, DE, HL.
NEW_LINE:
        LD HL, (CURSOR_ADDR)
        LD A, (CURSOR_COL)
        NEG
        ADD A, SCREEN_COLS              ; cells left on this line
        LD E, A
        LD D, 0
        ADD HL, DE
        XOR A
        LD (CURSOR_COL), A
        ; fall through

; HL is the new cursor address at a line start; when it lies below the last line the screen
; scrolls up one line and the cursor stays on the last line. Uses DE.
SCROLL_IF_NEEDED:
        LD DE, VRAM_CODES + SCREEN_COLS * SCREEN_ROWS
        OR A
        SBC HL, DE
        ADD HL, DE
        JR C, _store
        CALL SCROLL
        LD DE, -SCREEN_COLS
        ADD HL, DE
_store: LD (CURSOR_ADDR), HL
        RET

; Moves text and colours up one line and clears the last line. Keeps HL.
SCROLL: PUSH BC
        PUSH HL
        LD HL, VRAM_CODES + SCREEN_COLS
        LD DE, VRAM_CODES
        LD BC, SCREEN_COLS * (SCREEN_ROWS - 1)
        LDIR
        LD HL, VRAM_ATTRS + SCREEN_COLS
        LD DE, VRAM_ATTRS
        LD BC, SCREEN_COLS * (SCREEN_ROWS - 1)
        LDIR
        LD HL, VRAM_CODES + SCREEN_COLS * (SCREEN_ROWS - 1)
        LD B, SCREEN_COLS
_clear: LD (HL), 0                      ; display code of the space
        SET 3, H
        LD (HL), COLOUR
        RES 3, H
        INC HL
        DJNZ _clear
        POP HL
        POP BC
        RET

; Clears the screen to spaces in the standard colour; the cursor goes to the top left.
; Keeps all registers.
CLS:    PUSH AF
        PUSH BC
        PUSH DE
        PUSH HL
        LD HL, VRAM_CODES
        LD DE, VRAM_CODES + 1
        LD BC, 800h - 1
        LD (HL), 0
        LDIR
        LD HL, VRAM_ATTRS
        LD DE, VRAM_ATTRS + 1
        LD BC, 800h - 1
        LD (HL), COLOUR
        LDIR
        LD HL, VRAM_CODES
        LD (CURSOR_ADDR), HL
        XOR A
        LD (CURSOR_COL), A
        POP HL
        POP DE
        POP BC
        POP AF
        RET

; ---- Keyboard ---------------------------------------------------------------------------

; Reads a line into the buffer at DE, echoing it, until Enter; the buffer ends with CR.
; Backspace takes back the last character; the line ends at the screen's last column.
; Keeps all registers.
GETL:   PUSH AF
        PUSH BC
        PUSH HL
        LD H, D
        LD L, E
        LD B, 0                         ; characters in the buffer
_key:   CALL GET_KEY
        CP CR
        JR Z, _enter
        CP BS
        JR Z, _back
        CP ' '
        JR C, _key                      ; other control keys do nothing here
        LD C, A
        LD A, (CURSOR_COL)
        CP SCREEN_COLS - 1
        JR NC, _key                     ; full: the last column stays free for the cursor
        LD A, C
        LD (HL), A
        INC HL
        INC B
        CALL PRNT
        JR _key
_back:  LD A, B
        OR A
        JR Z, _key
        DEC B
        DEC HL
        CALL BACK_SPACE
        JR _key
_enter: LD (HL), CR
        CALL LETNL
        POP HL
        POP BC
        POP AF
        RET

; Moves the cursor one cell to the left on its line and clears that cell. Keeps all
; registers but the flags.
BACK_SPACE:
        PUSH HL
        LD HL, (CURSOR_ADDR)
        DEC HL
        LD (HL), 0
        LD (CURSOR_ADDR), HL
        LD HL, CURSOR_COL
        DEC (HL)
        POP HL
        RET

; Waits for a key with the cursor blinking; returns its character in A.
GET_KEY:
        PUSH BC
        PUSH DE
        PUSH HL
_wait:  CALL SHOW_CURSOR
        CALL SCAN_KEYS
        OR A
        JR NZ, _key
        LD BC, SCAN_PAUSE
        CALL DELAY
        JR _wait
_key:   LD HL, (CURSOR_ADDR)
        SET 3, H
        LD (HL), COLOUR                 ; cursor off
        POP HL
        POP DE
        POP BC
        RET

; The character of a key pressed since the last scan, or 0; does not wait.
GETKY:  PUSH BC
        PUSH DE
        PUSH HL
        CALL SCAN_KEYS
        POP HL
        POP DE
        POP BC
        RET

; Shows the cursor cell in reverse colours while the 8255's blink signal (port C bit 6) is
; high, in normal colours while it is low. Uses AF, HL.
SHOW_CURSOR:
        LD A, (PPI_C)
        AND 40h
        LD A, COLOUR
        JR Z, _set
        LD A, COLOUR_REVERSE
_set:   LD HL, (CURSOR_ADDR)
        SET 3, H
        LD (HL), A
        RET

; Scans the ten rows of the keyboard matrix once. Returns in A the character of the first
; key (in row and bit order) that is down now and was up at the last scan, or 0 when there
; is none or it has no character. Shift selects the second table. Uses BC, DE, HL.
SCAN_KEYS:
        LD HL, KEYS_DOWN
        LD C, 0                         ; row
        LD E, 0FFh                      ; key number (row * 8 + bit) found, FFh none yet
_row:   LD A, C
        OR STROBE_IDLE
        LD (PPI_A), A
        LD A, (PPI_B)
        CPL                             ; 1 = down
        LD B, A
        LD A, (HL)
        LD (HL), B
        INC HL
        CPL
        AND B                           ; down now, up before
        JR Z, _next
        LD D, A
        LD A, E
        INC A
        JR NZ, _next                    ; an earlier row had one
        LD A, C
        RLCA
        RLCA
        RLCA
        DEC A
_bit:   INC A
        SRL D
        JR NC, _bit
        LD E, A
_next:  INC C
        LD A, C
        CP KEY_ROWS
        JR C, _row
        LD A, E
        INC A
        RET Z                           ; nothing new: A = 0
        LD HL, KEY_CODES
        LD A, (KEYS_DOWN + SHIFT_ROW)
        RRCA
        JR NC, _plain
        LD HL, KEY_CODES_SHIFT
_plain: LD D, 0
        ADD HL, DE
        LD A, (HL)
        RET

; ---- Sound and time ---------------------------------------------------------------------

; The bell: counter 0 of the 8253 as a square wave of 880 Hz for 0.2 s. Keeps all registers.
BEEP:   PUSH AF
        PUSH BC
        PUSH HL
        LD HL, PIT_CONTROL
        LD (HL), 36h                    ; counter 0, low byte then high byte, mode 3, binary
        LD HL, PIT_COUNTER0
        LD (HL), LOW BELL_COUNT
        LD (HL), HIGH BELL_COUNT
        LD A, 1
        LD (SOUND_GATE), A
        LD BC, BELL_LOOPS
        CALL DELAY
        XOR A
        LD (SOUND_GATE), A
        POP HL
        POP BC
        POP AF
        RET

; Waits BC times 26 cycles. Uses AF, BC.
DELAY:  DEC BC
        LD A, B
        OR C
        JR NZ, DELAY
        RET

; ---- ASCII to display code -------------------------------------------------------------

; The table sits at 0A92h, where MZ-700 software and the emulator's status line expect it.
        PAD_TO 0A92h
        IF $ NE 0A92h
        .ERROR The display code table must start at 0A92h
        ENDIF

; Display code of every character code 00h-FFh. The signs, digits and capitals (20h-5Dh)
; and the small letters (scattered over 90h-C0h) get their glyphs; control codes show as
; spaces; the graphic codes are spread over Kestrel's graphics.
ASCII_TO_DISPLAY:
        REPT 20h                        ; 00h-1Fh  control codes
        DB 00h
        ENDM
        ;  space !    "    #    $    %    &    '    (    )    *    +    ,    -    .    /
        DB 00h, 2Ah, 2Bh, 2Ch, 2Dh, 2Eh, 2Fh, 30h, 31h, 32h, 33h, 34h, 35h, 36h, 37h, 38h
        ;  0    1    2    3    4    5    6    7    8    9    :    ;    <    =    >    ?
        DB 20h, 21h, 22h, 23h, 24h, 25h, 26h, 27h, 28h, 29h, 39h, 3Ah, 3Bh, 3Ch, 3Dh, 3Eh
        ;  @    A    B    C    D    E    F    G    H    I    J    K    L    M    N    O
        DB 3Fh, 01h, 02h, 03h, 04h, 05h, 06h, 07h, 08h, 09h, 0Ah, 0Bh, 0Ch, 0Dh, 0Eh, 0Fh
        ;  P    Q    R    S    T    U    V    W    X    Y    Z    [    \    ]    up   left
        DB 10h, 11h, 12h, 13h, 14h, 15h, 16h, 17h, 18h, 19h, 1Ah, 1Bh, 1Ch, 1Dh, 45h, 46h
        REPT 20h, code, 60h             ; 60h-7Fh  graphics: quadrants, bars, checkerboard
        DB code
        ENDM
        ;  }    line drawing (cross, -, |, 4 corners, 4 tees)         spade heart diam club
        DB 43h, 55h, 56h, 57h, 58h, 59h, 5Ah, 5Bh, 5Ch, 5Dh, 5Eh, 5Fh, 4Ch, 4Dh, 4Eh, 4Fh
        ;  _    down e    right ~    pound t    g    h    deg  b    x    d    r    p    c
        DB 1Fh, 48h, 85h, 47h, 44h, 49h, 94h, 87h, 88h, 4Ah, 82h, 98h, 84h, 92h, 90h, 83h
        ;  q    a    z    w    s    u    i    pi   disc k    f    v    ring div  times j
        DB 91h, 81h, 9Ah, 97h, 93h, 95h, 89h, 4Bh, 50h, 8Bh, 86h, 96h, 51h, 52h, 53h, 8Ah
        ;  n    +-   `    m    ^    dot  tri  o    l    tri  tri  tri  sq   y    {    square
        DB 8Eh, 54h, 40h, 8Dh, 1Eh, 80h, 9Bh, 8Fh, 8Ch, 9Ch, 9Dh, 9Eh, 9Fh, 99h, 41h, 0BFh
        DB 42h                          ; C0h  |
        REPT 1Fh, code, 0A1h            ; C1h-DFh  thin lines, diagonals, shades, corners
        DB code
        ENDM
        REPT 20h, code, 0E0h            ; E0h-FFh  digits and signs in reverse video
        DB code
        ENDM

        IF $ - ASCII_TO_DISPLAY NE 100h
        .ERROR The display code table must have 256 entries
        ENDIF

; ---- Keyboard tables --------------------------------------------------------------------

; The character of each key of the matrix, 8 per row from bit 0 to bit 7; 0 = none.
; Capitals without Shift, small letters with it; the signs follow the key caps of a
; PC keyboard.
KEY_CODES:
        DB CR, 27h, ';', 0, '\', 0, 0, 0            ; 0: Enter ' ; Tab \ Home CapsLock `
        DB 0, 0, 0, ']', '[', 0, 'Z', 'Y'           ; 1: - - - ] [ F6 Z Y
        DB 'X', 'W', 'V', 'U', 'T', 'S', 'R', 'Q'   ; 2
        DB 'P', 'O', 'N', 'M', 'L', 'K', 'J', 'I'   ; 3
        DB 'H', 'G', 'F', 'E', 'D', 'C', 'B', 'A'   ; 4
        DB '8', '7', '6', '5', '4', '3', '2', '1'   ; 5
        DB '.', ',', '9', '0', ' ', '-', '=', 0     ; 6: . , 9 0 Space - = F7
        DB '/', 0, 0, 0, 0, 0, BS, 0                ; 7: / F8 Left Right Down Up Backspace Insert
        DB 0, 0, 0, 0, 0, 0, 0, 0                   ; 8: Shift, Ctrl, End
        DB 0, 0, 0, 0, 0, 0, 0, 0                   ; 9: F5-F1

KEY_CODES_SHIFT:
        DB CR, '"', ':', 0, 0C0h, 0, 0, 94h         ; 0: Enter " : Tab | Home CapsLock ~
        DB 0, 0, 0, 80h, 0BEh, 0, 0A2h, 0BDh        ; 1: } { z y
        DB 9Bh, 0A3h, 0ABh, 0A5h, 96h, 0A4h, 9Dh, 0A0h ; 2: x w v u t s r q
        DB 9Eh, 0B7h, 0B0h, 0B3h, 0B8h, 0A9h, 0AFh, 0A6h ; 3: p o n m l k j i
        DB 98h, 97h, 0AAh, 92h, 9Ch, 9Fh, 9Ah, 0A1h ; 4: h g f e d c b a
        DB '*', '&', 5Eh, '%', '$', '#', '@', '!'   ; 5: 6 gives the up arrow
        DB '>', '<', '(', ')', ' ', 90h, '+', 0     ; 6: > < ( ) Space _ +
        DB '?', 0, 0, 0, 0, 0, BS, 0                ; 7
        DB 0, 0, 0, 0, 0, 0, 0, 0                   ; 8
        DB 0, 0, 0, 0, 0, 0, 0, 0                   ; 9
