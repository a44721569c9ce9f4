#pragma once
// The Linux side of diskInUse, with the kernel's views as parameters so
// tests can hand in a made-up sysfs tree and mountinfo.
#include <string>

namespace dudorazu::platform {

// diskInUse(path), reading mounts from `mountinfo` and the block devices
// from `sysRoot` (normally /proc/self/mountinfo and /sys).
bool diskInUse(const std::string& path, const std::string& mountinfo, const std::string& sysRoot);

}  // namespace dudorazu::platform
