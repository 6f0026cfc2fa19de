; Kestrel's character generator: two sets of 256 glyphs of 8x8 dots, 4 KiB.
;
; In MZ-700 mode each character cell shows the glyph numbered by its display code, taken
; from the first set (bytes 000h-7FFh) when bit 7 of the cell's colour attribute is clear
; and from the second set (800h-FFFh) when it is set. The video chip reads the glyphs from
; the character generator RAM; the start-up code copies this ROM there.
;
; The letters, digits and common signs sit at the display codes of the MZ-700, so that
; programs written for it show text correctly. The rest is Kestrel's own:
;
;   First set                                   Second set
;   00h       space                             00h       space
;   01h-1Ah   A-Z                               01h-1Ah   a-z
;   1Bh-1Fh   [ \ ] ^ _                         1Bh-3Fh   as in the first set
;   20h-29h   0-9                               40h-7Fh   sextant blocks
;   2Ah-3Fh   ! " # $ % & ' ( ) * + , - . /     80h-FFh   00h-7Fh in reverse video
;             : ; < = > ? @
;   40h-44h   ` { | } ~
;   45h-54h   arrows, pound, degree, pi, card suits, disc, ring, divide, times, plus-minus
;   55h-5Fh   line drawing: cross, horizontal, vertical, 4 corners, 4 tees
;   60h-6Fh   quadrant blocks
;   70h-7Eh   bars from the bottom and from the left; 7Fh checkerboard
;   80h       middle dot
;   81h-9Ah   a-z
;   9Bh-9Fh   triangles, hollow square
;   A0h-AFh   thin lines
;   B0h-BAh   diagonals, half-cell triangles, shades, stripes
;   BBh-BFh   rounded corners, small square
;   C0h-FFh   00h-3Fh in reverse video
;
; With JAPANESE set the first set has katakana at 81h-AEh and a voicing mark at AFh in
; place of the small letters, triangles and thin lines: the Japanese generator.
; The includer defines JAPANESE and sets the origin; this file fills 4 KiB from there.

        INCLUDE font_macros.inc

CG_START        DEFL $

; ---- First set -------------------------------------------------------------------------

        BLANK                                   ; 00h
        INCLUDE glyphs_upper.inc                ; 01h-1Ah
        INCLUDE glyphs_punctuation.inc          ; 1Bh-3Fh
        INCLUDE glyphs_symbols.inc              ; 40h-54h

        ;   left, right, up, down
        BOX 1, 1, 1, 1                          ; 55h cross
        BOX 1, 1, 0, 0                          ; 56h horizontal
        BOX 0, 0, 1, 1                          ; 57h vertical
        BOX 0, 1, 0, 1                          ; 58h top left corner
        BOX 1, 0, 0, 1                          ; 59h top right corner
        BOX 0, 1, 1, 0                          ; 5Ah bottom left corner
        BOX 1, 0, 1, 0                          ; 5Bh bottom right corner
        BOX 0, 1, 1, 1                          ; 5Ch tee to the right
        BOX 1, 0, 1, 1                          ; 5Dh tee to the left
        BOX 1, 1, 0, 1                          ; 5Eh tee downwards
        BOX 1, 1, 1, 0                          ; 5Fh tee upwards

        QUADRANTS                               ; 60h-6Fh
        BARS                                    ; 70h-7Eh
        CHECKER                                 ; 7Fh

; 80h middle dot
        ROW %00000000
        ROW %00000000
        ROW %00000000
        ROW %00011000
        ROW %00011000
        ROW %00000000
        ROW %00000000
        ROW %00000000

        IF JAPANESE
        INCLUDE glyphs_kana.inc                 ; 81h-AFh
        ELSE
        INCLUDE glyphs_lower.inc                ; 81h-9Ah

; 9Bh triangle up
        ROW %00000000
        ROW %00010000
        ROW %00111000
        ROW %01111100
        ROW %11111110
        ROW %00000000
        ROW %00000000
        ROW %00000000

; 9Ch triangle down
        ROW %00000000
        ROW %00000000
        ROW %11111110
        ROW %01111100
        ROW %00111000
        ROW %00010000
        ROW %00000000
        ROW %00000000

; 9Dh triangle left
        ROW %00000100
        ROW %00001100
        ROW %00011100
        ROW %00111100
        ROW %00011100
        ROW %00001100
        ROW %00000100
        ROW %00000000

; 9Eh triangle right
        ROW %01000000
        ROW %01100000
        ROW %01110000
        ROW %01111000
        ROW %01110000
        ROW %01100000
        ROW %01000000
        ROW %00000000

; 9Fh hollow square
        ROW %00000000
        ROW %01111110
        ROW %01000010
        ROW %01000010
        ROW %01000010
        ROW %01000010
        ROW %01111110
        ROW %00000000

        LINES                                   ; A0h-AFh
        ENDIF

        DIAGONALS                               ; B0h-BAh

; BBh rounded corner, right and down
        ROW %00000000
        ROW %00000000
        ROW %00000000
        ROW %00000111
        ROW %00001000
        ROW %00010000
        ROW %00010000
        ROW %00010000

; BCh rounded corner, left and down
        ROW %00000000
        ROW %00000000
        ROW %00000000
        ROW %11000000
        ROW %00100000
        ROW %00010000
        ROW %00010000
        ROW %00010000

; BDh rounded corner, left and up
        ROW %00010000
        ROW %00010000
        ROW %00100000
        ROW %11000000
        ROW %00000000
        ROW %00000000
        ROW %00000000
        ROW %00000000

; BEh rounded corner, right and up
        ROW %00010000
        ROW %00010000
        ROW %00001000
        ROW %00000111
        ROW %00000000
        ROW %00000000
        ROW %00000000
        ROW %00000000

; BFh small square
        ROW %00000000
        ROW %00000000
        ROW %00111100
        ROW %00111100
        ROW %00111100
        ROW %00111100
        ROW %00000000
        ROW %00000000

INVERT  DEFL 0FFh                               ; C0h-FFh: 00h-3Fh in reverse video
        BLANK
        INCLUDE glyphs_upper.inc
        INCLUDE glyphs_punctuation.inc
INVERT  DEFL 0

        IF $ - CG_START NE 800h
        .ERROR The first glyph set must fill exactly 2 KiB
        ENDIF

; ---- Second set ------------------------------------------------------------------------

        BLANK                                   ; 00h
        INCLUDE glyphs_lower.inc                ; 01h-1Ah
        INCLUDE glyphs_punctuation.inc          ; 1Bh-3Fh
        SEXTANTS                                ; 40h-7Fh

INVERT  DEFL 0FFh                               ; 80h-FFh: 00h-7Fh in reverse video
        BLANK
        INCLUDE glyphs_lower.inc
        INCLUDE glyphs_punctuation.inc
        SEXTANTS
INVERT  DEFL 0

        IF $ - CG_START NE 1000h
        .ERROR The character generator must fill exactly 4 KiB
        ENDIF
