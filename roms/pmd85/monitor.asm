; Kestrel's PMD 85 monitor, 8 KiB of 8080 code (pasmo --w8080: Z80 mnemonics, 8080 opcodes only).
;
; At reset every page reads this ROM, so the 8080 starts at 0000h in the first copy and jumps
; into the copy at E000h; then port C of the 8255 maps RAM at 0000h-DFFFh and keeps the ROM at
; E000h-FFFFh (writes always reach RAM, so the whole video RAM C000h-FFFFh stays writable).
; The screen is 25 lines of 48 characters, 10 dot rows each; the keyboard is scanned through the
; 8255's port A (column) and port B (keys). The commands (one letter, hex numbers):
;   D [addr]           shows 64 bytes from addr (or on from the last D)
;   M addr [bb ...]    writes the bytes from addr; without bytes shows the 8 bytes there
;   J addr             calls addr (a RET comes back to the prompt)
;   L [name]           loads the program from disk server drive 0 and calls it; without a name
;                      lists the disk's programs
;   R [name]           the same from the ROM module
;
; A directory entry (disk and module alike) is 16 bytes: the name (8 bytes, blank padded), the
; load address, the execution address, the size, the start (each 16 bits, low byte first). An
; entry whose first byte is 0 ends the directory.
; Disk (128-byte records, 36 to a track): the directory is track 0, records 0-3 (32 entries);
; the start is the number of the program's first record counted from track 0, record 0, and
; the program fills the records from there on.
; ROM module: the directory is the first 256 bytes (16 entries); the start is the number of
; the 256-byte page where the program begins.
; Programs may use 0000h-B7FFh; the monitor keeps its font, buffers and stack above.

; --- Hardware ---
KEY_COLUMN  EQU 84h             ; 8255 port A: keyboard column 0-14
KEY_ROW     EQU 85h             ; 8255 port B: that column's keys, active low; bit 5 Shift
PPI_PORT_C  EQU 86h
PPI_CONTROL EQU 87h
MAP_RAM     EQU 10h             ; port C: RAM at 0000h-DFFFh, ROM at E000h-FFFFh
ROM_OFF     EQU 08h             ; control word: port C bit 4 := 0 (RAM everywhere)
ROM_ON      EQU 09h             ; control word: port C bit 4 := 1
DISK_DATA   EQU 4Ch
MODULE_DATA EQU 88h
MODULE_LOW  EQU 89h
MODULE_MID  EQU 8Ah             ; address bits 8-14
MODULE_HIGH EQU 6Fh             ; address bits 15-19

; --- Screen ---
VIDEO       EQU 0C000h
ROW_BYTES   EQU 64
COLUMNS     EQU 48
LINES       EQU 25
CELL_ROWS   EQU 10
LINE_BYTES  EQU ROW_BYTES * CELL_ROWS
CURSOR_ROW  EQU 8               ; the cursor is a bar under the character cell
GREEN       EQU 00h             ; colour attributes (video byte bits 6-7)
RED         EQU 40h

; --- Disk server ---
SYNC        EQU 0AAh
ANSWER_OK   EQU 33h
RECORD      EQU 128
PER_TRACK   EQU 36
DIR_RECORDS EQU 4

; --- RAM ---
FONT        EQU 0B800h          ; 64 glyphs of 8 rows, mirrored for the screen
SCROLL      EQU 0BA00h          ; the scroll routine, run from RAM while the ROM is switched off
DIRECTORY   EQU 0BB00h          ; 512 bytes
RECBUF      EQU 0BD00h          ; 128 bytes
LINEBUF     EQU 0BD80h          ; the typed line, NUL-terminated
LINE_MAX    EQU 46
CURX        EQU 0BE00h
CURY        EQU 0BE01h
COLOUR      EQU 0BE02h
LASTKEY     EQU 0BE03h
DUMPADDR    EQU 0BE04h          ; 2 bytes
MLOW        EQU 0BE06h
REMAIN      EQU 0BE07h          ; 2 bytes
FOUND       EQU 0BE09h          ; 2 bytes: the directory entry being loaded
LINEPTR     EQU 0BE0Bh          ; 2 bytes: where the command line is read next
STACK       EQU 0C000h

