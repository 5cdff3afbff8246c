# Writes INPUT as a C++ string constant SAVE_BRIDGE_JS into OUTPUT.
file(READ ${INPUT} content)
string(FIND "${content}" ")__hlvn_js__\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw string delimiter")
endif()
file(WRITE ${OUTPUT}.tmp
  "#include \"app/constants.h\"\n"
  "const std::string_view SAVE_BRIDGE_JS = R\"__hlvn_js__(${content})__hlvn_js__\";\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
