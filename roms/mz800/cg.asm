; Kestrel's character generator: two sets of 256 glyphs of 8x8 dots, 4 KiB.
;
; In MZ-700 mode each character cell shows the glyph numbered by its display code, taken
; from the first set (bytes 000h-7FFh) when bit 7 of the cell's colour attribute is clear
; and from the second set (800h-FFFh) when it is set. The video chip reads the glyphs from
; the character generator RAM; the start-up code copies this ROM there.
;
; Every display code shows what the MZ-700 shows at it, so that programs that write display
; codes straight into the text VRAM look right: capitals at 01h-1Ah, digits at 20h-29h, the
; signs scattered over 2Ah-6Bh, small letters at 81h-9Ah, and the line, block, quadrant,
; card suit, shade and picture characters at their own codes (glyphs.inc lists them).
; The second set is the first with the small letters at 01h-1Ah and ghosts at 36h-39h.
;
; With JAPANESE set the Japanese generator is made instead: katakana at 81h-BFh, calendar
; kanji at D0h-DCh and the few other codes where the Japanese MZ-700 differs; its second set
; has hiragana in place of the katakana and double diagonals at 76h/77h.
; The includer defines JAPANESE and sets the origin; this file fills 4 KiB from there.

        INCLUDE font_macros.inc

CG_START        DEFL $

ALTERNATE       DEFL 0
        INCLUDE glyphs.inc
        IF $ - CG_START NE 800h
        .ERROR The first glyph set must fill exactly 2 KiB
        ENDIF

ALTERNATE       DEFL 1
        INCLUDE glyphs.inc
        IF $ - CG_START NE 1000h
        .ERROR The character generator must fill exactly 4 KiB
        ENDIF