ENTRY_SIZE  EQU 16
E_LOAD      EQU 8
E_EXEC      EQU 10
E_SIZE      EQU 12
E_START     EQU 14
NAME_SIZE   EQU 8

CR          EQU 0Dh
BS          EQU 08h
NO_KEY      EQU 0FFh

        ORG 0E000h
        ; Seen at 0000h after reset as well: the jump goes to the copy at E000h.
        DI
        JP START

START:  LD SP, STACK
        LD A, MAP_RAM
        OUT (PPI_PORT_C), A
        CALL MIRROR_FONT
        CALL COPY_SCROLL
        CALL CLEAR_SCREEN
        LD A, NO_KEY
        LD (LASTKEY), A
        LD A, RED
        LD (COLOUR), A
        LD HL, BANNER
        CALL PRINT
        LD A, GREEN
        LD (COLOUR), A
        LD HL, HELP
        CALL PRINT
        LD HL, 0
        LD (DUMPADDR), HL

PROMPT: LD SP, STACK
        LD A, '*'
        CALL PUTCH
        CALL GETLINE
        LD HL, LINEBUF
        CALL SKIP_BLANKS
        OR A
        JP Z, PROMPT
        INC HL
        LD (LINEPTR), HL
        LD DE, PROMPT           ; every command returns to the prompt
        PUSH DE
        CP 'D'
        JP Z, CMD_DUMP
        CP 'M'
        JP Z, CMD_MODIFY
        CP 'J'
        JP Z, CMD_JUMP
        CP 'L'
        JP Z, CMD_DISK
        CP 'R'
        JP Z, CMD_MODULE
ERROR:  LD HL, WHAT
        JP PRINT

BANNER: DB "KESTREL", CR, 0
HELP:   DB "PMD 85 MONITOR  D M J L R", CR, 0
WHAT:   DB "?", CR, 0
NOT_FOUND:
        DB "NOT FOUND", CR, 0
DISK_ERROR:
        DB "DISK ERROR", CR, 0

; --- Commands ---

; D [addr]: eight rows of eight bytes.
CMD_DUMP:
        CALL GET_HEX
        JP C, DUMP_ON
        LD (DUMPADDR), HL
DUMP_ON:
        LD HL, (DUMPADDR)
        LD B, 8
DUMP_ROW:
        CALL SHOW_ROW
        DEC B
        JP NZ, DUMP_ROW
        LD (DUMPADDR), HL
        RET

; The row at HL: "AAAA XX XX XX XX XX XX XX XX", then HL + 8.
SHOW_ROW:
        PUSH BC
        CALL PUT_HEX4
        LD B, 8
SHOW_BYTE:
        LD A, ' '
        CALL PUTCH
        LD A, (HL)
        CALL PUT_HEX2
        INC HL
        DEC B
        JP NZ, SHOW_BYTE
        CALL NEWLINE
        POP BC
        RET

; M addr [bytes]
CMD_MODIFY:
        CALL GET_HEX
        JP C, ERROR
        EX DE, HL               ; DE: the address
        CALL GET_HEX            ; HL: the first byte, if any
        JP NC, MODIFY_BYTES
        EX DE, HL
        JP SHOW_ROW
MODIFY_BYTES:
        LD A, L
        LD (DE), A
        INC DE
        CALL GET_HEX
        JP NC, MODIFY_BYTES
        RET

; J addr
CMD_JUMP:
        CALL GET_HEX
        JP C, ERROR
        JP (HL)                 ; the prompt's address is on the stack

; L [name]: disk server drive 0.
CMD_DISK:
        LD HL, DIRECTORY
        LD DE, 0                ; track 0, record 0
        LD B, DIR_RECORDS
