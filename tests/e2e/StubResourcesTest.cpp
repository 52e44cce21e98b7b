// The stub's resources as Windows reads them: dialog template 102, icon 130
// and the manifest, loaded from the built executable.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

#include "StubDriver.h"

namespace qf::e2e {
namespace {

class TemplateReader {
 public:
  TemplateReader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}
  uint16_t Word() { return static_cast<uint16_t>(Take(2)[0] | (m_data[m_at - 1] << 8)); }
  uint32_t Dword() {
    const unsigned char* p = Take(4);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
  }
  int16_t Short() { return static_cast<int16_t>(Word()); }
  unsigned char Byte() { return *Take(1); }
  std::wstring Text() {
    std::wstring text;
    for (uint16_t c = Word(); c != 0; c = Word()) text.push_back(static_cast<wchar_t>(c));
    return text;
  }
  // A name or an ordinal (0xFFFF followed by the number), as "#n" for ordinals.
  std::wstring NameOrOrdinal() {
    const uint16_t first = Word();
    if (first == 0) return L"";
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    std::wstring text(1, static_cast<wchar_t>(first));
    for (uint16_t c = Word(); c != 0; c = Word()) text.push_back(static_cast<wchar_t>(c));
    return text;
  }
  void AlignDword() { m_at = (m_at + 3) & ~std::size_t{3}; }

 private:
  const unsigned char* Take(std::size_t n) {
    if (m_at + n > m_size) throw std::out_of_range("template ends early");
    const unsigned char* p = m_data + m_at;
    m_at += n;
    return p;
  }
  const unsigned char* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

struct Control {
  uint32_t style;
  int16_t x, y, cx, cy;
  uint32_t id;
  std::wstring windowClass;
  std::wstring title;
};

class StubResources : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring stub = OwnDirectory() + L"\\quillfen-stub.exe";
    m_module = ::LoadLibraryExW(stub.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(m_module, nullptr);
  }
  void TearDown() override {
    if (m_module) ::FreeLibrary(m_module);
  }
  std::string Resource(const wchar_t* type, const wchar_t* name, WORD language) {
    HRSRC found = ::FindResourceExW(m_module, type, name, language);
    if (!found) return {};
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(m_module, found)));
    return std::string(data, ::SizeofResource(m_module, found));
  }
  HMODULE m_module = nullptr;
};

TEST_F(StubResources, ProgressDialogTemplateIsExact) {
  const std::string bytes = Resource(RT_DIALOG, MAKEINTRESOURCEW(102), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_FALSE(bytes.empty()) << "no dialog 102 in language 1033";
  TemplateReader t(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  EXPECT_EQ(t.Word(), 1);  // extended template
  EXPECT_EQ(t.Word(), 0xFFFF);
  t.Dword();  // help id
  EXPECT_EQ(t.Dword(), 0x00040000u);
  EXPECT_EQ(t.Dword(), 0x90C00048u);
  EXPECT_EQ(t.Word(), 2);
  EXPECT_EQ(t.Short(), 0);
  EXPECT_EQ(t.Short(), 0);
  EXPECT_EQ(t.Short(), 268);
  EXPECT_EQ(t.Short(), 65);
  EXPECT_EQ(t.NameOrOrdinal(), L"");  // no menu
  EXPECT_EQ(t.NameOrOrdinal(), L"");  // the standard dialog class
  EXPECT_EQ(t.Text(), L"Quillfen");
  EXPECT_EQ(t.Word(), 8);  // points
  EXPECT_EQ(t.Word(), 0);  // weight
  EXPECT_EQ(t.Byte(), 0);  // italic
  EXPECT_EQ(t.Byte(), 1);  // character set
  EXPECT_EQ(t.Text(), L"MS Shell Dlg");

  Control controls[2];
  for (Control& c : controls) {
    t.AlignDword();
    t.Dword();  // help id
    EXPECT_EQ(t.Dword(), 0u);
    c.style = t.Dword();
    c.x = t.Short();
    c.y = t.Short();
    c.cx = t.Short();
    c.cy = t.Short();
    c.id = t.Dword();
    c.windowClass = t.NameOrOrdinal();
    c.title = t.NameOrOrdinal();
    EXPECT_EQ(t.Word(), 0);  // no creation data
  }
  EXPECT_EQ(controls[0].windowClass, L"#130");  // the predefined static class
  EXPECT_EQ(controls[0].title, L"Please wait...");
  EXPECT_EQ(controls[0].id, 0xFFFFFFFFu);
  EXPECT_EQ(controls[0].style, 0x50020001u);
  EXPECT_EQ((std::array<int, 4>{controls[0].x, controls[0].y, controls[0].cx, controls[0].cy}),
            (std::array<int, 4>{116, 38, 45, 8}));
  EXPECT_EQ(controls[1].windowClass, L"msctls_progress32");
  EXPECT_EQ(controls[1].title, L"");
  EXPECT_EQ(controls[1].id, 1000u);
  EXPECT_EQ(controls[1].style, 0x50800000u);
  EXPECT_EQ((std::array<int, 4>{controls[1].x, controls[1].y, controls[1].cx, controls[1].cy}),
            (std::array<int, 4>{31, 18, 205, 10}));
}

TEST_F(StubResources, IconAndManifest) {
  EXPECT_NE(::FindResourceW(m_module, MAKEINTRESOURCEW(130), RT_GROUP_ICON), nullptr);
  const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
  EXPECT_NE(manifest.find("version=\"5.1.0.0\""), std::string::npos);
  // Never elevated for its name: an installer that needs rights asks for them itself.
  EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
}

}  // namespace
}  // namespace qf::e2e
