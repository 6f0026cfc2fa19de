; cpubench.asm: a fixed, CPU-bound Z80 workload for measuring emulator speed.
;
; Each round:
;   1. fills a 1 KiB buffer from a 16-bit Galois LFSR (taps B400h), one step per byte,
;      the byte being the low half of the state; the state carries over between rounds;
;   2. runs CRC-16/CCITT (polynomial 1021h, MSB first, bitwise) over the whole buffer;
;   3. runs CRC-32 (reflected, polynomial EDB88320h, bitwise) over the first 256 bytes,
;      the CRC register held in memory and reached through (IX+d);
;   4. multiplies the 256 words of the first half by the 256 words of the second half
;      (16 x 16 -> 32 bits, shift and add) and adds every product to a 32-bit sum;
;   5. sieves the primes below 2048 in a byte array and adds their count to a total;
;   6. copies the first 128 bytes, bubble-sorts them ascending, and runs CRC-16/CCITT over
;      the sorted bytes into a second running CRC.
; The CRCs and sums run on over all rounds (no final XOR); at the end one line is printed
; through BDOS 9:
;   CRC16 hhhh CRC32 hhhhhhhh MUL hhhhhhhh PRIMES hhhh SORT hhhh CR LF
; The output depends only on the round count, so it doubles as a correctness check.
; One round takes about 2.3 million T-states, so 1600 rounds are about 3.7 billion.
; Documented Z80 instructions only.

BDOS            equ 0005h
TPA_TOP         equ 0006h
C_WRITESTR      equ 9
CR              equ 13
LF              equ 10

BUF             equ 8000h           ; random bytes
BUF_LEN         equ 1024
SORTBUF         equ 8400h
SORT_LEN        equ 128
FLAGS           equ 8800h           ; sieve: one byte per number, nonzero = prime
SIEVE_N         equ 2048
SIEVE_ROOT      equ 45              ; largest i with i*i < SIEVE_N
FLAGS_END_HI    equ (FLAGS+SIEVE_N)/256

                org 0100h
                jp start
rounds:         dw 1600             ; fixed offset 3: the number of rounds

start:          ld hl,(TPA_TOP)
                ld sp,hl
                ld hl,(rounds)
                ld (left),hl
round:          call fill
                ld hl,(crc16)
                ld de,BUF
                ld bc,BUF_LEN
                call crc16_block
                ld (crc16),hl
                call crc32_block
                call multiply_pairs
                call sieve
                ld hl,(primes)
                add hl,de
                ld (primes),hl
                call sort
                ld hl,(sortcrc)
                ld de,SORTBUF
                ld bc,SORT_LEN
                call crc16_block
                ld (sortcrc),hl
                ld hl,(left)
                dec hl
                ld (left),hl
                ld a,h
                or l
                jp nz,round
                call report
                jp 0000h

; --- 1. Fill BUF from the LFSR --------------------------------------------------------
fill:           ld hl,(seed)
                ld de,BUF
                ld bc,BUF_LEN
fill_step:      srl h               ; shift the state right, bit 0 into carry
                rr l
                jr nc,fill_store
                ld a,h
                xor 0B4h
                ld h,a
fill_store:     ld a,l
                ld (de),a
                inc de
                dec bc
                ld a,b
                or c
                jr nz,fill_step
                ld (seed),hl
                ret

; --- 2. CRC-16/CCITT: HL = running CRC, DE = data, BC = length; returns the CRC in HL ---
crc16_block:    ld a,(de)
                xor h
                ld h,a
                inc de
                push bc
                ld b,8
crc16_bit:      add hl,hl           ; bit 15 out into carry
                jr nc,crc16_next
                ld a,h
                xor 10h
                ld h,a
                ld a,l
                xor 21h
                ld l,a
crc16_next:     djnz crc16_bit
                pop bc
                dec bc
                ld a,b
                or c
                jr nz,crc16_block
                ret

; --- 3. CRC-32 over the first 256 bytes of BUF, the register at crc32 via IX ----------
crc32_block:    ld ix,crc32
                ld de,BUF
                ld c,0              ; 256 bytes
crc32_byte:     ld a,(de)
                xor (ix+0)
                ld (ix+0),a
                inc de
                ld b,8
crc32_bit:      srl (ix+3)          ; 32-bit shift right, bit 0 into carry
                rr (ix+2)
                rr (ix+1)
                rr (ix+0)
                jr nc,crc32_next
                ld a,(ix+3)
                xor 0EDh
                ld (ix+3),a
                ld a,(ix+2)
                xor 0B8h
                ld (ix+2),a
                ld a,(ix+1)
                xor 83h
                ld (ix+1),a
                ld a,(ix+0)
                xor 20h
                ld (ix+0),a
crc32_next:     djnz crc32_bit
                dec c
                jr nz,crc32_byte
                ret

