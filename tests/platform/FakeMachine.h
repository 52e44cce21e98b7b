#pragma once

#include <cstring>
#include <map>
#include <optional>

#include "platform/CpuIdentity.h"
#include "platform/PropertySource.h"

namespace qf::platform::test {

// A leaf 1 signature from its fields.
constexpr uint32_t Signature(uint32_t family, uint32_t model, uint32_t extendedFamily = 0, uint32_t extendedModel = 0) {
  return extendedFamily << 20 | extendedModel << 16 | family << 8 | model << 4;
}

// A processor that reports a chosen vendor string (in EBX, EDX, ECX) and signature.
struct FakeCpuid final : CpuidInstruction {
  FakeCpuid(const char (&vendor)[13], uint32_t signature, bool available = true) : sig(signature), has(available) {
    std::memcpy(text, vendor, 12);
  }
  bool Available() override { return has; }
  CpuidRegisters Execute(uint32_t leaf) override {
    return leaf == 1 ? CpuidRegisters{sig} : CpuidRegisters{1, text[0], text[2], text[1]};
  }
  uint32_t text[3], sig;
  bool has;
};

// WMI as a table: per class, the result code and the first instance's text
// (none: the class has no instance, and the output stays as it was).
struct Answer {
  int32_t result = kWmiSuccess;
  std::optional<std::u16string> value;
};
struct FakePropertySource final : PropertySource {
  void Prepare(std::u16string_view) override {}
  int32_t GetProperty(std::u16string_view className, std::u16string_view, std::u16string& out) override {
    const Answer& a = answers[std::u16string(className)];
    if (a.result == kWmiNoValue || (a.result == kWmiSuccess && a.value)) out = a.value.value_or(u"");
    return a.result;
  }
  std::map<std::u16string, Answer> answers;
};

}  // namespace qf::platform::test
