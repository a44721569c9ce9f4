# Fails when a file of the core includes an operating system's own header or
# calls the system directly (some calls are declared by standard headers
# too): such calls belong behind the interfaces in src/platform, so that
# another backend can be added without touching the core.
# The interfaces in src/platform (not its backend folders) and the desktop
# program's windows and widgets are held to the same rule. And no header of
# src/platform, interface or backend, includes the core: the core builds on
# the platform, never the other way round.
#   cmake -DSOURCE_DIR=<src> -P core_system_headers.cmake
file(GLOB_RECURSE files "${SOURCE_DIR}/core/*.h" "${SOURCE_DIR}/core/*.cpp")
file(GLOB interfaces "${SOURCE_DIR}/platform/*.h")
file(GLOB_RECURSE windows "${SOURCE_DIR}/shell/*.h" "${SOURCE_DIR}/shell/*.cpp" "${SOURCE_DIR}/widgets/*.h"
     "${SOURCE_DIR}/widgets/*.cpp")
list(APPEND files ${interfaces} ${windows})
set(system_header
    "#[ \t]*include[ \t]*[<\"](sys/|linux/|asm/|bits/|netinet/|arpa/|unistd\\.h|fcntl\\.h|dirent\\.h|termios\\.h|poll\\.h|pthread\\.h|dlfcn\\.h|signal\\.h|mntent\\.h|libgen\\.h|pwd\\.h|grp\\.h|windows\\.h|winioctl\\.h|io\\.h|direct\\.h)")
set(system_call
    "(^|[^A-Za-z0-9_.>:])(::)?(realpath|statvfs|utimensat|futimens|renameat2|opendir|readdir|ioctl|isatty|geteuid|getuid|sysconf|mmap|copy_file_range|sendfile|lseek|ftruncate|fsync|fdatasync|pread|pwrite|readlink|symlink|fcntl|CreateFile[AW]?|DeviceIoControl)[ \t]*\\(|(^|[^A-Za-z0-9_])::(open|close|read|write|stat|lstat|fstat|mkdir|rmdir|link|unlink|access|rename|dup)[ \t]*\\(")
set(found "")
foreach(file IN LISTS files)
  file(STRINGS "${file}" lines REGEX "${system_header}|${system_call}")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
    string(APPEND found "  ${name}: ${line}\n")
  endforeach()
endforeach()
file(GLOB_RECURSE platform_headers "${SOURCE_DIR}/platform/*.h")
set(core_include "#[ \t]*include[ \t]*[<\"]core/")
set(upward "")
foreach(file IN LISTS platform_headers)
  file(STRINGS "${file}" lines REGEX "${core_include}")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
    string(APPEND upward "  ${name}: ${line}\n")
  endforeach()
endforeach()
if(upward)
  message(FATAL_ERROR "a platform header includes the core, which builds on the platform; "
                      "move what both need into src/platform:\n${upward}")
endif()

list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources found under ${SOURCE_DIR}/core")
endif()
if(found)
  message(FATAL_ERROR "the core or a window asks the system itself; move these calls behind src/platform:\n${found}")
endif()
message(STATUS "${count} files of the core, the windows and the platform interfaces, none asks the system itself")
