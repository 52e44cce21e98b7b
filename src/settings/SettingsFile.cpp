#include "settings/SettingsFile.h"

namespace qf::settings {

SettingsFile::SettingsFile(std::u16string_view path) : m_document(path) {}

SettingsFile::SettingsFile(std::span<const unsigned char> bytes) : m_document(IniDocument::FromBytes(bytes)) {}

int32_t SettingsFile::GetExecutable(std::u16string& file, std::u16string& parameters, bool silent) const {
  file.clear();
  m_document.GetValue(key::kExecutable, key::kFile, file);
  parameters.clear();
  if (silent) m_document.GetValue(key::kExecutable, key::kSilentParam, parameters);
  if (parameters.empty()) m_document.GetValue(key::kExecutable, key::kParam, parameters);
  return 1;
}

}  // namespace qf::settings
