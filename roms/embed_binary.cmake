# Writes a C++ source that defines one ROM image of rom_images.h as a std::array, from one
# or more pieces of binary files. Run at build time:
#
#   cmake -P embed_binary.cmake -- NAME SIZE OUTPUT FILE OFFSET LENGTH [FILE OFFSET LENGTH]...
#
# LENGTH END takes the rest of the file. The pieces are joined in order; the build fails
# unless every piece lies inside its file and together they make exactly SIZE bytes, so a
# piece taken to END also checks the size of its file.

set(args)
set(seen_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(n RANGE 0 ${last})
  if(seen_separator)
    list(APPEND args "${CMAKE_ARGV${n}}")
  elseif(CMAKE_ARGV${n} STREQUAL "--")
    set(seen_separator TRUE)
  endif()
endforeach()

list(LENGTH args count)
math(EXPR unpaired "(${count} - 3) % 3")
if(count LESS 6 OR NOT unpaired EQUAL 0)
  message(FATAL_ERROR "usage: cmake -P embed_binary.cmake -- NAME SIZE OUTPUT FILE OFFSET LENGTH...")
endif()
list(POP_FRONT args name size output)

set(hex "")
set(sources "")
while(args)
  list(POP_FRONT args file offset length)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${name}: ${file} does not exist")
  endif()
  file(SIZE "${file}" file_size)
  if(length STREQUAL "END")
    math(EXPR length "${file_size} - ${offset}")
  endif()
  math(EXPR piece_end "${offset} + ${length}")
  if(piece_end GREATER file_size)
    message(FATAL_ERROR "${name}: ${file} has ${file_size} bytes, the piece needs ${piece_end}")
  endif()
  file(READ "${file}" piece OFFSET ${offset} LIMIT ${length} HEX)
  string(APPEND hex "${piece}")
  get_filename_component(file_name "${file}" NAME)
  string(APPEND sources " ${file_name}[${offset}+${length}]")
endwhile()

string(LENGTH "${hex}" digits)
math(EXPR bytes "${digits} / 2")
if(NOT bytes EQUAL size)
  message(FATAL_ERROR "${name}: the pieces make ${bytes} bytes, the image must have ${size}")
endif()

# 16 bytes per line.
set(body "")
set(position 0)
while(position LESS digits)
  string(SUBSTRING "${hex}" ${position} 32 line)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," line "${line}")
  string(APPEND body "    ${line}\n")
  math(EXPR position "${position} + 32")
endwhile()

file(WRITE "${output}"
  "// Generated at build time by roms/embed_binary.cmake from${sources}.\n"
  "#include \"roms/rom_images.h\"\n\n"
  "std::array<uint8_t, ${size}> ${name} = {{\n"
  "${body}"
  "}};\n")
