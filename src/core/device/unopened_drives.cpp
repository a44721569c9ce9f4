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

// The desktop program is Chinese: the system's own error text is English,
// so the reasons a drive does not open are said in the program's words.
std::string unopenedReasonText(int error) {
  switch (error) {
    case 0: return "不是磁盘";
    case EACCES:
    case EPERM: return "没有权限";
    case ENOENT:
    case ENODEV:
    case ENXIO: return "设备不存在或未就绪";
#ifdef ENOMEDIUM
    case ENOMEDIUM: return "没有插入介质";
#endif
    case EBUSY: return "设备正被占用";
    case EIO: return "读取出错";
    default: return "无法打开（错误号 " + std::to_string(error) + "）";
  }
}

std::string unopenedDrivesDesktopNote(const std::vector<UnopenedDrive>& drives, bool asRoot, bool canAskSystem) {
  if (drives.empty()) return "";
  std::string list;
  for (const UnopenedDrive& d : drives) list += (list.empty() ? "" : "，") + d.devicePath + "（" + unopenedReasonText(d.error) + "）";
  const bool wantRights = unopenedForWantOfRights(drives) && !asRoot;
  if (wantRights && canAskSystem)
    return std::to_string(drives.size()) + " 个驱动器尚未打开：" + list + "。" +
           "双击下面列出的驱动器，即可向系统申请读取权限（系统可能要求输入密码）。"
           "镜像文件不需要此权限，可随时用“打开镜像文件”打开。";
  std::string note = std::to_string(drives.size()) + " 个驱动器无法打开，未列出：" + list + "。";
  if (wantRights)
    note += "读取驱动器需要管理员权限：请以 root 身份启动本程序（例如 sudo -E dudorazu 或 pkexec dudorazu）。"
            "镜像文件不需要此权限，可随时用“打开镜像文件”打开。";
  return note;
}

}  // namespace dudorazu
