// The Windows backend's own rules: paths handed to Win32, long paths.
#include <gtest/gtest.h>

#include "platform/windows/windows_paths.h"

namespace dudorazu::platform {
namespace {

TEST(WindowsPaths, ExtendedFormsAndBack) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"C:\\a\\b", L"\\\\?\\C:\\a\\b"},
      {L"C:/a/b/", L"\\\\?\\C:\\a\\b"},
      {L"C:\\", L"\\\\?\\C:\\"},
      {L"C:\\a\\.\\b\\..\\c", L"\\\\?\\C:\\a\\c"},
      {L"C:\\..\\..\\a", L"\\\\?\\C:\\a"},
      {L"\\\\server\\share\\x\\..\\..\\y", L"\\\\?\\UNC\\server\\share\\y"},
      {L"\\\\?\\C:\\already", L"\\\\?\\C:\\already"},
      {L"\\\\.\\PhysicalDrive3", L"\\\\.\\PhysicalDrive3"},
      {L"relative\\x", L"relative\\x"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(extendedPath(in), out) << narrow(in);
  EXPECT_EQ(corePath(L"\\\\?\\C:\\x\\y"), "C:\\x\\y");
  EXPECT_EQ(corePath(L"\\\\?\\UNC\\srv\\share\\f"), "\\\\srv\\share\\f");
  EXPECT_EQ(corePath(L"D:\\z"), "D:\\z");
  // A relative path becomes absolute and long.
  std::wstring made = win32Path("some/dir/../file.bin");
  EXPECT_EQ(made.rfind(L"\\\\?\\", 0), 0u) << narrow(made);
  EXPECT_TRUE(made.ends_with(L"\\some\\file.bin")) << narrow(made);
}

TEST(WindowsPaths, Utf8RoundTripsThroughUtf16AndDriveNames) {
  for (const std::string name : {"", "plain", "照片/夏天.jpg", "emoji 😀 outside the BMP", "Ä\xC3\xA9"})
    EXPECT_EQ(narrow(widen(name)), name);
  EXPECT_EQ(widen("😀").size(), 2u);  // a surrogate pair
  EXPECT_EQ(physicalDrivePath(12), "\\\\.\\PhysicalDrive12");
  const std::pair<const char*, int> drives[] = {{"\\\\.\\PhysicalDrive0", 0}, {"\\\\.\\physicaldrive15", 15},
                                                {"\\\\.\\PhysicalDrive", -1},  {"\\\\.\\PhysicalDrive1a", -1},
                                                {"C:\\PhysicalDrive1", -1},    {"\\\\.\\E:", -1}};
  for (const auto& [path, number] : drives) EXPECT_EQ(physicalDriveNumber(path), number) << path;
}

}  // namespace
}  // namespace dudorazu::platform
