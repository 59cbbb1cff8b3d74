# Writes a C++ source that holds the text of INPUT as the function NAME in
# namespace koa::sim. Run as: cmake -DINPUT=... -DOUTPUT=... -DNAME=... -P
file(READ "${INPUT}" text)
set(delimiter "koa_machine")
string(FIND "${text}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw string delimiter")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <string_view>\n"
  "namespace koa::sim {\n"
  "std::string_view ${NAME}() {\n"
  "  static constexpr char kText[] = R\"${delimiter}(${text})${delimiter}\";\n"
  "  return std::string_view(kText, sizeof kText - 1);\n"
  "}\n"
  "}  // namespace koa::sim\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
