# Writes the C++ table of the built-in presets from the *.ffpreset files of PRESET_DIR into
# OUTPUT: one record per file, the name being the file name without its extension and the
# text the file's lines, separated by LF, without the final line break.
file(GLOB _files "${PRESET_DIR}/*.ffpreset")
list(SORT _files)
list(LENGTH _files _count)

set(_out "// Generated from engine/options/presets/*.ffpreset by GeneratePresetTable.cmake. Do not edit.\n")
string(APPEND _out "#include \"options/BuiltinPresets.h\"\n\n")
string(APPEND _out "const std::array<TOptionsPreset, ${_count}> BuiltinPresets = {{\n")
foreach(_file IN LISTS _files)
  get_filename_component(_name "${_file}" NAME_WE)
  file(READ "${_file}" _text)
  string(REPLACE "\r\n" "\n" _text "${_text}")
  string(REGEX REPLACE "\n$" "" _text "${_text}")
  string(APPEND _out "    {\"${_name}\", R\"ffpreset(${_text})ffpreset\"},\n")
endforeach()
string(APPEND _out "}};\n")

file(WRITE "${OUTPUT}" "${_out}")
