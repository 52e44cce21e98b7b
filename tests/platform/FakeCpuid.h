#pragma once

#include <cstring>
#include <string_view>
#include <vector>

#include "platform/CpuIdentity.h"

namespace qf::platform::test {

// A leaf 1 signature from its fields.
constexpr uint32_t Signature(uint32_t baseFamily, uint32_t model, uint32_t extendedFamily = 0,
                             uint32_t extendedModel = 0, uint32_t stepping = 0) {
  return (extendedFamily << 20) | (extendedModel << 16) | (baseFamily << 8) | (model << 4) | stepping;
}

// A processor that reports a chosen vendor string and signature, and records
// the leaves it was asked for.
class FakeCpuid final : public CpuidInstruction {
 public:
  FakeCpuid(std::string_view vendor, uint32_t signature, bool available = true)
      : m_signature(signature), m_available(available) {
    char text[12] = {};
    std::memcpy(text, vendor.data(), std::min<std::size_t>(vendor.size(), 12));
    std::memcpy(&m_ebx, text, 4);
    std::memcpy(&m_edx, text + 4, 4);
    std::memcpy(&m_ecx, text + 8, 4);
  }

  bool Available() override { return m_available; }
  CpuidRegisters Execute(uint32_t leaf) override {
    leaves.push_back(leaf);
    if (leaf == 0) return {1, m_ebx, m_ecx, m_edx};
    if (leaf == 1) return {m_signature, 0, 0, 0};
    return {};
  }

  std::vector<uint32_t> leaves;

 private:
  uint32_t m_ebx = 0, m_ecx = 0, m_edx = 0;
  uint32_t m_signature;
  bool m_available;
};

}  // namespace qf::platform::test
