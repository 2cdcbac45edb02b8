# cmake -DOUTPUT=file.cpp -DNAMESPACE=ns -DSYMBOL=name -DDIR=dir -DIDS="128;129" -P EmbedResources.cmake
#
# Writes a C++ source holding DIR/<id>.bmp for every id as bytes, and a
# klv::gui::ResourceTable named NAMESPACE::SYMBOL over them: how Linux
# libraries carry the bitmaps that Windows DLLs keep as resources.
set(body "// Generated from ${DIR}; do not edit.\n#include \"gui/surface.h\"\n\nnamespace {\n")
set(entries "")
foreach(id IN LISTS IDS)
  file(READ "${DIR}/${id}.bmp" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR bytes "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" hex "${hex}")
  string(APPEND body "const unsigned char kBitmap${id}[${bytes}] = {\n${hex}};\n")
  string(APPEND entries "    {${id}, kBitmap${id}, sizeof kBitmap${id}},\n")
endforeach()
list(LENGTH IDS count)
if(count GREATER 0)
  string(APPEND body "const klv::gui::EmbeddedResource kEntries[] = {\n${entries}};\n}  // namespace\n\n")
  set(table "kEntries, ${count}")
else()
  string(APPEND body "}  // namespace\n\n")
  set(table "nullptr, 0")
endif()
string(APPEND body "namespace ${NAMESPACE} {\nextern const klv::gui::ResourceTable ${SYMBOL};\n")
string(APPEND body "const klv::gui::ResourceTable ${SYMBOL} = {${table}};\n}\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
