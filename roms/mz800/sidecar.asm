; The L command of the monitor: a program file from the card, read through the Sidecar's file
; service.
;
; The Sidecar answers at 50h (commands; read: the status flags) and 51h (data). A command's
; arguments follow on the data port, strings ended by CR; with a file open and no command
; running, each read of the data port is the file's next byte. The file is an MZF file: the
; 128-byte header (type, name, size, load and execution address), then the program.

; L name: opens the file, checks the header, loads the program and runs it with the command
; loop as its return address.
CMD_LOAD:
        CALL SKIP_SPACES
        CP CR
        JP Z, ERROR                     ; no name
        LD A, SC_CLOSE                  ; whatever a program left open
        OUT (SIDECAR_COMMAND), A
        LD A, SC_SHARP_ON               ; the name is in the MZ's code, small letters too
        OUT (SIDECAR_COMMAND), A
        LD A, SC_OPEN
        OUT (SIDECAR_COMMAND), A
        LD A, SC_READ
        OUT (SIDECAR_DATA), A
        LD A, '/'
        CP (HL)
        JR Z, _name
        OUT (SIDECAR_DATA), A           ; from the card's top
_name:  LD A, (HL)
        OUT (SIDECAR_DATA), A
        INC HL
        CP CR
        JR NZ, _name
        IN A, (SIDECAR_COMMAND)         ; the status after the open
        LD B, A
        LD A, SC_SHARP_OFF
        OUT (SIDECAR_COMMAND), A
        LD A, B
        AND SC_ERROR | SC_READABLE
        CP SC_READABLE
        JR NZ, _missing

; The file must hold the header and as many bytes as the header announces.
        LD A, SC_SIZE
        OUT (SIDECAR_COMMAND), A
        IN A, (SIDECAR_DATA)
        LD E, A
        IN A, (SIDECAR_DATA)
        LD D, A
        IN A, (SIDECAR_DATA)
        LD B, A
        IN A, (SIDECAR_DATA)
        OR B
        JR NZ, _bad                     ; 64 KiB or more
        PUSH DE
        LD HL, HEADER_BUF
        LD BC, MZF_HEADER_SIZE * 256 + SIDECAR_DATA
        INIR
        POP HL
        LD DE, MZF_HEADER_SIZE
        OR A
        SBC HL, DE
        JR C, _bad
        LD BC, (HEADER_BUF + MZF_SIZE)
        OR A
        SBC HL, BC
        JR C, _bad
        LD A, (HEADER_BUF + MZF_TYPE)
        CP TYPE_PROGRAM
        JR NZ, _bad
        LD HL, (HEADER_BUF + MZF_LOAD)
        CALL CHECK_AREA
        JR C, _bad

        LD DE, HEADER_BUF + MZF_NAME
        LD B, MZF_NAME_SIZE
        CALL SHOW_LOADING
        LD HL, (HEADER_BUF + MZF_LOAD)
        LD BC, (HEADER_BUF + MZF_SIZE)
_byte:  LD A, B
        OR C
        JR Z, _loaded
        IN A, (SIDECAR_DATA)
        LD (HL), A
        INC HL
        DEC BC
        JR _byte
_loaded:
        LD A, SC_CLOSE
        OUT (SIDECAR_COMMAND), A
        LD HL, (HEADER_BUF + MZF_EXEC)
        LD DE, COMMAND_LOOP
        JP RUN_PROGRAM

_missing:
        LD DE, NOT_FOUND
        CALL MSG
        CALL LETNL
        JP COMMAND_LOOP
_bad:   LD A, SC_CLOSE
        OUT (SIDECAR_COMMAND), A
        CALL LOAD_ERROR
        JP COMMAND_LOOP

NOT_FOUND:      DB "FILE NOT FOUND", CR