DISK_DIR:
        CALL READ_RECORD
        JP NZ, DISK_FAILED
        CALL NEXT_RECORD
        DEC B
        JP NZ, DISK_DIR
        CALL FIND_ENTRY         ; HL: the entry, or the listing was shown
        RET C
        CALL ENTRY_START        ; DE: the first record, BC: the size, HL: the load address
        CALL RECORD_TRACK       ; D: track, E: record
DISK_LOAD:
        LD A, B
        OR C
        JP Z, RUN_ENTRY
        PUSH HL
        LD HL, RECBUF
        CALL READ_RECORD
        POP HL
        JP NZ, DISK_FAILED
        CALL NEXT_RECORD
        PUSH DE
        LD DE, RECBUF           ; the record's bytes, as far as the program goes
COPY_RECORD:
        LD A, (DE)
        LD (HL), A
        INC DE
        INC HL
        DEC BC
        LD A, B
        OR C
        JP Z, RECORD_COPIED
        LD A, E
        CP LOW (RECBUF + RECORD)
        JP NZ, COPY_RECORD
RECORD_COPIED:
        POP DE
        JP DISK_LOAD
DISK_FAILED:
        LD HL, DISK_ERROR
        CALL PRINT
        JP PROMPT

; R [name]: the ROM module.
CMD_MODULE:
        LD HL, DIRECTORY
        LD DE, 0                ; page 0
        LD BC, 256
        CALL MODULE_READ
        CALL FIND_ENTRY
        RET C
        CALL ENTRY_START        ; DE: the first page, BC: the size, HL: the load address
        CALL MODULE_READ
        ; falls through

; Calls the execution address of the entry found last (kept in FOUND).
RUN_ENTRY:
        LD HL, (FOUND)
        LD DE, E_EXEC
        ADD HL, DE
        LD E, (HL)
        INC HL
        LD D, (HL)
        EX DE, HL
        JP (HL)

; The directory entry named by the rest of the command line, in FOUND and HL with carry clear.
; Without a name the directory is listed; an unknown name prints NOT FOUND; both set carry.
FIND_ENTRY:
        LD HL, (LINEPTR)
        CALL SKIP_BLANKS
        OR A
        JP Z, LIST_DIRECTORY
        EX DE, HL               ; DE: the name typed
        LD HL, DIRECTORY
        LD B, 32
FIND_NEXT:
        LD A, (HL)
        OR A
        JP Z, FIND_FAILED
        CALL SAME_NAME
        JP Z, FIND_DONE
        LD A, L
        ADD A, ENTRY_SIZE
        LD L, A
        JP NC, FIND_SAME_PAGE
        INC H
FIND_SAME_PAGE:
        DEC B
        JP NZ, FIND_NEXT
FIND_FAILED:
        LD HL, NOT_FOUND
        CALL PRINT
        SCF
        RET
FIND_DONE:
        LD (FOUND), HL
        OR A
        RET

; Z when the 8-byte blank-padded name at HL equals the typed name at DE (ended by a blank or NUL).
SAME_NAME:
        PUSH HL
        PUSH DE
        LD C, NAME_SIZE
SAME_CHAR:
        LD A, (DE)
        CP ' ' + 1
        JP NC, SAME_COMPARE
        LD A, ' '               ; the typed name has ended: the rest must be blank
        DEC DE
SAME_COMPARE:
        CP (HL)
        JP NZ, SAME_END
        INC HL
        INC DE
        DEC C
        JP NZ, SAME_CHAR
        LD A, (DE)              ; the typed name must end here too
        CP ' ' + 1
        JP C, SAME_MATCH
        OR A                    ; a longer name: not the same (A is not 0)
        JP SAME_END
SAME_MATCH:
        XOR A
SAME_END:
        POP DE
        POP HL
        RET

; Prints the names, sizes and addresses of the directory entries; sets carry.
LIST_DIRECTORY:
        LD HL, DIRECTORY
        LD B, 32
LIST_NEXT:
        LD A, (HL)
        OR A
        JP Z, LIST_END
        PUSH HL
        LD C, NAME_SIZE
