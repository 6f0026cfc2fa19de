; Kestrel monitor: 0000h-0FFFh of the MZ-800 system ROM, an MZ-700 monitor.
;
; Runs in MZ-700 mode on the 40 x 25 text screen. It offers MZ-700 programs the monitor calls
; at the addresses they use (the jump table at 0000h-0049h and the routines at fixed
; addresses further up), and obeys these commands, typed after the "*" prompt and ended with
; Enter (addresses are 1-4 hexadecimal digits; commands and digits in either case):
;
;   D [addr]    display 8 lines of 8 bytes from addr (or from where the last D stopped)
;   M addr      modify memory: each line shows an address and its byte; type a new byte in
;               hexadecimal, or just Enter to keep it; "." ends
;   J addr      jump to addr; a program that returns comes back to the prompt
;   L [name]    make the MZF file name on the card the tape and run its first program, or
;               run the next program on the tape (tape.asm)
;   S name start end exec   save memory as an MZF file on the card (tape.asm)
;
; Text is kept in the MZ's own character code (ASCII from 20h to 5Dh, small letters and
; graphics above); the table at 0A92h turns it into display codes for the screen.

; Places a routine at the address MZ-700 programs call; stops the build if the code before
; it has grown into that address.
FIXED   MACRO address
        PAD_TO address
        IF $ NE address
        .ERROR A monitor routine is not at its fixed address
        ENDIF
        ENDM

; ---- Entry points ----------------------------------------------------------------------

        JP BOOT                         ; 0000h MONIT: the boot code in the E000h ROM
        JP GETL                         ; 0003h read a line into (DE), ended by CR
        JP LETNL                        ; 0006h go to the start of the next line
        JP NL                           ; 0009h the same, unless already at a line start
        JP PRNTS                        ; 000Ch print a space
        JP PRNTT                        ; 000Fh print spaces up to the next tab stop
        JP PRNT                         ; 0012h print the character in A
        JP MSG                          ; 0015h print the text at (DE) up to CR
        JP MSGX                         ; 0018h the same with control codes shown as signs
        JP GETKY                        ; 001Bh the key just pressed, or 0; does not wait
        JP BRKEY                        ; 001Eh Z set while Shift+Break is held
        JP WRINF                        ; 0021h write the header at 10F0h to the tape
        JP WRDAT                        ; 0024h write the body it describes
        JP RDINF                        ; 0027h read the next header from the tape
        JP RDDAT                        ; 002Ah read the next body
        JP VERFY                        ; 002Dh compare the tape's last file with memory
        JP MELDY                        ; 0030h play the melody at (DE)
        JP TIMST                        ; 0033h set the clock
        DS 2, 0FFh
        JP INT_VECTOR                   ; 0038h mode 1 interrupts: the clock
        JP TIMRD                        ; 003Bh read the clock
        JP BELL                         ; 003Eh a short beep
        JP XTEMP                        ; 0041h set the music tempo
        JP MSTA                         ; 0044h start the tone at 11A1h
        JP MSTP                         ; 0047h stop it

