# quendrel_widl(<idl> HEADER <h> IIDS <c> [TLB <tlb>]): compiles an IDL file with widl.
# Standard imports (oaidl.idl, ocidl.idl) come from Wine's development headers;
# stdole2.tlb for importlib comes from Wine's own 32-bit library folder.
set(QUENDREL_WIDL_INCLUDE /usr/include/wine/wine/windows)
set(QUENDREL_WIDL_TLBDIR /usr/lib/i386-linux-gnu/wine/i386-windows)

function(quendrel_widl idl)
  cmake_parse_arguments(W "" "HEADER;IIDS;TLB" "" ${ARGN})
  set(outputs ${W_HEADER} ${W_IIDS})
  set(args -I${QUENDREL_WIDL_INCLUDE} -h -H ${W_HEADER} -u -U ${W_IIDS})
  if(W_TLB)
    list(APPEND outputs ${W_TLB})
    list(APPEND args -L ${QUENDREL_WIDL_TLBDIR} -t -T ${W_TLB})
  endif()
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${QUENDREL_WIDL} ${args} ${idl}
    DEPENDS ${idl}
    COMMENT "widl ${idl}")
endfunction()
