; The monitor's tape calls, on the card through the Sidecar (see tape.asm).

; RDINF: reads the tape's next 128 bytes, a header, into 10F0h.
RDINF:  PUSH BC
        PUSH HL
        LD BC, MZF_HEADER_SIZE
        LD HL, HEADER_BUF
        JR TAPE_READ

; RDDAT: reads the tape's next bytes, as many as 1102h says, to the address at 1104h.
RDDAT:  PUSH BC
        PUSH HL
        LD BC, (HEADER_BUF + MZF_SIZE)
        LD HL, (HEADER_BUF + MZF_LOAD)
TAPE_READ:
        PUSH DE
        CALL TAPE_CHECK
        JR C, _end
        CALL TAPE_HAS
        JR C, _short
_byte:  LD A, B
        OR C
        JR Z, _end                      ; carry clear
        IN A, (SIDECAR_DATA)
        LD (HL), A
        INC HL
        DEC BC
        JR _byte
_short: LD A, 1
_end:   POP DE
        POP HL
        POP BC
        RET

; Carry set and A = 2 while Shift+Break is held. Uses AF.
TAPE_CHECK:
        CALL BRKEY
        SCF
        LD A, 2
        RET Z
        OR A
        RET

; Carry unless the tape has BC more bytes to read. Uses AF, DE.
TAPE_HAS:
        PUSH HL
        PUSH BC
        CALL SC_STATUS
        AND SC_READABLE
        JR Z, _none
        LD A, SC_POSITION
        CALL SC_REPLY32
        PUSH HL
        PUSH DE
        LD A, SC_SIZE
        CALL SC_REPLY32
        EX DE, HL                       ; HL: low half of the size, DE: high half
        POP BC
        OR A
        SBC HL, BC
        EX DE, HL                       ; DE: low half of what is left
        POP BC
        SBC HL, BC                      ; high half
        POP BC
        LD A, H
        OR L                            ; 64 KiB or more left: carry clear
        JR NZ, _end
        EX DE, HL
        SBC HL, BC
        JR _end
_none:  POP BC
        SCF
_end:   POP HL
        RET

; WRINF: opens a new file on the card named after the header at 10F0h, "/NAME.MZF" with the
; name in capitals and anything but letters, digits and "-" as "_", and writes the header.
WRINF:  PUSH BC
        PUSH HL
        PUSH DE
        CALL TAPE_CHECK
        JR C, TAPE_DONE
        LD A, SC_WRITE_NEW
        CALL OPEN_HEADER_FILE
        JR C, TAPE_FAILED
        LD HL, HEADER_BUF
        LD BC, MZF_HEADER_SIZE
        CALL WRITE_BYTES
        JR TAPE_DONE

; WRDAT: writes the body that the header describes and closes the file.
WRDAT:  PUSH BC
        PUSH HL
        PUSH DE
        CALL TAPE_CHECK
        JR C, TAPE_DONE
        LD HL, (HEADER_BUF + MZF_LOAD)
        LD BC, (HEADER_BUF + MZF_SIZE)
        CALL WRITE_BYTES
        CALL NC, SC_CLOSE_FILE          ; the close writes the file out
        JR NC, TAPE_DONE
TAPE_FAILED:
        CALL SC_CLOSE_FILE
        LD A, 1
        SCF
TAPE_DONE:
        POP DE
        POP HL
        POP BC
        RET

; Writes BC bytes from HL to the open file; carry unless all arrive. Uses AF, BC, HL.
WRITE_BYTES:
        CALL SC_STATUS
        AND SC_WRITABLE
        SCF
        RET Z
_byte:  LD A, B
        OR C
        RET Z
        LD A, (HL)
        OUT (SIDECAR_DATA), A
        IN A, (SIDECAR_COMMAND)
        RLCA
        RET C                           ; the card refused it
        INC HL
        DEC BC
        JR _byte

; VERFY: reads back the file the header at 10F0h names and compares it, header and body,
; with the header buffer and memory.
VERFY:  PUSH BC
        PUSH HL
        PUSH DE
        CALL TAPE_CHECK
        JR C, TAPE_DONE
        LD A, SC_READ
        CALL OPEN_HEADER_FILE
        JR C, TAPE_DONE
        LD HL, HEADER_BUF
        LD BC, MZF_HEADER_SIZE
        CALL _compare
        LD HL, (HEADER_BUF + MZF_LOAD)
        LD BC, (HEADER_BUF + MZF_SIZE)
        CALL NC, _compare
        JR C, TAPE_FAILED
        CALL SC_CLOSE_FILE
        JR TAPE_DONE
_compare:
        CALL TAPE_HAS
        RET C
_byte:  LD A, B
        OR C
        RET Z
        IN A, (SIDECAR_DATA)
        CP (HL)
        SCF
        RET NZ
        INC HL
        DEC BC
        JR _byte

