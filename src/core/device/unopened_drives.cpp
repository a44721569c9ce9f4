#include "core/device/unopened_drives.h"

#include <cerrno>
#include <cstring>

namespace dudorazu {

std::string unopenedDrivesList(const std::vector<UnopenedDrive>& drives) {
  std::string list;
  for (const UnopenedDrive& d : drives)
    list += (list.empty() ? "" : ", ") + d.devicePath + " (" + (d.error != 0 ? std::strerror(d.error) : "not a disk") + ")";
  return list;
}

bool unopenedForWantOfRights(const std::vector<UnopenedDrive>& drives) {
  for (const UnopenedDrive& d : drives)
    if (d.error == EACCES || d.error == EPERM) return true;
  return false;
}

std::string unopenedDrivesNote(const std::vector<UnopenedDrive>& drives, bool asRoot) {
  if (drives.empty()) return "";
  std::string note = std::to_string(drives.size()) + " drive(s) left out, they could not be opened: " + unopenedDrivesList(drives);
  if (unopenedForWantOfRights(drives) && !asRoot)
    note += "\nreading drives needs root: run dudorazu-cli as root (for example with sudo) to see them; "
            "image files can be opened with --image";
  return note;
}

std::string unopenedDrivesDesktopNote(const std::vector<UnopenedDrive>& drives, bool asRoot) {
  if (drives.empty()) return "";
  std::string note = std::to_string(drives.size()) + " 个驱动器无法打开，未列出：" + unopenedDrivesList(drives) + "。";
  if (unopenedForWantOfRights(drives) && !asRoot)
    note += "读取驱动器需要管理员权限：请以 root 身份启动本程序（例如 sudo -E dudorazu 或 pkexec dudorazu）。"
            "镜像文件不需要此权限，可随时用“打开镜像文件”打开。";
  return note;
}

}  // namespace dudorazu
