; Sound and time of the monitor: the bell, the tone, melodies and the clock.
;
; Counter 0 of the 8253 makes the sound, a square wave of the dot clock / 16 divided by its
; count, heard while the gate at E008h is open. Counters 1 and 2 are the clock: counter 1
; turns the line rate into one pulse a second, counter 2 counts the seconds of the half day
; down from 43200 and asks for the interrupt at zero (port C bit 2 lets it through).

; BELL: counter 0 as a square wave of 880 Hz for 0.2 s. Keeps all registers.
BELL:   PUSH AF
        PUSH BC
        PUSH HL
        LD HL, BELL_COUNT
        CALL TONE_ON
        LD BC, BELL_LOOPS
        CALL DELAY
        CALL MSTP
        POP HL
        POP BC
        POP AF
        RET

; MSTA: starts the tone whose counter 0 divisor is at 11A1h. Keeps all but AF.
MSTA:   PUSH HL
        LD HL, (TONE_DIVISOR)
        CALL TONE_ON
        POP HL
        RET

; Sounds counter 0 with divisor HL. Uses AF.
TONE_ON:
        LD A, 36h                       ; counter 0, low byte then high byte, mode 3
        LD (PIT_CONTROL), A
        LD A, L
        LD (PIT_COUNTER0), A
        LD A, H
        LD (PIT_COUNTER0), A
        LD A, 1
        LD (SOUND_GATE), A
        RET

; XTEMP: the tempo of melodies, A = 1 (slowest) to 7 (fastest); 0 counts as 1 and more than
; 7 as 7. Keeps all registers.
XTEMP:  PUSH AF
        OR A
        JR NZ, _low
        INC A
_low:   CP 8
        JR C, _set
        LD A, 7
_set:   LD (TEMPO), A
        POP AF
        RET

; MELDY: plays the melody at (DE), ended by CR or C8h. Each note is an optional octave sign
; ("-" low, "+" high, none the middle one from middle C), an optional "#" (sharp), the name
; C D E F G A B or R (a rest) and an optional length digit 0-9 (1/32 note to whole note);
; without a digit a note is as long as the one before. Other characters are skipped.
; Returns carry clear at the end, carry set when Shift+Break stopped it. Uses AF.
MELDY:  PUSH BC
        PUSH DE
        PUSH HL
_note:  CALL BRKEY
        JP Z, _break
        LD A, (DE)
        CP CR
        JP Z, _end
        CP 0C8h
        JP Z, _end
        LD C, 1                         ; octave above the lowest
        CP '-'
        JR NZ, _high
        DEC C
        JR _sign
_high:  CP '+'
        JR NZ, _sharp
        INC C
_sign:  INC DE
        LD A, (DE)
_sharp: LD B, 0                         ; semitones above the name
        CP '#'
        JR NZ, _name
        INC B
        INC DE
        LD A, (DE)
_name:  INC DE
        LD HL, NOTE_NAMES
_find:  CP (HL)
        JR Z, _found
        INC HL
        INC HL
        BIT 7, (HL)
        JR Z, _find
        JR _note                        ; not a note
_found: INC HL
        LD A, (HL)
        ADD A, B
        LD B, A                         ; semitone, FFh for a rest
        LD A, (DE)
        SUB '0'
        CP 10
        JR NC, _sound                   ; no length: the last one
        INC DE
        LD HL, NOTE_LENGTHS
        CALL ADD_HL_A
        LD A, (HL)
        LD (NOTE_UNITS), A
_sound: LD A, B
        INC A
        JR Z, _wait                     ; a rest
        LD HL, DIVISORS - 2
        CALL TABLE_WORD
        INC C
_octave:
        DEC C
        JR Z, _play
        SRL H                           ; an octave up halves the divisor
        RR L
        JR _octave
_play:  CALL TONE_ON
_wait:  LD A, (NOTE_UNITS)
        LD C, A
_unit:  LD A, (TEMPO)
        LD HL, UNIT_LOOPS - 2
        CALL TABLE_WORD
        PUSH BC
        LD B, H
        LD C, L
        CALL DELAY
        POP BC
        CALL BRKEY
        JR Z, _break
        DEC C
        JR NZ, _unit
        CALL MSTP
        JP _note
_break: SCF
_end:   PUSH AF
        CALL MSTP
        POP AF
        POP HL
        POP DE
        POP BC
        RET

; Each name and its semitones above C; a rest has FFh.
NOTE_NAMES:
        DB 'C', 0, 'D', 2, 'E', 4, 'F', 5, 'G', 7, 'A', 9, 'B', 11, 'R', 0FFh, 80h
; Counter 0 divisors of C to C an octave up, from the C below middle C (130.8 Hz).
DIVISORS:
        DW 8473, 7998, 7549, 7125, 6725, 6348, 5991, 5655, 5338, 5038, 4755, 4489, 4237
; Note lengths of the digits 0-9 in 1/32 notes.
NOTE_LENGTHS:
        DB 1, 2, 3, 4, 6, 8, 12, 16, 24, 32
; DELAY counts of a 1/32 note at tempo 1 to 7: 1/4 s divided by the tempo.
UNIT_LOOPS:
        DW 34105, 17052, 11368, 8526, 6821, 5684, 4872

; TIMST: sets the clock to A (0 morning, 1 afternoon) and DE seconds (below 43200) and starts
; it. Uses AF.
TIMST:  DI
        PUSH HL
        AND 1
        LD (CLOCK_PM), A
        LD HL, HALF_DAY
        OR A
        SBC HL, DE                      ; counter 2 counts the seconds left
        LD A, 0B0h                      ; counter 2, low byte then high byte, mode 0
        LD (PIT_CONTROL), A
        LD A, L
        LD (PIT_COUNTER2), A
        LD A, H
        LD (PIT_COUNTER2), A
        LD A, PC2_SET                   ; the interrupt at zero
        LD (PPI_CONTROL), A
        POP HL
        EI
        RET

; TIMRD: the clock, A = 0 morning or 1 afternoon, DE = seconds since its start.
TIMRD:  DI
        PUSH HL
        LD HL, PIT_COUNTER2
        LD E, (HL)
        LD D, (HL)
        LD HL, HALF_DAY
        OR A
        SBC HL, DE
        EX DE, HL
        LD A, (CLOCK_PM)
        POP HL
        EI
        RET
