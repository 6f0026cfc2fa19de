; Booting from floppy drive 0: the Sidecar's WD279x controller at D8h-DFh.
;
; Sharp disks have 16 sectors of 256 bytes on each side of a track and are addressed by logical
; sector: logical sector n is sector n mod 16 + 1 of logical track n / 16, and logical track t
; is cylinder t / 2, side t mod 2. Logical sector 0 is the boot sector: 03h "IPLPRO", the name,
; then the size, load address, execution address and first logical sector of the program.

; Probes the controller as the MZ-800's boot ROM does: 5Ah written to the track register reads
; back only when drive 0 holds a disk to boot. Starts the program of a boot sector; returns when
; there is none, or it cannot be loaded.
FD_BOOT:
        LD A, 0FFh - FDC_PROBE          ; through the inverting bus
        OUT (FDC_TRACK), A
        IN A, (FDC_TRACK)
        CPL
        CP FDC_PROBE
        RET NZ
        XOR A
        OUT (FDC_IRQ_ENABLE), A         ; the loader polls
        LD A, DRIVE0_MOTOR
        OUT (FDC_SELECT), A
        LD HL, 0
        LD DE, HEADER_BUF
        LD BC, IPL_HEADER_SIZE
        CALL FD_READ
        JR C, _stop
        LD HL, HEADER_BUF
        LD DE, IPL_MARK
        LD B, IPL_MARK_SIZE
_mark:  LD A, (DE)
        CP (HL)
        JR NZ, _stop                    ; not a boot disk
        INC HL
        INC DE
        DJNZ _mark
        LD HL, (HEADER_BUF + IPL_LOAD)
        LD BC, (HEADER_BUF + IPL_SIZE)
        CALL CHECK_AREA
        JR C, _stop
        LD DE, HEADER_BUF + IPL_NAME
        LD B, IPL_NAME_SIZE
        CALL SHOW_LOADING
        LD HL, (HEADER_BUF + IPL_FIRST)
        LD DE, (HEADER_BUF + IPL_LOAD)
        LD BC, (HEADER_BUF + IPL_SIZE)
        CALL FD_READ
        JR C, _failed
        XOR A
        OUT (FDC_SELECT), A             ; motor off
        LD HL, (HEADER_BUF + IPL_EXEC)
        LD DE, MONITOR
        JP RUN_PROGRAM
_failed:
        CALL LOAD_ERROR
_stop:  XOR A
        OUT (FDC_SELECT), A
        RET

IPL_MARK:       DB 03h, "IPLPRO"
IPL_MARK_SIZE   EQU $ - IPL_MARK

; Reads BC bytes from logical sector HL on into memory at DE, one sector at a time; the rest
; of the last sector is read and dropped. Carry set when a sector cannot be found.
; Uses AF, BC, DE, HL.
FD_READ:
        LD A, B
        OR C
        RET Z                           ; carry clear
        PUSH HL
        PUSH BC
        LD A, L
        AND SECTORS_PER_TRACK - 1
        INC A
        CPL
        LD C, A                         ; the sector ID, for the bus
        LD A, L
        AND SECTORS_PER_TRACK
        JR Z, _side
        LD A, 1
_side:  OUT (FDC_SIDE), A
        LD B, 5                         ; the cylinder: logical sector / 32
_cyl:   SRL H
        RR L
        DJNZ _cyl
        LD A, L
        CPL
        OUT (FDC_DATA), A               ; where to seek
        LD A, 0FFh - FDC_SEEK
        OUT (FDC_COMMAND), A
        LD A, C
        OUT (FDC_SECTOR), A
        LD A, 0FFh - FDC_READ_SECTOR
        OUT (FDC_COMMAND), A
; The data is ready at once; one status read tells whether the sector was found. Waiting longer
; before the first byte would let the sector pass the head.
        IN A, (FDC_COMMAND)
        CPL
        AND FDC_DRQ
        POP BC
        JR Z, _fail
        LD L, 0                         ; 256 bytes
_byte:  IN A, (FDC_DATA)
        LD H, A
        LD A, B
        OR C
        JR Z, _drop
        LD A, H
        LD (DE), A
        INC DE
        DEC BC
_drop:  DEC L
        JR NZ, _byte
        POP HL
        INC HL
        JR FD_READ
_fail:  POP HL
        SCF
        RET
