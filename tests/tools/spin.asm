; spin.asm: announces itself through BDOS 9, then loops for ever (8080 instructions only).
                org 0100h
                ld de,message
                ld c,9
                call 0005h
spin:           jp spin
message:        db 'Spinning',13,10,'$'
