; hello.asm: greets through the BDOS and ends by warm boot.
; Prints a line with BDOS 9, then the digits 0-9 and CR LF one character at a time with
; BDOS 2. Only 8080 instructions (written in Z80 mnemonics), so it runs on the Z80 and the
; 8080 alike. Expected output: "Hello from CP/M!" CR LF "0123456789" CR LF.

BDOS            equ 0005h
TPA_TOP         equ 0006h           ; word: the BDOS entry, the top of usable memory
C_WRITE         equ 2
C_WRITESTR      equ 9
CR              equ 13
LF              equ 10

                org 0100h
                ld hl,(TPA_TOP)     ; the stack goes just below the BDOS
                ld sp,hl
                ld de,greeting
                ld c,C_WRITESTR
                call BDOS

                ld b,'0'
digit:          ld e,b
                ld c,C_WRITE
                push bc             ; the BDOS may change every register
                call BDOS
                pop bc
                inc b
                ld a,b
                cp '9'+1
                jp nz,digit

                ld e,CR
                ld c,C_WRITE
                call BDOS
                ld e,LF
                ld c,C_WRITE
                call BDOS
                jp 0000h

greeting:       db 'Hello from CP/M!',CR,LF,'$'
