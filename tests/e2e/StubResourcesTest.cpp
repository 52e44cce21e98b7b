// The stub's resources as Windows loads them from the file under test: the
// progress dialog's template, the icon group and the manifest.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Win32Test.h"

namespace {

// The template field by field, as the dialog manager reads it: 16-bit words,
// texts ending in a zero unit, controls on 4-byte boundaries.
std::u16string ProgressDialogTemplate() {
  const std::u16string header = {1, 0xFFFF, 0, 0, 0, 4, 0x0048, 0x90C0, 2, 0, 0, 268, 65, 0, 0};
  const std::u16string font = {8, 0, 0x0100};
  const std::u16string staticText = {0, 0, 0, 0, 1, 0x5002, 116, 38, 45, 8, 0xFFFF, 0xFFFF, 0xFFFF, 0x0082};
  const std::u16string bar = {0, 0, 0, 0, 0, 0x5080, 31, 18, 205, 10, 1000, 0};
  const std::u16string end(1, u'\0');
  return header + u"Quillfen" + end + font + u"MS Shell Dlg" + end + staticText + u"Please wait..." + end + end + bar +
         u"msctls_progress32" + end + end + end;
}

#ifdef _WIN64
constexpr char kArchitecture[] = "processorArchitecture=\"amd64\"";
#else
constexpr char kArchitecture[] = "processorArchitecture=\"x86\"";
#endif

TEST(StubResources, TheDialogIconAndManifestAreWhatTheStubShows) {
  const std::wstring stub = (std::filesystem::path(qf::test::OwnDirectory()) / "quillfen-stub.exe").wstring();
  const HMODULE module =
      ::LoadLibraryExW(stub.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << ::GetLastError();
  const std::u16string dialog = ProgressDialogTemplate();
  // name, type, id, the bytes it must hold (each whole, or at least these pieces)
  // clang-format off
  const std::vector<std::tuple<const char*, LPCWSTR, WORD, std::vector<std::string>, bool>> rows = {
      {"dialog 102", RT_DIALOG, 102, {std::string(reinterpret_cast<const char*>(dialog.data()), dialog.size() * 2)}, true},
      // four images of 16, 32, 48 and 256 pixels (written 0), each in 32-bit colour
      {"icon group 130", RT_GROUP_ICON, 130, {std::string("\0\0\1\0\4\0\x10\x10\0\0\1\0\x20\0", 14), std::string("\x20\x20\0\0\1\0\x20\0", 8),
                                              std::string("\x30\x30\0\0\1\0\x20\0", 8), std::string("\0\0\0\0\1\0\x20\0", 8)}, false},
      {"manifest 1", RT_MANIFEST, 1, {"type=\"win32\"", "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"", "version=\"5.1.0.0\"",
                                      "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\"", kArchitecture}, false},
  };
  // clang-format on
  for (const auto& [name, type, id, holds, whole] : rows) {
    const HRSRC found =
        ::FindResourceExW(module, type, MAKEINTRESOURCEW(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(found, nullptr) << name << " is missing";
    const std::string data(static_cast<const char*>(::LockResource(::LoadResource(module, found))),
                           ::SizeofResource(module, found));
    for (const std::string& part : holds) {
      EXPECT_TRUE(whole ? data == part : data.find(part) != data.npos)
          << name << " lacks " << testing::PrintToString(part);
    }
  }
  ::FreeLibrary(module);
}

}  // namespace