LIST_NAME:
        LD A, (HL)
        CALL PUTCH
        INC HL
        DEC C
        JP NZ, LIST_NAME
        LD C, 3                 ; load address, execution address, size
LIST_WORD:
        LD A, ' '
        CALL PUTCH
        LD E, (HL)
        INC HL
        LD D, (HL)
        INC HL
        PUSH HL
        EX DE, HL
        CALL PUT_HEX4
        POP HL
        DEC C
        JP NZ, LIST_WORD
        CALL NEWLINE
        POP HL
        LD DE, ENTRY_SIZE
        ADD HL, DE
        DEC B
        JP NZ, LIST_NEXT
LIST_END:
        SCF
        RET

; From the entry at HL: DE the start, BC the size, HL the load address.
ENTRY_START:
        LD DE, E_LOAD
        ADD HL, DE
        LD E, (HL)
        INC HL
        LD D, (HL)
        PUSH DE                 ; the load address
        INC HL
        INC HL
        INC HL
        LD C, (HL)
        INC HL
        LD B, (HL)
        INC HL
        LD E, (HL)
        INC HL
        LD D, (HL)
        POP HL
        RET

; --- Disk server ---

; Reads record E of track D of drive 0 into HL (HL advances by 128). NZ on failure.
READ_RECORD:
        PUSH BC
        LD A, SYNC
        OUT (DISK_DATA), A
        LD A, 'R'
        OUT (DISK_DATA), A
        LD A, E                 ; drive 0: bits 7 and 6 clear
        OUT (DISK_DATA), A
        LD A, D
        OUT (DISK_DATA), A
        LD A, 'R'
        XOR E
        XOR D
        OUT (DISK_DATA), A      ; the checksum: the frame XORs to 0
        IN A, (DISK_DATA)
        CP ANSWER_OK
        JP NZ, READ_END
        IN A, (DISK_DATA)       ; 00h
        LD BC, RECORD * 256     ; B: the count, C: the XOR of the data
READ_BYTE:
        IN A, (DISK_DATA)
        LD (HL), A
        INC HL
        XOR C
        LD C, A
        DEC B
        JP NZ, READ_BYTE
        IN A, (DISK_DATA)
        CP C
READ_END:
        POP BC
        RET

; The record after record E of track D.
NEXT_RECORD:
        INC E
        LD A, E
        CP PER_TRACK
        RET NZ
        LD E, 0
        INC D
        RET

; Record number DE from track 0 as D: track, E: record.
RECORD_TRACK:
        PUSH HL
        EX DE, HL
        LD D, 0
RT_LOOP:
        LD A, H                 ; HL >= 36?
        OR A
        JP NZ, RT_SUB
        LD A, L
        CP PER_TRACK
        JP C, RT_DONE
RT_SUB: LD A, L
        SUB PER_TRACK
        LD L, A
        LD A, H
        SBC A, 0
        LD H, A
        INC D
        JP RT_LOOP
RT_DONE:
        LD E, L
        POP HL
        RET

; --- ROM module ---

; Reads BC bytes from page DE of the module into HL.
MODULE_READ:
        CALL MODULE_PAGE
        XOR A
        LD (MLOW), A
MR_LOOP:
        LD A, B
        OR C
        RET Z
        LD A, (MLOW)
        OUT (MODULE_LOW), A
        IN A, (MODULE_DATA)
        LD (HL), A
        INC HL
        DEC BC
        LD A, (MLOW)
        INC A
        LD (MLOW), A
        JP NZ, MR_LOOP
        INC DE
        CALL MODULE_PAGE
        JP MR_LOOP

; Address bits 8-19 from page DE: E bits 0-6 to the middle port, the rest to the high port.
MODULE_PAGE:
        LD A, E
        AND 7Fh
        OUT (MODULE_MID), A
        LD A, E
        RLCA
        AND 01h
        PUSH BC
        LD B, A
        LD A, D
        ADD A, A
        OR B
        POP BC
        OUT (MODULE_HIGH), A
        RET