; --- 4. Sum of word products: BUF[2k..2k+1] * BUF[512+2k..512+2k+1], k = 0..255 ------
multiply_pairs: ld hl,BUF
                ld b,0              ; 256 pairs
mul_pair:       push bc
                ld e,(hl)
                inc hl
                ld d,(hl)           ; DE = first factor
                push hl
                ld bc,511
                add hl,bc
                ld c,(hl)
                inc hl
                ld b,(hl)           ; BC = second factor
                call mul16
                ld bc,(mulsum)      ; mulsum += DEHL
                add hl,bc
                ld (mulsum),hl
                ld hl,(mulsum+2)
                adc hl,de
                ld (mulsum+2),hl
                pop hl
                inc hl
                pop bc
                djnz mul_pair
                ret

; DEHL = DE * BC (unsigned). BC is kept. The product bits enter DE from below as the
; multiplier bits leave it at the top.
mul16:          ld hl,0
                ld a,16
mul16_step:     add hl,hl
                rl e
                rl d
                jr nc,mul16_next
                add hl,bc
                jr nc,mul16_next
                inc de
mul16_next:     dec a
                jr nz,mul16_step
                ret

; --- 5. Sieve of Eratosthenes below SIEVE_N; returns the number of primes in DE ---------
sieve:          ld hl,FLAGS
                ld (hl),1
                ld de,FLAGS+1
                ld bc,SIEVE_N-1
                ldir
                ld hl,FLAGS         ; 0 and 1 are not prime
                ld (hl),0
                inc hl
                ld (hl),0
                ld bc,2             ; BC = candidate
sieve_next:     ld hl,FLAGS
                add hl,bc
                ld a,(hl)
                or a
                call nz,strike
                inc c
                ld a,c
                cp SIEVE_ROOT+1
                jr c,sieve_next
                ld hl,FLAGS         ; count the survivors
                ld de,0
                ld bc,SIEVE_N
count_flag:     ld a,(hl)
                or a
                jr z,count_step
                inc de
count_step:     cpi                 ; HL up, BC down, P/V while BC is nonzero
                jp pe,count_flag
                ret

; Clears the flags of BC*BC, BC*BC+BC, ... below SIEVE_N.
strike:         ld d,b
                ld e,c
                call mul16          ; HL = BC*BC
                ld de,FLAGS
                add hl,de
strike_next:    ld a,h
                cp FLAGS_END_HI
                ret nc
                ld (hl),0
                add hl,bc
                jr strike_next

; --- 6. Bubble sort of a copy of the first SORT_LEN bytes --------------------------------
sort:           ld hl,BUF
                ld de,SORTBUF
                ld bc,SORT_LEN
                ldir
                ld b,SORT_LEN-1     ; B = comparisons in this pass
sort_pass:      push bc
                ld hl,SORTBUF
                ld c,0              ; bit 0: something moved in this pass
sort_compare:   ld a,(hl)
                inc hl
                cp (hl)
                jr z,sort_step
                call nc,swap        ; the earlier byte is the larger one
sort_step:      djnz sort_compare
                bit 0,c
                pop bc
                ret z               ; a pass without moves: sorted
                djnz sort_pass
                ret

; Exchanges (HL-1) = A and (HL).
swap:           ld d,(hl)
                ld (hl),a
                dec hl
                ld (hl),d
                inc hl
                set 0,c
                ret

; --- Report -----------------------------------------------------------------------------
report:         ld de,d_crc16
                ld hl,(crc16)
                call hex16
                ld de,d_crc32
                ld hl,(crc32+2)
                call hex16
                ld hl,(crc32)
                call hex16
                ld de,d_mul
                ld hl,(mulsum+2)
                call hex16
                ld hl,(mulsum)
                call hex16
                ld de,d_primes
                ld hl,(primes)
                call hex16
                ld de,d_sort
                ld hl,(sortcrc)
                call hex16
                ld de,line
                ld c,C_WRITESTR
                jp BDOS

; Writes HL as four hex digits at DE and advances DE.
hex16:          ld a,h
                call hex8
                ld a,l
hex8:           push af
                rrca
                rrca
                rrca
                rrca
                call hex4
                pop af
hex4:           and 0Fh             ; 0-9 -> '0'-'9', A-F -> 'A'-'F' through two DAAs
                add a,90h
                daa
                adc a,40h
                daa
                ld (de),a
                inc de
                ret

; --- Data -------------------------------------------------------------------------------
seed:           dw 0ACE1h
crc16:          dw 0FFFFh
crc32:          dw 0FFFFh,0FFFFh    ; little endian, reached through IX
mulsum:         dw 0,0              ; low word, high word
primes:         dw 0
sortcrc:        dw 0FFFFh
left:           dw 0

line:           db 'CRC16 '
d_crc16:        db '0000 CRC32 '
d_crc32:        db '00000000 MUL '
d_mul:          db '00000000 PRIMES '
d_primes:       db '0000 SORT '
d_sort:         db '0000',CR,LF,'$'
