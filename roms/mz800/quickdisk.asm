; Booting from the Quick Disk: the Sidecar's drive behind the Z80 SIO at F4h-F7h.
;
; A Quick Disk is one spiral track, read from its start. Kestrel's disks hold, for each file:
; a gap, a run of at least three sync bytes 16h, the block mark A5h, the 128-byte MZF header,
; the program, and the 16-bit sum of the header and program bytes (low byte first). The SIO's
; hunt mode finds the sync; the first file on the disk is the one that boots.

; Starts the first file on the disk; returns when there is no disk or no program on it, or it
; cannot be loaded.
QD_BOOT:
        LD A, SIO_RESET
        OUT (SIO_A_CONTROL), A
        IN A, (SIO_A_CONTROL)           ; RR0
        AND RR0_READY
        CP RR0_READY
        RET NZ                          ; no drive, or no disk in it
        LD HL, QD_SETUP
        LD BC, QD_SETUP_B * 256 + SIO_B_CONTROL
        OTIR
        LD BC, QD_SETUP_A * 256 + SIO_A_CONTROL
        OTIR
        CALL QD_HUNT
        RET C
        LD IX, 0                        ; the sum
        LD HL, HEADER_BUF
        LD BC, MZF_HEADER_SIZE
        CALL QD_READ
        LD A, (HEADER_BUF + MZF_TYPE)
        CP TYPE_PROGRAM
        RET NZ
        LD HL, (HEADER_BUF + MZF_LOAD)
        LD BC, (HEADER_BUF + MZF_SIZE)
        CALL CHECK_AREA
        RET C
        LD DE, HEADER_BUF + MZF_NAME
        LD B, MZF_NAME_SIZE
        CALL SHOW_LOADING
        LD HL, (HEADER_BUF + MZF_LOAD)
        LD BC, (HEADER_BUF + MZF_SIZE)
        CALL QD_READ
        IN A, (SIO_A_DATA)
        LD E, A
        IN A, (SIO_A_DATA)
        LD D, A
        PUSH IX
        POP HL
        OR A
        SBC HL, DE
        JP NZ, LOAD_ERROR               ; and back to the boot code
        LD HL, (HEADER_BUF + MZF_EXEC)
        LD DE, MONITOR
        JP RUN_PROGRAM

; Register writes: channel B's DTR (the motor) dropped, which rewinds the disk, and raised
; again; channel A set to look for two sync bytes 16h.
QD_SETUP:
        DB 5, 0, 5, WR5_DTR
QD_SETUP_B      EQU $ - QD_SETUP
        DB 4, WR4_SYNC16, 6, QD_SYNC, 7, QD_SYNC
QD_SETUP_A      EQU $ - QD_SETUP - QD_SETUP_B

; Hunts for the sync, then reads past the rest of the sync run to the block mark. Carry set
; when no sync comes within QD_HUNT_POLLS status reads or no block mark follows.
; Uses AF, BC.
QD_HUNT:
        LD A, 3
        OUT (SIO_A_CONTROL), A
        LD A, WR3_HUNT
        OUT (SIO_A_CONTROL), A
        LD BC, QD_HUNT_POLLS
_poll:  IN A, (SIO_A_CONTROL)
        AND RR0_HUNT
        JR Z, _found
        DEC BC
        LD A, B
        OR C
        JR NZ, _poll
        SCF
        RET
_found: LD A, 3
        OUT (SIO_A_CONTROL), A
        LD A, WR3_RECEIVE               ; hunt over: receive the block
        OUT (SIO_A_CONTROL), A
        LD B, QD_SYNC_RUN
_skip:  IN A, (SIO_A_DATA)
        CP QD_SYNC
        JR NZ, _mark
        DJNZ _skip
        SCF
        RET
_mark:  CP QD_BLOCK_MARK
        RET Z                           ; carry clear
        SCF
        RET

; Reads BC bytes from the disk into memory at HL and adds each to IX. Uses AF, BC, DE, HL.
QD_READ:
        LD D, 0
_byte:  LD A, B
        OR C
        RET Z
        IN A, (SIO_A_DATA)
        LD (HL), A
        INC HL
        LD E, A
        ADD IX, DE
        DEC BC
        JR _byte
