# quillgate_add_resource(<target> <TYPE> <ID> <file>)
#
# Compiles <file> into <target> as a resource of type name <TYPE> and integer <ID>.
# Each resource is an ELF note (owner "Quillgate") in an allocated note section, so the
# loader maps it with the module and Platform/Resources can find it through the module's
# program headers, without exporting a symbol.
function(quillgate_add_resource target type id file)
  string(MAKE_C_IDENTIFIER "${type}_${id}" tag)
  set(asm "${CMAKE_CURRENT_BINARY_DIR}/resources/${target}_${tag}.S")
  file(CONFIGURE OUTPUT "${asm}" CONTENT [=[
/* Generated from @file@: resource "@type@" @id@. */
    .section .note.quillgate.@tag@,"a",@note
    .balign 4
    .long 10                        /* owner name size, "Quillgate" and its NUL */
    .long 2f - 1f                   /* descriptor size */
    .long 0x51474952                /* note type: Quillgate resource */
    .asciz "Quillgate"
    .balign 4
1:  .long @id@                      /* resource id */
    .long 4f - 3f                   /* size of the type name, with its NUL */
    .long 2f - 5f                   /* size of the data */
3:  .asciz "@type@"
4:  .balign 4
5:  .incbin "@file@"
2:  .balign 4
    .section .note.GNU-stack,"",@progbits
]=] @ONLY)
  set_source_files_properties("${asm}" PROPERTIES OBJECT_DEPENDS "${file}")
  target_sources(${target} PRIVATE "${asm}")
endfunction()