; --- Line input and numbers ---

; The next non-blank character at HL in A (HL points at it).
SKIP_BLANKS:
        LD A, (HL)
        CP ' '
        RET NZ
        INC HL
        JP SKIP_BLANKS

; The hexadecimal number at LINEPTR (after blanks) in HL, LINEPTR moved past it; carry set
; when no digit follows.
GET_HEX:
        PUSH DE
        LD HL, (LINEPTR)
        CALL SKIP_BLANKS
        EX DE, HL               ; DE: the text
        LD HL, 0
        LD A, (DE)
        CALL HEX_DIGIT
        JP C, GH_END
GH_LOOP:
        ADD HL, HL
        ADD HL, HL
        ADD HL, HL
        ADD HL, HL
        OR L
        LD L, A
        INC DE
        LD A, (DE)
        CALL HEX_DIGIT
        JP NC, GH_LOOP
        OR A                    ; a number was read: carry clear
GH_END: EX DE, HL
        LD (LINEPTR), HL
        EX DE, HL
        POP DE
        RET

; The value 0-15 of the hex digit A, carry set when A is none.
HEX_DIGIT:
        SUB '0'
        RET C
        CP 10
        CCF
        RET NC
        SUB 'A' - '0' - 10
        CP 10
        RET C
        CP 16
        CCF
        RET

; Reads a line into LINEBUF with echo, Backspace and a cursor; ends with Enter.
GETLINE:
        LD HL, LINEBUF
        LD B, 0
GL_KEY: CALL GETKEY
        CP CR
        JP Z, GL_END
        CP BS
        JP Z, GL_BACK
        LD C, A
        LD A, B
        CP LINE_MAX
        JP NC, GL_KEY
        LD A, C
        LD (HL), A
        INC HL
        INC B
        CALL PUTCH
        JP GL_KEY
GL_BACK:
        LD A, B
        OR A
        JP Z, GL_KEY
        DEC HL
        DEC B
        LD A, BS
        CALL PUTCH
        JP GL_KEY
GL_END: LD (HL), 0
        JP NEWLINE

; --- Keyboard ---

; Waits for a key to go down and returns its character in A.
GETKEY: PUSH BC
        PUSH DE
        PUSH HL
GK_WAIT:
        CALL SCAN
        LD HL, LASTKEY
        CP (HL)
        JP Z, GK_WAIT           ; the same key still held, or still none
        LD (HL), A
        CP NO_KEY
        JP Z, GK_WAIT
        POP HL
        POP DE
        POP BC
        RET

; The character of the first key down (columns 0-14, bits 0-4), or NO_KEY.
SCAN:   LD C, 0                 ; the column
        LD HL, KEYMAP
SCAN_COLUMN:
        LD A, C
        OUT (KEY_COLUMN), A
        IN A, (KEY_ROW)
        LD B, A
        AND 1Fh
        CP 1Fh
        JP NZ, SCAN_FOUND
        LD DE, 5
        ADD HL, DE
        INC C
        LD A, C
        CP 15
        JP NZ, SCAN_COLUMN
        LD A, NO_KEY
        RET
SCAN_FOUND:
        RRCA                    ; the lowest clear bit: its key
        JP NC, SCAN_KEY
        INC HL
        JP SCAN_FOUND
SCAN_KEY:
        LD A, (HL)              ; the key's own character
        OR A
        JP Z, SCAN_NONE
        LD C, A
        LD A, B
        AND 20h                 ; Shift held reads 0
        LD A, C
        RET NZ
        LD HL, SHIFTED          ; the shifted character, where the key has one
SCAN_SHIFT:
        LD A, (HL)
        OR A
        JP Z, SCAN_UNSHIFTED
        INC HL
        CP C
        JP Z, SCAN_SHIFTED
        INC HL
        JP SCAN_SHIFT
SCAN_SHIFTED:
        LD A, (HL)
        RET
SCAN_UNSHIFTED:
        LD A, C
        RET
