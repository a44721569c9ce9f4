#include "core/device/source_path.h"

#include <filesystem>
#include <system_error>

namespace dudorazu {

std::string canonicalSource(const std::string& text) {
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(text, error);
  return error || text.empty() ? text : resolved.string();
}

}  // namespace dudorazu
