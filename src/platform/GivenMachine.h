#pragma once

// A machine described rather than measured: the tools decide on it with the
// stub's own validator, and the tests choose what it reports.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/CpuIdentity.h"
#include "platform/PropertySource.h"

namespace qf::platform {

// A leaf 1 signature from its fields.
constexpr uint32_t Signature(uint32_t family, uint32_t model, uint32_t extendedFamily = 0, uint32_t extendedModel = 0) {
  return extendedFamily << 20 | extendedModel << 16 | family << 8 | model << 4;
}

// A signature that gives the stub's own family and model numbers; none when no
// processor reports that pair: a model above 15, or a family above 15 that is
// not 15 + 16 times an extended family.
std::optional<uint32_t> SignatureOf(int32_t family, int32_t model);

// The signature of a processor that Linux's /proc/cpuinfo shows with this
// "cpu family" and "model": Linux adds the extended family to base family 15,
// and from family 6 on puts the extended model in front of the model.
std::optional<uint32_t> SignatureFromLinux(int32_t family, int32_t model);

// Whether CPUID can report this vendor text: 1 to 12 bytes, none of them zero.
bool IsReportableVendor(std::u16string_view vendor);

// A processor that reports a given vendor text (in EBX, EDX, ECX; a shorter
// one is padded with zeros) and signature.
class GivenCpuid final : public CpuidInstruction {
 public:
  GivenCpuid(std::u16string_view vendor, uint32_t signature, bool available = true);
  bool Available() override { return m_available; }
  CpuidRegisters Execute(uint32_t leaf) override;

  uint32_t signature;

 private:
  unsigned char m_vendor[CpuIdentity::kVendorLength] = {};
  bool m_available;
};

// WMI as a table: per class, the result code and the first instance's text
// (none: the class has no instance, and the output stays as it was).
struct GivenAnswer {
  int32_t result = kWmiSuccess;
  std::optional<std::u16string> value;
};
class GivenProperties final : public PropertySource {
 public:
  void Prepare(std::u16string_view) override {}
  int32_t GetProperty(std::u16string_view className, std::u16string_view, std::u16string& out) override;

  std::map<std::u16string, GivenAnswer, std::less<>> answers;
};

}  // namespace qf::platform
