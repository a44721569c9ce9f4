#pragma once
// Questions and changes about paths: what a path is, where it really
// leads, free room, folders, renames and file times. Paths are UTF-8 text
// with "/" between components.
#include <cstdint>
#include <ctime>
#include <string>

namespace dudorazu::platform {

// What a path names, after following links; Missing also when it cannot be
// asked. Other: a FIFO, socket or character device.
enum class PathKind { Missing, RegularFile, BlockDevice, Folder, Other };
PathKind pathKind(const std::string& path);

// The absolute path with every link and "." or ".." resolved; empty when
// the path does not lead anywhere.
std::string canonicalPath(const std::string& path);

// Free bytes available to this user on the file system holding `path`;
// false when it cannot be asked.
bool freeBytesAvailable(const std::string& path, uint64_t& freeBytes);

// Makes one folder (its parent must exist); true only when this call made it.
bool makeFolder(const std::string& path);

// Makes `folder` and its missing parents (unless `create` is false) and
// tells whether files can be made in it: an empty text when they can, else
// why not.
std::string folderProblem(const std::string& folder, bool create);

// Renames `from` to `to` without ever replacing a file at `to`.
enum class RenameOutcome { Renamed, NameTaken, Failed };
RenameOutcome renameNoReplace(const std::string& from, const std::string& to);

// Renames `from` to `to`, replacing what `to` held in one step; false when
// the rename failed (`from` is then left as it was).
bool replaceFile(const std::string& from, const std::string& to);

// Sets the modification and access time of `path`; false when the target
// refuses.
bool setFileTimes(const std::string& path, std::time_t when);

// True when the system gives the file name `component` a meaning of its own
// (a device name such as CON or NUL.txt on Windows), so that a file saved
// under it would be hard to open, move or delete.
bool reservedFileName(const std::string& component);

// Reads the local time zone once for the rest of the run, where the system
// would otherwise look at its zone file again for every time converted (a
// save of a million files converts a million times). Front ends call it
// first thing; the zone is the one the system would have used.
void settleLocalTimeZone();

}  // namespace dudorazu::platform
