# vornix_embed_program(NAME PROGRAM): an object library NAME holding the
# executable built by the target PROGRAM as the symbols vornixEditorImage
# (its bytes) and vornixEditorImageSize (a 32-bit count), the image the
# plug-in writes to /tmp and starts as its editor. The program is built first
# and its bytes are assembled in with .incbin, so nothing binary is ever
# committed and the image always matches the program of the same build.
function(vornix_embed_program name program)
  set(template ${CMAKE_CURRENT_BINARY_DIR}/${name}.in.S)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}.S)
  file(GENERATE OUTPUT ${template} CONTENT "\
  .section .rodata.vornix_editor_image,\"a\"
  .balign 16
  .globl vornixEditorImage
  .hidden vornixEditorImage
  .type vornixEditorImage, @object
vornixEditorImage:
  .incbin \"$<TARGET_FILE:${program}>\"
vornixEditorImageEnd:
  .size vornixEditorImage, vornixEditorImageEnd - vornixEditorImage
  .balign 4
  .globl vornixEditorImageSize
  .hidden vornixEditorImageSize
  .type vornixEditorImageSize, @object
vornixEditorImageSize:
  .long vornixEditorImageEnd - vornixEditorImage
  .size vornixEditorImageSize, 4
  .section .note.GNU-stack,\"\",@progbits
")
  # A fresh copy whenever the program is built again, so the image is
  # reassembled with it.
  add_custom_command(OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -E copy ${template} ${source}
    DEPENDS ${program} ${template}
    COMMENT "Embedding ${program}")
  add_library(${name} OBJECT ${source})
endfunction()