; Z set while Shift and Break (the host's End key) are both held. Uses AF.
BRKEY:  LD A, SHIFT_ROW OR STROBE_IDLE
        LD (PPI_A), A
        LD A, (PPI_B)
        AND BREAK_KEYS
        RET

; Stops the tone. Uses AF.
MSTP:   XOR A
        LD (SOUND_GATE), A
        RET

        FIXED 0066h
        RETN                            ; non-maskable interrupt

; The clock's interrupt: counter 2 has counted the half day down to zero. Noon or midnight:
; the other half begins. The count reloads at the next second, so it starts one lower.
CLOCK_TICK:
        PUSH AF
        PUSH HL
        LD HL, CLOCK_PM
        LD A, (HL)
        XOR 1
        LD (HL), A
        LD HL, PIT_CONTROL
        LD (HL), 0B0h                   ; counter 2, low byte then high byte, mode 0
        LD HL, PIT_COUNTER2
        LD (HL), LOW (HALF_DAY - 1)
        LD (HL), HIGH (HALF_DAY - 1)
        POP HL
        POP AF
        EI
        RETI

; ---- The command loop ----------------------------------------------------------------------

; Cold start from the boot code: banner, then commands.
MONITOR:
        LD SP, STACK_TOP
        CALL INIT_MONITOR
        LD DE, BANNER
        CALL MSG
        CALL LETNL
        JR COMMAND_LOOP

        FIXED 00ADh
COMMAND_LOOP:                           ; 00ADh: programs end with JP 00ADh
        LD SP, STACK_TOP
        CALL NL
        LD A, '*'
        CALL PRNT
        LD DE, LINE_BUF
        CALL GETL
        EX DE, HL
        CALL SKIP_SPACES
        CP CR
        JR Z, COMMAND_LOOP              ; an empty line
        CP BREAK_CODE
        JR Z, COMMAND_LOOP              ; Shift+Break
        INC HL
        CALL TO_UPPER
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
        JR COMMAND_LOOP

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
        DB 'S'
        DW CMD_SAVE
        DB 0

BANNER: DB "** KESTREL MONITOR **", CR

; D [addr]: 8 lines of "AAAA" and 8 bytes in hexadecimal, then the same bytes as text
; (a "." for bytes that are not ASCII signs, digits or capitals).
CMD_DUMP:
        CALL AT_END
        LD DE, (DUMP_NEXT)
        JR Z, _from                     ; no address: go on
        CALL ONE_ADDRESS
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
        CALL ONE_ADDRESS
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
_quit:  JP COMMAND_LOOP

; J addr: runs the program at addr with the command loop as its return address.
CMD_JUMP:
        CALL ONE_ADDRESS
        LD HL, COMMAND_LOOP
        PUSH HL
        EX DE, HL
        JP (HL)

; Reads the one address a command takes into DE; anything else is an error.
ONE_ADDRESS:
        CALL READ_HEX
        JR C, _bad
        CALL AT_END
        RET Z
_bad:   POP HL                          ; the command's return address
        JP ERROR

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
        CALL HEX
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

        INCLUDE tape_io.asm

; ---- Hexadecimal, at the addresses of the MZ-700's ---------------------------------------

        FIXED 03DAh
; ASC: the low four bits of A as a hexadecimal digit in A.
ASC:    AND 0Fh
        CP 10
        JR C, _decimal
        ADD A, 'A' - '0' - 10
_decimal:
        ADD A, '0'
        RET

; Prints a space. Keeps all registers.
PRNTS:  PUSH AF
        LD A, ' '
        CALL PRNT
        POP AF
        RET

        FIXED 03F9h
; HEX: the value of the hexadecimal digit in A (0-9, A-F, a-f), carry clear; carry set when
; A is not one.
HEX:    CALL TO_UPPER
        SUB '0'
        RET C
        CP 10
        CCF
        RET NC                          ; 0-9
        SUB 'A' - '0' - 10
        CP 10
        RET C                           ; between 9 and A
        CP 16
        CCF
        RET                             ; carry beyond F

        FIXED 0410h
; HLHEX: four hexadecimal digits at (DE) as the value in HL; carry when they are not.
; Keeps DE.
HLHEX:  PUSH DE
        CALL HEX2
        JR C, _end
        LD H, A
        CALL HEX2
        LD L, A
_end:   POP DE
        RET

        FIXED 041Fh
; 2HEX: two hexadecimal digits at (DE) as the value in A, DE past them; carry when they are
; not.
HEX2:   PUSH BC
        LD A, (DE)
        CALL HEX
        JR C, _end
        RLCA
        RLCA
        RLCA
        RLCA
        LD C, A
        INC DE
        LD A, (DE)
        CALL HEX
        JR C, _end
        OR C
        INC DE
_end:   POP BC
        RET

; The small letter in A as a capital; other characters unchanged. Uses F.
TO_UPPER:
        PUSH BC
        LD B, A
        CALL ADCN
        SUB 81h                         ; a-z have display codes 81h-9Ah
        CP 26
        JR NC, _keep
        INC A                           ; and A-Z 01h-1Ah
        CALL DACN
        LD B, A
_keep:  LD A, B
        POP BC
        RET

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
        LD DE, LOAD_ERROR_TEXT
; Prints the text at DE on a line of its own.
SAY:    CALL NL
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
        CALL ASC
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

; Prints the text at (DE) up to (not including) CR; 11h-16h move the cursor. Keeps all
; registers.
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

; The same, but every character is shown, control codes as their signs. Keeps all registers.
MSGX:   PUSH AF
        PUSH DE
_next:  LD A, (DE)
        CP CR
        JR Z, _end
        CALL PRNT_CODE
        INC DE
        JR _next
_end:   POP DE
        POP AF
        RET

; Prints spaces up to the next column that is a multiple of 10. Keeps all registers.
PRNTT:  PUSH AF
_space: CALL PRNTS
        LD A, (CURSOR_X)
        OR A
        JR Z, _end
_tens:  SUB 10
        JR Z, _end
        JR NC, _tens
        JR _space
_end:   POP AF
        RET

; Goes to the start of the next line unless the cursor is already at a line start.
; Keeps all registers.
NL:     PUSH AF
        LD A, (CURSOR_X)
        OR A
        CALL NZ, LETNL
        POP AF
        RET

; Goes to the start of the next line, scrolling at the bottom. Keeps all registers.
LETNL:  PUSH AF
        LD A, DP_CR
        CALL DPCT
        POP AF
        RET

; Prints the character in A at the cursor and moves the cursor on. CR starts a new line and
; 11h-16h move the cursor (down, up, right, left, home) or clear the screen. Keeps all
; registers.
PRNT:   PUSH AF
        CP CR
        JR Z, _control
        SUB 11h
        CP 6
        JR NC, _glyph
        ADD A, DP_SCROLL + 1 - DP_CR + CR
_control:
        ADD A, DP_CR - CR
        CALL DPCT
        POP AF
        RET
_glyph: POP AF
; Prints the character in A as its display code, whatever it is. Keeps all registers.
PRNT_CODE:
        PUSH AF
        CALL ADCN
        CALL PUT_CODE
        POP AF
        RET

; Stores display code A with the standard colour in the cursor cell and advances the cursor,
; onto the next line after column 39. Keeps all registers but AF.
PUT_CODE:
        PUSH HL
        PUSH AF
        CALL PONT
        POP AF
        LD (HL), A
        SET 3, H                        ; D0xxh-D3xxh -> D8xxh-DBxxh: the cell's attribute
        LD (HL), COLOUR
        POP HL
        ; fall through

; Moves the cursor one cell on, to the next line after column 39. Uses AF.
CURSOR_RIGHT:
        LD A, (CURSOR_X)
        INC A
        LD (CURSOR_X), A
        CP SCREEN_COLS
        RET C
; Moves the cursor to the start of the next line. Uses AF.
NEW_LINE:
        XOR A
        LD (CURSOR_X), A
; Moves the cursor down a line; below the last line the screen scrolls up. Uses AF.
CURSOR_DOWN:
        LD A, (CURSOR_Y)
        INC A
        CP SCREEN_ROWS
        JR NC, SCROLL
        LD (CURSOR_Y), A
        RET

; Moves the cursor up a line, if there is one. Uses AF.
CURSOR_UP:
        LD A, (CURSOR_Y)
        SUB 1
        RET C
        LD (CURSOR_Y), A
        RET

; Moves the cursor one cell back, to the end of the line above from column 0. Uses AF.
CURSOR_LEFT:
        LD A, (CURSOR_X)
        SUB 1
        JR NC, _store
        LD A, (CURSOR_Y)
        OR A
        RET Z                           ; already at the top left
        CALL CURSOR_UP
        LD A, SCREEN_COLS - 1
_store: LD (CURSOR_X), A
        RET

; Moves text and colours up one line and clears the last line. Uses AF.
SCROLL: PUSH BC
        PUSH DE
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
        POP DE
        POP BC
        RET

; Moves the cursor to the top left. Uses AF.
HOME:   XOR A
        LD (CURSOR_X), A
        LD (CURSOR_Y), A
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
        CALL HOME
        POP HL
        POP DE
        POP BC
        POP AF
        RET

; DEL: the cursor steps back and the rest of its line moves left over the cell there.
; Uses AF.
DELETE: CALL CURSOR_LEFT
        PUSH BC
        PUSH DE
        PUSH HL
        CALL CELLS_TO_END
        JR Z, _last
        LD D, H
        LD E, L
        INC HL
        LDIR
_last:  EX DE, HL
        LD (HL), 0
        POP HL
        POP DE
        POP BC
        RET

; INST: the rest of the line moves right by a cell (its last character drops off) and a
; space opens at the cursor. Uses AF.
INSERT: PUSH BC
        PUSH DE
        PUSH HL
        CALL CELLS_TO_END
        PUSH HL
        JR Z, _last
        ADD HL, BC                      ; the last cell of the line
        LD D, H
        LD E, L
        DEC HL
        LDDR
_last:  POP HL
        LD (HL), 0
        POP HL
        POP DE
        POP BC
        RET

; HL: the cursor's cell; BC: the cells after it on its line, Z when there are none.
; DE: the cursor cell too. Uses AF.
CELLS_TO_END:
        CALL PONT
        LD D, H
        LD E, L
        LD A, (CURSOR_X)
        SUB SCREEN_COLS - 1
        NEG
        LD C, A
        LD B, 0
        RET

; ---- Keyboard ---------------------------------------------------------------------------

; Reads a line of up to 79 characters into the buffer at DE, echoing it, until Enter; the
; buffer ends with CR. Backspace takes back the last character.
; Shift+Break gives a line of the BREAK code 1Bh alone. Keeps all registers.
GETL:   PUSH AF
        PUSH BC
        PUSH HL
        LD H, D
        LD L, E
        LD B, 0                         ; characters in the buffer
_key:   CALL GET_KEY
        CP KEY_CR
        JR Z, _enter
        CP KEY_DEL
        JR Z, _back
        CP KEY_BREAK
        JR Z, _break
        CP ' '
        JR C, _key                      ; the cursor keys do nothing here
        LD C, A
        LD A, B
        CP LINE_MAX
        JR NC, _key                     ; full
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
        LD A, DP_DEL
        CALL DPCT
        JR _key
_break: LD A, (KEYS_DOWN + SHIFT_ROW)
        RRCA
        JR NC, _key                     ; Break without Shift
        LD H, D
        LD L, E
        LD (HL), BREAK_CODE
        INC HL
_enter: LD (HL), CR
        CALL LETNL
        POP HL
        POP BC
        POP AF
        RET

; Waits for a key with the cursor blinking; returns its code in A (as GETKY).
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
_key:   PUSH AF
        CALL PONT
        SET 3, H
        LD (HL), COLOUR                 ; cursor off
        POP AF
        POP HL
        POP DE
        POP BC
        RET

; The code of a key pressed since the last scan, or 0; does not wait. Characters come in the
; MZ's code, Enter as 66h, Backspace as 60h (DEL), Insert 61h, End (Break) 64h, the cursor
; keys as 11h-14h, Home 15h and Shift+Home 16h (CLR). Uses AF.
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
        CALL PONT
        SET 3, H
        LD A, (PPI_C)
        AND 40h
        LD A, COLOUR
        JR Z, _set
        LD A, COLOUR_REVERSE
_set:   LD (HL), A
        RET

; Scans the ten rows of the keyboard matrix once. Returns in A the code of the first key
; (in row and bit order) that is down now and was up at the last scan, or 0 when there is
; none or it has no code. Shift selects the second table. Uses BC, DE, HL.
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

; Waits BC times 26 cycles. Uses AF, BC.
DELAY:  DEC BC
        LD A, B
        OR C
        JR NZ, DELAY
        RET

        INCLUDE sound.asm
        INCLUDE tape.asm

        FIXED 09B3h
QKEY:   JP GET_KEY                      ; 09B3h: wait for a key with the cursor blinking

; ---- ASCII to display code -------------------------------------------------------------

; The table sits at 0A92h, where MZ-700 software and the emulator's status line expect it.
        FIXED 0A92h

; Display code of every character code 00h-FFh, as the MZ-700's code tables give them: the
; signs, digits and capitals of 20h-5Fh, the small letters and _ ~ { | } where the MZ's code
; has them, and the cursor and editing keys 11h-16h and 60h-66h as their key-cap signs
; C1h-CDh. The codes the tables leave open take the display codes left over, in order, so
; that every display code belongs to exactly one character and ?DACN can turn it back.
ASCII_TO_DISPLAY:
        DB 0E6h, 0E7h, 0E8h, 0E9h, 0EAh, 0EBh, 0ECh, 0EDh, 0EEh, 0EFh, 0F0h, 0F1h, 0F2h, 0F3h, 0F4h, 0F5h   ; 00h
        DB 0F6h, 0C1h, 0C2h, 0C3h, 0C4h, 0C5h, 0C6h, 0F7h, 0F8h, 0F9h, 0FAh, 0FBh, 0FCh, 0FDh, 0FEh, 0FFh   ; 10h
        DB 00h, 61h, 62h, 63h, 64h, 65h, 66h, 67h, 68h, 69h, 6Bh, 6Ah, 2Fh, 2Ah, 2Eh, 2Dh   ; 20h
        DB 20h, 21h, 22h, 23h, 24h, 25h, 26h, 27h, 28h, 29h, 4Fh, 2Ch, 51h, 2Bh, 57h, 49h   ; 30h
        DB 55h, 01h, 02h, 03h, 04h, 05h, 06h, 07h, 08h, 09h, 0Ah, 0Bh, 0Ch, 0Dh, 0Eh, 0Fh   ; 40h
        DB 10h, 11h, 12h, 13h, 14h, 15h, 16h, 17h, 18h, 19h, 1Ah, 52h, 59h, 54h, 50h, 45h   ; 50h
        DB 0C7h, 0C8h, 0C9h, 1Bh, 0CBh, 1Ch, 0CDh, 1Dh, 1Eh, 1Fh, 30h, 31h, 32h, 33h, 34h, 35h   ; 60h
        DB 36h, 37h, 38h, 39h, 3Ah, 3Bh, 3Ch, 3Dh, 3Eh, 3Fh, 41h, 42h, 43h, 44h, 46h, 47h   ; 70h
        DB 40h, 48h, 4Ah, 4Bh, 4Ch, 4Dh, 4Eh, 53h, 56h, 58h, 5Ah, 5Bh, 5Ch, 5Dh, 5Eh, 5Fh   ; 80h
        DB 0BFh, 60h, 85h, 6Ch, 0A5h, 6Dh, 94h, 87h, 88h, 6Eh, 82h, 98h, 84h, 92h, 90h, 83h   ; 90h
        DB 91h, 81h, 9Ah, 97h, 93h, 95h, 89h, 6Fh, 70h, 8Bh, 86h, 96h, 71h, 72h, 73h, 8Ah   ; A0h
        DB 8Eh, 74h, 75h, 8Dh, 76h, 77h, 78h, 8Fh, 8Ch, 79h, 7Ah, 7Bh, 7Ch, 99h, 0BCh, 7Dh   ; B0h
        DB 80h, 7Eh, 7Fh, 9Bh, 9Ch, 9Dh, 9Eh, 9Fh, 0A0h, 0A1h, 0A2h, 0A3h, 0A4h, 0A6h, 0A7h, 0A8h   ; C0h
        DB 0A9h, 0AAh, 0ABh, 0ACh, 0ADh, 0AEh, 0AFh, 0B0h, 0B1h, 0B2h, 0B3h, 0B4h, 0B5h, 0B6h, 0B7h, 0B8h   ; D0h
        DB 0B9h, 0BAh, 0BBh, 0BDh, 0BEh, 0C0h, 0CAh, 0CCh, 0CEh, 0CFh, 0D0h, 0D1h, 0D2h, 0D3h, 0D4h, 0D5h   ; E0h
        DB 0D6h, 0D7h, 0D8h, 0D9h, 0DAh, 0DBh, 0DCh, 0DDh, 0DEh, 0DFh, 0E0h, 0E1h, 0E2h, 0E3h, 0E4h, 0E5h   ; F0h

        IF $ - ASCII_TO_DISPLAY NE 100h
        .ERROR The display code table must have 256 entries
        ENDIF

; Starts the monitor's work: the clock's interrupt jump, the music settings, every key
; counted as down so that keys still held from before the start type nothing. Uses AF, B, HL.
INIT_MONITOR:
        LD A, 0C3h                      ; JP
        LD (INT_VECTOR), A
        LD HL, CLOCK_TICK
        LD (INT_VECTOR + 1), HL
        LD HL, 0
        LD (DUMP_NEXT), HL
        LD A, 4
        LD (TEMPO), A
        LD A, 5                         ; a quarter note
        LD (NOTE_UNITS), A
        LD HL, KEYS_DOWN
        LD B, KEY_ROWS
_keys:  LD (HL), 0FFh
        INC HL
        DJNZ _keys
        RET

        FIXED 0BB9h
; ?ADCN: the display code of the character in A. Keeps all other registers.
ADCN:   PUSH HL
        LD HL, ASCII_TO_DISPLAY
        CALL ADD_HL_A
        LD A, (HL)
        POP HL
        RET

        FIXED 0BCEh
; ?DACN: the character whose display code is A. Keeps all other registers.
DACN:   PUSH BC
        PUSH HL
        LD HL, ASCII_TO_DISPLAY
        LD BC, 100h
        CPIR                            ; always found: the table holds every code once
        DEC HL
        LD A, L
        SUB LOW ASCII_TO_DISPLAY
        POP HL
        POP BC
        RET

; HL = the word at HL + 2 x A, from a table of words. Uses AF.
TABLE_WORD:
        ADD A, A
        CALL ADD_HL_A
        LD A, (HL)
        INC HL
        LD H, (HL)
        LD L, A
        RET

; HL = HL + A. Uses AF.
ADD_HL_A:
        ADD A, L
        LD L, A
        ADC A, H
        SUB L
        LD H, A
        RET

; ---- Keyboard tables --------------------------------------------------------------------

; The code of each key of the matrix, 8 per row from bit 0 to bit 7; 0 = none.
; Capitals without Shift, small letters with it; the signs follow the key caps of a
; PC keyboard.
KEY_CODES:
        DB KEY_CR, 27h, ';', 0, '\', KEY_HOME, 0, 0 ; 0: Enter ' ; Tab \ Home CapsLock `
        DB 0, 0, 0, ']', '[', 0, 'Z', 'Y'           ; 1: - - - ] [ F6 Z Y
        DB 'X', 'W', 'V', 'U', 'T', 'S', 'R', 'Q'   ; 2
        DB 'P', 'O', 'N', 'M', 'L', 'K', 'J', 'I'   ; 3
        DB 'H', 'G', 'F', 'E', 'D', 'C', 'B', 'A'   ; 4
        DB '8', '7', '6', '5', '4', '3', '2', '1'   ; 5
        DB '.', ',', '9', '0', ' ', '-', '=', 0     ; 6: . , 9 0 Space - = F7
        DB '/', 0, 14h, 13h, 11h, 12h, KEY_DEL, KEY_INST ; 7: / F8 Left Right Down Up Backspace Insert
        DB 0, 0, 0, 0, 0, 0, 0, KEY_BREAK           ; 8: Shift, Ctrl, End
        DB 0, 0, 0, 0, 0, 0, 0, 0                   ; 9: F5-F1

KEY_CODES_SHIFT:
        DB KEY_CR, '"', ':', 0, 0C0h, KEY_CLR, 0, 94h ; 0: Enter " : Tab | Home CapsLock ~
        DB 0, 0, 0, 80h, 0BEh, 0, 0A2h, 0BDh        ; 1: } { z y
        DB 9Bh, 0A3h, 0ABh, 0A5h, 96h, 0A4h, 9Dh, 0A0h ; 2: x w v u t s r q
        DB 9Eh, 0B7h, 0B0h, 0B3h, 0B8h, 0A9h, 0AFh, 0A6h ; 3: p o n m l k j i
        DB 98h, 97h, 0AAh, 92h, 9Ch, 9Fh, 9Ah, 0A1h ; 4: h g f e d c b a
        DB '*', '&', 5Eh, '%', '$', '#', '@', '!'   ; 5: 6 gives the up arrow
        DB '>', '<', '(', ')', ' ', 90h, '+', 0     ; 6: > < ( ) Space _ +
        DB '?', 0, 14h, 13h, 11h, 12h, KEY_DEL, KEY_INST ; 7
        DB 0, 0, 0, 0, 0, 0, 0, KEY_BREAK           ; 8
        DB 0, 0, 0, 0, 0, 0, 0, 0                   ; 9

        FIXED 0DA6h
; ?BLNK: waits until the vertical blanking starts (port C bit 7 falls). Keeps all registers.
BLNK:   PUSH AF
_shown: LD A, (PPI_C)
        RLCA
        JR NC, _shown                   ; still in the blanking before: wait for the picture
_blank: LD A, (PPI_C)
        RLCA
        JR C, _blank
        POP AF
        RET

        FIXED 0DDCh
; ?DPCT: the screen action of display code A: C0h scroll, C1h-C4h cursor down, up, right,
; left, C5h home, C6h clear, C7h DEL, C8h INST, CDh new line; others do nothing.
; Keeps all registers.
DPCT:   PUSH AF
        PUSH HL
        SUB DP_SCROLL
        CP DP_CR - DP_SCROLL + 1
        JR NC, _done
        LD HL, SCREEN_ACTIONS
        CALL TABLE_WORD
        CALL _run
_done:  POP HL
        POP AF
        RET
_run:   JP (HL)

SCREEN_ACTIONS:
        DW SCROLL, CURSOR_DOWN, CURSOR_UP, CURSOR_RIGHT, CURSOR_LEFT, HOME, CLS, DELETE
        DW INSERT, NOTHING, NOTHING, NOTHING, NOTHING, NEW_LINE
NOTHING:
        RET

        INCLUDE sidecar.asm

        FIXED 0FB1h
; ?PONT: HL = the text VRAM address of the cursor cell. Uses AF.
PONT:   PUSH DE
        LD A, (CURSOR_Y)
        LD L, A
        LD H, 0
        ADD HL, HL
        ADD HL, HL
        ADD HL, HL
        LD D, H
        LD E, L
        ADD HL, HL
        ADD HL, HL
        ADD HL, DE                      ; 40 x row
        LD A, (CURSOR_X)
        LD E, A
        LD D, HIGH VRAM_CODES
        ADD HL, DE                      ; D000h + column: the low byte of D000h is 0
        POP DE
        RET
