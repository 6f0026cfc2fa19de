; Kestrel's Japanese character generator, 4 KiB: the standard one with katakana.
JAPANESE EQU 1
        ORG 0
        INCLUDE cg.asm
