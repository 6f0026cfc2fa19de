; The Sidecar's file service as the monitor's tape uses it: the command port 50h (read: the
; status flags, in a sequence that every access restarts) and the data port 51h.

; Opens "/NAME.MZF" for the header at 10F0h in open mode A; carry unless it opened.
; Uses AF, B, HL.
OPEN_HEADER_FILE:
        LD B, A
        LD A, SC_SHARP_OFF              ; the name goes in ASCII
        OUT (SIDECAR_COMMAND), A
        LD A, B
        CALL SC_OPEN_MODE
        LD A, '/'
        OUT (SIDECAR_DATA), A
        LD HL, HEADER_BUF + MZF_NAME
        LD B, MZF_NAME_SIZE - 1
_char:  LD A, (HL)
        CP CR
        JR Z, _ext
        CALL TO_UPPER
        CP '-'
        JR Z, _safe
        SUB '0'
        CP 10
        JR C, _digit
        SUB 'A' - '0'
        CP 26
        JR C, _letter
        LD A, '_' - 'A'
_letter:
        ADD A, 'A' - '0'
_digit: ADD A, '0'
_safe:  OUT (SIDECAR_DATA), A
        INC HL
        DJNZ _char
_ext:   LD HL, MZF_EXTENSION
_tail:  LD A, (HL)
        OUT (SIDECAR_DATA), A
        INC HL
        CP CR
        JR NZ, _tail
; After an open: carry unless the file is open. Sharp text mode ends. Uses AF, B.
SC_OPENED:
        IN A, (SIDECAR_COMMAND)         ; the status after the open
        LD B, A
        LD A, SC_SHARP_OFF
        OUT (SIDECAR_COMMAND), A
        LD A, B
        RLCA                            ; the error flag to carry
        RET C
        AND (SC_READABLE OR SC_WRITABLE) SHL 1
        RET NZ
        SCF
        RET

MZF_EXTENSION:  DB ".MZF", CR

; Closes whatever file is open and starts opening one in mode A; the path follows on the
; data port. Uses AF.
SC_OPEN_MODE:
        PUSH AF
        CALL SC_CLOSE_FILE
        LD A, SC_OPEN
        OUT (SIDECAR_COMMAND), A
        POP AF
        OUT (SIDECAR_DATA), A
        RET

; Moves the open file's position HL bytes on (A = SC_FORWARD) or back (SC_BACK). Uses AF.
SC_SEEK:
        PUSH AF
        LD A, SC_SEEK_FILE
        OUT (SIDECAR_COMMAND), A
        POP AF
        OUT (SIDECAR_DATA), A
        LD A, L
        OUT (SIDECAR_DATA), A
        LD A, H
        OUT (SIDECAR_DATA), A
        XOR A
        OUT (SIDECAR_DATA), A
        OUT (SIDECAR_DATA), A
        RET

; Closes the open file, carry when writing it out failed. Uses AF.
SC_CLOSE_FILE:
        LD A, SC_CLOSE
        OUT (SIDECAR_COMMAND), A
        IN A, (SIDECAR_COMMAND)
        RLCA
        RET

; The Sidecar's status flags. Uses AF.
SC_STATUS:
        LD A, 3                         ; restarts the status sequence
        OUT (SIDECAR_COMMAND), A
        IN A, (SIDECAR_COMMAND)
        RET

; Sends command A and reads its 4-byte reply: DE the low half, HL the high half. Uses AF.
SC_REPLY32:
        OUT (SIDECAR_COMMAND), A
        IN A, (SIDECAR_DATA)
        LD E, A
        IN A, (SIDECAR_DATA)
        LD D, A
        IN A, (SIDECAR_DATA)
        LD L, A
        IN A, (SIDECAR_DATA)
        LD H, A
        RET