SCAN_NONE:
        LD A, NO_KEY            ; a key with no character
        RET

; Characters of the keys by column (5 bits each): function keys and cursor keys give none.
KEYMAP: DB 0, '1', 'Q', 'A', ' '
        DB 0, '2', 'W', 'S', 'Y'
        DB 0, '3', 'E', 'D', 'X'
        DB 0, '4', 'R', 'F', 'C'
        DB 0, '5', 'T', 'G', 'V'
        DB 0, '6', 'Z', 'H', 'B'
        DB 0, '7', 'U', 'J', 'N'
        DB 0, '8', 'I', 'K', 'M'
        DB 0, '9', 'O', 'L', ','
        DB 0, '0', 'P', 27h, '.'
        DB 0, '-', '[', ';', '/'
        DB 0, '\', ']', '=', 0
        DB 0, 0, 0, 0, 0
        DB 0, BS, 0, 0, CR
        DB 0, 0, 0, 0, CR
; Pairs of a key's character and its character with Shift, as a PC keyboard prints them.
SHIFTED:
        DB "1!2@3#4$5%6^7&8*9(0)-_=+;:,<.>/?", 27h, 22h, 0

; --- Screen ---

; Prints the text at HL up to a NUL.
PRINT:  LD A, (HL)
        OR A
        RET Z
        CALL PUTCH
        INC HL
        JP PRINT

NEWLINE:
        LD A, CR
        ; falls through

; Prints A: CR starts a new line, Backspace steps back over a character; the cursor follows.
PUTCH:  PUSH AF
        PUSH BC
        PUSH DE
        PUSH HL
        LD C, A
        XOR A
        CALL DRAW_CURSOR        ; off
        LD A, C
        CP CR
        JP Z, PC_NEWLINE
        CP BS
        JP Z, PC_BACK
        CALL DRAW_CHAR
        LD HL, CURX
        INC (HL)
        LD A, (HL)
        CP COLUMNS
        JP C, PC_DONE
PC_NEWLINE:
        XOR A
        LD (CURX), A
        LD HL, CURY
        INC (HL)
        LD A, (HL)
        CP LINES
        JP C, PC_DONE
        DEC (HL)
        CALL SCROLL
        CALL CLEAR_LAST_LINE
        JP PC_DONE
PC_BACK:
        LD HL, CURX
        LD A, (HL)
        OR A
        JP Z, PC_DONE
        DEC (HL)
        LD C, ' '
        CALL DRAW_CHAR
PC_DONE:
        LD A, 3Fh
        CALL DRAW_CURSOR        ; on
        POP HL
        POP DE
        POP BC
        POP AF
        RET

; HL := the video address of the cursor's cell (DE is kept).
CELL_ADDRESS:
        PUSH DE
        LD A, (CURY)
        LD HL, VIDEO
        LD DE, LINE_BYTES
CA_LOOP:
        OR A
        JP Z, CA_COLUMN
        ADD HL, DE
        DEC A
        JP CA_LOOP
CA_COLUMN:
        LD A, (CURX)
        LD E, A
        LD D, 0
        ADD HL, DE
        POP DE
        RET

; The cursor bar with dots A (0: off) under the cursor's cell.
DRAW_CURSOR:
        PUSH AF
        CALL CELL_ADDRESS
        LD DE, ROW_BYTES * CURSOR_ROW
        ADD HL, DE
        POP AF
        LD (HL), A
        RET

; Character C in the cursor's cell, in the current colour.
DRAW_CHAR:
        LD A, C
        CP 'a'
        JP C, DC_UPPER
        SUB 20h                 ; lower case shows as upper case
DC_UPPER:
        SUB 20h
        CP 40h
        JP C, DC_GLYPH
        LD A, '?' - 20h
DC_GLYPH:
        LD L, A                 ; DE := FONT + 8 * glyph
        LD H, 0
        ADD HL, HL
        ADD HL, HL
        ADD HL, HL
        LD DE, FONT
        ADD HL, DE
        EX DE, HL
        CALL CELL_ADDRESS
        LD A, (COLOUR)
        LD C, A
        LD B, 8
