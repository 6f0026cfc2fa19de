; cputype.asm: tells the 8080 from the Z80 as CP/M programs do, by what an increment leaves
; in flag bit 2: the Z80's overflow, the 8080's parity. 7Fh + 1 = 80h overflows and has odd
; parity, so JP PE is taken only on a Z80. Prints "Z80" or "8080" (8080 instructions only).
                org 0100h
                ld a,7Fh
                inc a
                ld de,z80
                jp pe,report
                ld de,i8080
report:         ld c,9
                call 0005h
                jp 0000h
z80:            db 'Z80',13,10,'$'
i8080:          db '8080',13,10,'$'
