// The stub's resources as Windows loads them from the file under test: the
// progress dialog's template, the icon group and the manifest.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Win32Test.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Writes a template field by field, as the dialog manager reads it.
struct Template {
  Bytes bytes;
  Template& Word(unsigned value) { return Raw(&value, 2); }
  Template& Dword(unsigned value) { return Raw(&value, 4); }
  Template& Text(std::u16string_view text) {
    for (char16_t unit : text) Word(unit);
    return Word(0);
  }
  Template& Align() {
    while (bytes.size() % 4 != 0) bytes.push_back(0);
    return *this;
  }
  Template& Raw(const void* data, std::size_t count) {
    const auto* begin = static_cast<const unsigned char*>(data);
    bytes.insert(bytes.end(), begin, begin + count);
    return *this;
  }
  // position, size, id and class of one control, after its styles
  Template& Control(unsigned style, std::initializer_list<unsigned> box, unsigned id) {
    Align().Dword(0).Dword(0).Dword(style);
    for (unsigned value : box) Word(value);
    return Dword(id);
  }
};

Bytes ProgressDialogTemplate() {
  Template t;
  t.Word(1).Word(0xFFFF).Dword(0).Dword(0x00040000).Dword(0x90C00048).Word(2);
  t.Word(0).Word(0).Word(268).Word(65).Word(0).Word(0).Text(u"Quillfen");
  t.Word(8).Word(0).Word(0x0100).Text(u"MS Shell Dlg");
  t.Control(0x50020001, {116, 38, 45, 8}, 0xFFFFFFFF).Word(0xFFFF).Word(0x0082).Text(u"Please wait...").Word(0);
  t.Control(0x50800000, {31, 18, 205, 10}, 1000).Text(u"msctls_progress32").Text(u"").Word(0);
  return t.bytes;
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
  const auto Load = [&](LPCWSTR type, WORD id) {
    const HRSRC found =
        ::FindResourceExW(module, type, MAKEINTRESOURCEW(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (found == nullptr) return Bytes{};
    const auto* data = static_cast<const unsigned char*>(::LockResource(::LoadResource(module, found)));
    return Bytes(data, data + ::SizeofResource(module, found));
  };
  struct Row {
    const char* name;
    LPCWSTR type;
    WORD id;
    std::vector<std::string> holds;  // byte strings the resource must contain
    Bytes exactly = {};
  };
  const std::vector<Row> rows = {
      {"dialog 102", RT_DIALOG, 102, {}, ProgressDialogTemplate()},
      // 16, 32, 48 and 256 pixels (written 0), each in 32-bit colour
      {"icon group 130",
       RT_GROUP_ICON,
       130,
       {std::string("\0\0\1\0\4\0", 6), std::string("\x10\x10\0\0\1\0\x20\0", 8),
        std::string("\x20\x20\0\0\1\0\x20\0", 8), std::string("\x30\x30\0\0\1\0\x20\0", 8),
        std::string("\0\0\0\0\1\0\x20\0", 8)}},
      {"manifest 1",
       RT_MANIFEST,
       1,
       {"type=\"win32\"", "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"", "version=\"5.1.0.0\"",
        "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\"", kArchitecture}},
  };
  for (const Row& row : rows) {
    const Bytes data = Load(row.type, row.id);
    ASSERT_FALSE(data.empty()) << row.name << " is missing";
    if (!row.exactly.empty()) {
      EXPECT_EQ(data, row.exactly) << row.name;
    }
    const std::string text(data.begin(), data.end());
    for (const std::string& part : row.holds)
      EXPECT_NE(text.find(part), std::string::npos) << row.name << " lacks " << part;
  }
  ::FreeLibrary(module);
}

}  // namespace
