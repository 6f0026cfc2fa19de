; Kestrel's MZ-800 system ROM, 16 KiB, as the machine sees it:
;
;   0000h-0FFFh  monitor               (offset 0000h of the image)
;   1000h-1FFFh  character generator   (offset 1000h)
;   E000h-FFFFh  boot ROM              (offset 2000h)
;
; The monitor is monitor.asm, which places sound.asm, its tape (tape.asm, tape_io.asm,
; sidecar.asm) and the character code table around the MZ-700's fixed addresses; the boot
; ROM is boot.asm with its boot devices in floppy.asm and quickdisk.asm.
;
; Assembled as one program so that the parts can call each other. pasmo writes the whole
; 64 KiB address space; the build cuts the three parts out of it.

; Fills with FFh up to the address; stops the build if the code before it is too long.
PAD_TO  MACRO address
        IF $ GT address
        .ERROR Code runs past a fixed address
        ELSE
        DS address - $, 0FFh
        ENDIF
        ENDM

        INCLUDE hardware.inc

        ORG 0000h
        INCLUDE monitor.asm
        PAD_TO 1000h

JAPANESE EQU 0
        INCLUDE cg.asm

        ORG 0E000h
        INCLUDE boot.asm
        INCLUDE floppy.asm
        INCLUDE quickdisk.asm
        IF $ LT 0E000h
        .ERROR The boot ROM runs past FFFFh
        ENDIF
        DS 0FFFFh - $ + 1, 0FFh
