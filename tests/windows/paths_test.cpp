// The Windows backend's own rules: paths handed to Win32, long paths.
#include <gtest/gtest.h>

#include "platform/windows/windows_paths.h"

namespace dudorazu::platform {
namespace {

TEST(WindowsPaths, ExtendedForms) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
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
  for (const Case& c : cases) EXPECT_EQ(extendedPath(c.in), c.out) << narrow(c.in);
}

TEST(WindowsPaths, Utf8RoundTripsThroughUtf16) {
  const std::string names[] = {"", "plain", "照片/夏天.jpg", "emoji 😀 outside the BMP", "Ä\xC3\xA9"};
  for (const std::string& name : names) EXPECT_EQ(narrow(widen(name)), name);
  EXPECT_EQ(widen("😀").size(), 2u);  // a surrogate pair
}

TEST(WindowsPaths, CorePathDropsThePrefix) {
  EXPECT_EQ(corePath(L"\\\\?\\C:\\x\\y"), "C:\\x\\y");
  EXPECT_EQ(corePath(L"\\\\?\\UNC\\srv\\share\\f"), "\\\\srv\\share\\f");
  EXPECT_EQ(corePath(L"D:\\z"), "D:\\z");
}

TEST(WindowsPaths, RelativePathsBecomeAbsoluteAndLong) {
  std::wstring made = win32Path("some/dir/../file.bin");
  EXPECT_EQ(made.rfind(L"\\\\?\\", 0), 0u) << narrow(made);
  EXPECT_EQ(made.size() - made.rfind(L"\\some\\file.bin"), std::wstring(L"\\some\\file.bin").size()) << narrow(made);
}

TEST(WindowsPaths, PhysicalDriveNames) {
  EXPECT_EQ(physicalDrivePath(12), "\\\\.\\PhysicalDrive12");
  struct Case {
    const char* path;
    int number;
  } cases[] = {{"\\\\.\\PhysicalDrive0", 0}, {"\\\\.\\physicaldrive15", 15}, {"\\\\.\\PhysicalDrive", -1},
               {"\\\\.\\PhysicalDrive1a", -1}, {"C:\\PhysicalDrive1", -1}, {"\\\\.\\E:", -1}};
  for (const Case& c : cases) EXPECT_EQ(physicalDriveNumber(c.path), c.number) << c.path;
}

}  // namespace
}  // namespace dudorazu::platform
