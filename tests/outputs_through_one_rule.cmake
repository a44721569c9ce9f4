# Fails when the program creates a file for writing anywhere but in
# createCommandOutput, which asks the rule of outputProblem first (an output
# is never an input, nor on a volume an input holds), or in a save's own
# output file, whose target folder the save's start has checked. A new
# command that writes a file must go through the one rule and cannot forget it.
#   cmake -DSOURCE_DIR=<src> -P outputs_through_one_rule.cmake
cmake_minimum_required(VERSION 3.22)
file(GLOB_RECURSE files "${SOURCE_DIR}/core/*.cpp" "${SOURCE_DIR}/core/*.h" "${SOURCE_DIR}/cli/*.cpp"
     "${SOURCE_DIR}/cli/*.h" "${SOURCE_DIR}/shell/*.cpp" "${SOURCE_DIR}/widgets/*.cpp")
set(allowed "core/device/command_output.cpp" "core/recovery/output_file.cpp")
set(creates_file
    "ofstream|std::fstream|fopen[ \t]*\\([^;]*\"([wa]|r\\+)|freopen|OpenMode::CreateWrite[^,]|createExclusive[ \t]*\\(|QSaveFile|QIODevice::(WriteOnly|ReadWrite|Append)")
set(found "")
foreach(file IN LISTS files)
  file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
  if(name IN_LIST allowed)
    continue()
  endif()
  file(STRINGS "${file}" lines REGEX "${creates_file}")
  foreach(line IN LISTS lines)
    string(APPEND found "  ${name}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "files created for writing outside createCommandOutput:\n${found}")
endif()
list(LENGTH files count)
message(STATUS "${count} files, every output created through createCommandOutput")