DC_ROW: LD A, (DE)
        OR C
        LD (HL), A
        INC DE
        LD A, L
        ADD A, ROW_BYTES
        LD L, A
        JP NC, DC_NEXT
        INC H
DC_NEXT:
        DEC B
        JP NZ, DC_ROW
        RET

CLEAR_SCREEN:
        LD HL, VIDEO
        LD BC, 4000h
        XOR A
        LD (CURX), A
        LD (CURY), A
        JP FILL_ZERO

CLEAR_LAST_LINE:
        LD HL, VIDEO + (LINES - 1) * LINE_BYTES
        LD BC, LINE_BYTES
FILL_ZERO:
        LD (HL), 0
        INC HL
        DEC BC
        LD A, B
        OR C
        JP NZ, FILL_ZERO
        RET

; Builds the screen font in RAM: each glyph row mirrored so that its left dot lands in bit 0,
; and an eighth row of nothing.
MIRROR_FONT:
        LD HL, GLYPHS
        LD DE, FONT
        LD B, 64
MF_GLYPH:
        LD C, 7
MF_ROW: PUSH BC
        LD C, (HL)
        LD B, 0
        LD A, 5
MF_BIT: PUSH AF
        LD A, C
        RRA
        LD C, A
        LD A, B
        RLA
        LD B, A
        POP AF
        DEC A
        JP NZ, MF_BIT
        LD A, B
        LD (DE), A
        INC HL
        INC DE
        POP BC
        DEC C
        JP NZ, MF_ROW
        XOR A
        LD (DE), A
        INC DE
        DEC B
        JP NZ, MF_GLYPH
        RET

; Copies the scroll routine into RAM: it reads video RAM at E000h-FFFFh, where the ROM is.
COPY_SCROLL:
        LD HL, SCROLL_CODE
        LD DE, SCROLL
        LD B, SCROLL_END - SCROLL_CODE
CS_LOOP:
        LD A, (HL)
        LD (DE), A
        INC HL
        INC DE
        DEC B
        JP NZ, CS_LOOP
        RET

; Moves text lines 1-24 up by one line: the 48 shown bytes of each dot row. Runs at SCROLL.
SCROLL_CODE:
        LD A, ROM_OFF
        OUT (PPI_CONTROL), A
        LD HL, VIDEO + LINE_BYTES
        LD DE, VIDEO
        LD B, (LINES - 1) * CELL_ROWS
SC_ROW: LD C, COLUMNS / 16
SC_BLOCK:
        REPT 16
        LD A, (HL)
        LD (DE), A
        INC L
        INC E
        ENDM
        DEC C
        JP NZ, SCROLL + (SC_BLOCK - SCROLL_CODE)
        LD A, L
        ADD A, ROW_BYTES - COLUMNS
        LD L, A
        JP NC, SCROLL + (SC_SOURCE - SCROLL_CODE)
        INC H
SC_SOURCE:
        LD A, E
        ADD A, ROW_BYTES - COLUMNS
        LD E, A
        JP NC, SCROLL + (SC_DEST - SCROLL_CODE)
        INC D
SC_DEST:
        DEC B
        JP NZ, SCROLL + (SC_ROW - SCROLL_CODE)
        LD A, ROM_ON
        OUT (PPI_CONTROL), A
        RET
SCROLL_END:

; --- Hex output ---

PUT_HEX4:
        LD A, H
        CALL PUT_HEX2
        LD A, L
PUT_HEX2:
        PUSH AF
        RRCA
        RRCA
        RRCA
        RRCA
        CALL PUT_NIBBLE
        POP AF
PUT_NIBBLE:
        AND 0Fh
        ADD A, '0'
        CP '9' + 1
        JP C, PUTCH
        ADD A, 'A' - '9' - 1
        JP PUTCH

GLYPHS:
        INCLUDE "font.inc"

        DS 10000h - $, 0FFh
