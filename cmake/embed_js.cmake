# Writes INPUT as a C++ string constant NAME (a std::string_view with external
# linkage) into OUTPUT.
file(READ ${INPUT} content)
string(FIND "${content}" ")__hlvn_js__\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw string delimiter")
endif()
file(WRITE ${OUTPUT}.tmp
  "#include <string_view>\n"
  "extern const std::string_view ${NAME};\n"
  "const std::string_view ${NAME} = R\"__hlvn_js__(${content})__hlvn_js__\";\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
