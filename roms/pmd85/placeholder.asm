; Stand-in PMD 85 ROM, 8 KiB, until Kestrel has its own PMD 85 monitor.
; The 8080 starts at 0000h; this keeps interrupts off and halts for good.
; Only 8080 instructions (the build assembles it with pasmo --w8080).

        ORG 0000h
        DI
STOP:   HALT
        JP STOP                         ; only reached if something wakes the CPU
        DS 2000h - $, 0FFh
