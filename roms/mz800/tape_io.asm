; The monitor's tape calls, on the card through the Sidecar (see tape.asm).

; The tape plays as a recorder plays it: each file is an information block, the 128-byte
; header, and a data block, the body. TAPE_SKIP counts the bytes from the file's position to
; the next block boundary; TAPE_AT_DATA says they are the data block of the header RDINF has
; just read.

; RDINF: reads the next information block into 10F0h, passing over the unread rest of the
; block being played, the data block of a header read before included.
RDINF:  PUSH BC
        PUSH HL
        PUSH DE
        CALL TAPE_CHECK
        JP C, TAPE_DONE
        CALL TAPE_PASS
        JP C, TAPE_DONE
        LD BC, MZF_HEADER_SIZE
        LD HL, HEADER_BUF
        CALL READ_BYTES
        JP C, TAPE_DONE
        LD HL, (HEADER_BUF + MZF_SIZE)
        LD A, 1                         ; its data block comes next
        CALL TAPE_BLOCK
        XOR A                           ; A = 0 and carry clear, as every read that succeeds
        JP TAPE_DONE

; RDDAT: reads 1102h bytes of the next data block to the address at 1104h. Right after RDINF
; that is the header's data block. Otherwise the unread rest of the block being played is
; passed over, and so is the next block when it is an information block; a block that is
; none is a data block without a header of its own, as long as the program reads.
RDDAT:  PUSH BC
        PUSH HL
        PUSH DE
        CALL TAPE_CHECK
        JP C, TAPE_DONE
        LD HL, (TAPE_SKIP)
        LD A, (TAPE_AT_DATA)
        OR A
        JR NZ, _read
        CALL TAPE_PASS
        JP C, TAPE_DONE
        CALL TAPE_PROBE
_read:  LD BC, (HEADER_BUF + MZF_SIZE)
        OR A
        SBC HL, BC                      ; what the program leaves of the block
        JR NC, _rest
        LD HL, 0                        ; it reads on past the block, as it always could
_rest:  PUSH HL
        LD HL, (HEADER_BUF + MZF_LOAD)
        CALL READ_BYTES
        POP HL
        JP C, TAPE_DONE
        XOR A
        CALL TAPE_BLOCK
        JP TAPE_DONE

; Passes over TAPE_SKIP bytes to the next block boundary; carry and A = 1 at the tape's end.
; Uses AF, BC, DE, HL.
TAPE_PASS:
        LD BC, (TAPE_SKIP)
        CALL TAPE_HAS
        JR C, TAPE_ENDED
        LD H, B
        LD L, C
        LD A, SC_FORWARD
        CALL SC_SEEK
        LD HL, 0
        XOR A
; The block boundary lies HL bytes on, the data block of the header just read when A is not
; 0. Carry clear.
TAPE_BLOCK:
        LD (TAPE_SKIP), HL
        LD (TAPE_AT_DATA), A
        OR A
        RET

; At a block boundary: an information block (type 01h-05h, a name ended by CR, a body the
; tape holds) is passed over and HL := the size of its data block; anything else stays to
; be read and HL := 1102h. Uses AF, BC, DE, HL.
TAPE_PROBE:
        LD BC, MZF_HEADER_SIZE
        CALL TAPE_HAS
        JR C, _data
        IN A, (SIDECAR_DATA)            ; the type
        DEC A
        CP 5
        SBC A, A
        LD C, A                         ; FFh for a known type
        LD DE, MZF_NAME_SIZE SHL 8      ; D counts the name, E becomes FFh at a CR
_name:  IN A, (SIDECAR_DATA)
        CP CR
        JR NZ, _char
        LD E, 0FFh
_char:  DEC D
        JR NZ, _name
        IN A, (SIDECAR_DATA)
        LD L, A
        IN A, (SIDECAR_DATA)
        LD H, A                         ; the size
        LD A, C
        AND E
        LD BC, MZF_SIZE + 2             ; the bytes read
        JR Z, _back
        PUSH HL
        LD HL, MZF_HEADER_SIZE - MZF_SIZE - 2
        LD A, SC_FORWARD
        CALL SC_SEEK
        POP BC
        CALL TAPE_HAS
        LD H, B
        LD L, C
        RET NC
        LD BC, MZF_HEADER_SIZE
_back:  LD H, B
        LD L, C
        LD A, SC_BACK
        CALL SC_SEEK
_data:  LD HL, (HEADER_BUF + MZF_SIZE)
        RET

; Reads BC bytes of the tape to HL; carry and A = 1 unless the tape holds them.
; Uses AF, BC, DE, HL.
READ_BYTES:
        CALL TAPE_HAS
        JR C, TAPE_ENDED
_byte:  LD A, B
        OR C
        RET Z                           ; carry clear
        IN A, (SIDECAR_DATA)
        LD (HL), A
        INC HL
        DEC BC
        JR _byte
TAPE_ENDED:
        LD A, 1
        SCF
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

