# cmake -DOUTPUT=file.cpp -DNAMESPACE=ns -DSYMBOL=name -DDIR=dir -DIDS="128;129"
#       [-DLARGER="dir2x;dir3x" -DLARGER_IDS="128;129"] -P EmbedResources.cmake
#
# Writes a C++ source holding DIR/<id>.bmp for every id of IDS as bytes, and
# a klv::gui::ResourceTable named NAMESPACE::SYMBOL over them: how Linux
# libraries carry the bitmaps that Windows DLLs keep as resources. With
# LARGER, the same ids' art at 2 and 3 times the size (<dir>/<id>.png, in
# every build) hangs from the table's larger sets.

# Appends the files DIR/<id>.EXT of IDS as byte arrays named PREFIX<id> to
# body, and the table entries over them to the variable named by OUT.
function(embed_files dir ext prefix ids out)
  set(entries "")
  foreach(id IN LISTS ids)
    file(READ "${dir}/${id}.${ext}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR bytes "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
    string(REGEX REPLACE "((0x..,){24})" "\\1\n" hex "${hex}")
    string(APPEND body "const unsigned char ${prefix}${id}[${bytes}] = {\n${hex}};\n")
    string(APPEND entries "    {${id}, ${prefix}${id}, sizeof ${prefix}${id}},\n")
  endforeach()
  set(body "${body}" PARENT_SCOPE)
  set(${out} "${entries}" PARENT_SCOPE)
endfunction()

set(body "// Generated from ${DIR}; do not edit.\n#include \"gui/surface.h\"\n\nnamespace {\n")
embed_files("${DIR}" bmp kBitmap "${IDS}" entries)
list(LENGTH IDS count)
if(count GREATER 0)
  string(APPEND body "const klv::gui::EmbeddedResource kEntries[] = {\n${entries}};\n")
  set(table "kEntries, ${count}")
else()
  set(table "nullptr, 0")
endif()
set(larger "nullptr, nullptr")
list(LENGTH LARGER sets)
if(sets EQUAL 2)
  set(names "")
  set(times 2)
  foreach(dir IN LISTS LARGER)
    embed_files("${dir}" png kArt${times}x "${LARGER_IDS}" art)
    list(LENGTH LARGER_IDS artCount)
    string(APPEND body "const klv::gui::EmbeddedResource kArt${times}xEntries[] = {\n${art}};\n")
    string(APPEND body "const klv::gui::ResourceTable kArt${times}x = {kArt${times}xEntries, ${artCount}};\n")
    list(APPEND names "&kArt${times}x")
    math(EXPR times "${times} + 1")
  endforeach()
  list(JOIN names ", " larger)
endif()
string(APPEND body "}  // namespace\n\n")
string(APPEND body "namespace ${NAMESPACE} {\nextern const klv::gui::ResourceTable ${SYMBOL};\n")
string(APPEND body "const klv::gui::ResourceTable ${SYMBOL} = {${table}, {${larger}}};\n}\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
