#include "platform/GivenMachine.h"

#include <algorithm>

namespace qf::platform {
namespace {

constexpr int32_t kFieldValues = 16;  // the base family, the model and the extended model are 4 bits each
constexpr int32_t kBaseFamily = static_cast<int32_t>(kBaseFamilyWithExtension);
constexpr int32_t kExtendedFamilies = 256;
constexpr int32_t kLinuxExtendedModelFrom = 6;

}  // namespace

std::optional<uint32_t> SignatureOf(int32_t family, int32_t model) {
  if (family < 0 || model < 0 || model >= kFieldValues) return std::nullopt;
  if (family < kBaseFamily) return Signature(family, model);
  const int32_t extended = (family - kBaseFamily) / kFieldValues;
  if ((family - kBaseFamily) % kFieldValues != 0 || extended >= kExtendedFamilies) return std::nullopt;
  return Signature(kBaseFamily, model, extended);
}

std::optional<uint32_t> SignatureFromLinux(int32_t family, int32_t model) {
  const int32_t models = family >= kLinuxExtendedModelFrom ? kFieldValues * kFieldValues : kFieldValues;
  if (family < 0 || family >= kBaseFamily + kExtendedFamilies || model < 0 || model >= models) {
    return std::nullopt;
  }
  const int32_t base = std::min(family, kBaseFamily);
  return Signature(base, model % kFieldValues, family - base, model / kFieldValues);
}

bool IsReportableVendor(std::u16string_view vendor) {
  if (vendor.empty() || vendor.size() > CpuIdentity::kVendorLength) return false;
  for (char16_t c : vendor) {
    if (c == u'\0' || c > 0xFF) return false;
  }
  return true;
}

GivenCpuid::GivenCpuid(std::u16string_view vendor, uint32_t signature, bool available)
    : signature(signature), m_available(available) {
  for (std::size_t i = 0; i < vendor.size() && i < CpuIdentity::kVendorLength; ++i) {
    m_vendor[i] = static_cast<unsigned char>(vendor[i]);
  }
}

CpuidRegisters GivenCpuid::Execute(uint32_t leaf) {
  if (leaf != 0) return {signature, 0, 0, 0};
  auto word = [&](int at) {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w |= static_cast<uint32_t>(m_vendor[at + i]) << (8 * i);
    return w;
  };
  return {1, word(0), word(8), word(4)};  // EBX, ECX, EDX: the text is EBX, EDX, ECX
}

int32_t GivenProperties::GetProperty(std::u16string_view className, std::u16string_view, std::u16string& out) {
  const auto it = answers.find(className);
  const GivenAnswer a = it != answers.end() ? it->second : GivenAnswer{};
  if (a.result == kWmiNoValue || (a.result == kWmiSuccess && a.value)) out = a.value.value_or(u"");
  return a.result;
}

}  // namespace qf::platform
