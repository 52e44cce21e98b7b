#include "platform/CpuIdentity.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace qf::platform {
namespace {

constexpr uint32_t kVendorLeaf = 0;
constexpr uint32_t kSignatureLeaf = 1;
constexpr uint32_t kBaseFamilyWithExtension = 15;

class Cpuid final : public CpuidInstruction {
 public:
  bool Available() override {
#if defined(__x86_64__)
    return true;
#elif defined(__i386__)
    // A processor has CPUID exactly when software can flip the ID bit of EFLAGS.
    constexpr uint32_t kEflagsId = 1u << 21;
    uint32_t flipped = 0;
    uint32_t original = 0;
    __asm__ volatile(
        "pushfl\n\t"
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl %2, %0\n\t"
        "pushl %0\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %0\n\t"
        "popfl\n\t"
        : "=&r"(flipped), "=&r"(original)
        : "ir"(kEflagsId)
        : "cc");
    return ((flipped ^ original) & kEflagsId) != 0;
#else
    return false;
#endif
  }

  CpuidRegisters Execute(uint32_t leaf) override {
    CpuidRegisters r;
#if defined(__i386__) || defined(__x86_64__)
    __cpuid(leaf, r.eax, r.ebx, r.ecx, r.edx);
#else
    (void)leaf;
#endif
    return r;
  }
};

Cpuid processorCpuid;

}  // namespace

CpuidInstruction& ProcessorCpuid() { return processorCpuid; }

int32_t FamilyFromSignature(uint32_t signature) {
  const uint32_t base = (signature >> 8) & 0xF;
  if (base != kBaseFamilyWithExtension) return static_cast<int32_t>(base);
  const uint32_t extended = (signature >> 20) & 0xFF;
  return static_cast<int32_t>(base + 16 * extended);
}

int32_t ModelFromSignature(uint32_t signature) { return static_cast<int32_t>((signature >> 4) & 0xF); }

bool CpuIdentity::Identify(CpuidInstruction& cpuid) {
  if (!cpuid.Available()) return false;
  const CpuidRegisters vendor = cpuid.Execute(kVendorLeaf);
  // The highest leaf that leaf 0 reports is not consulted: leaf 1 exists on
  // every processor that has CPUID at all.
  const CpuidRegisters signature = cpuid.Execute(kSignatureLeaf);
  for (int i = 0; i < 4; ++i) {
    vendorId[i] = static_cast<char>(vendor.ebx >> (8 * i));
    vendorId[4 + i] = static_cast<char>(vendor.edx >> (8 * i));
    vendorId[8 + i] = static_cast<char>(vendor.ecx >> (8 * i));
  }
  vendorId[kVendorLength] = '\0';
  family = FamilyFromSignature(signature.eax);
  model = ModelFromSignature(signature.eax);
  return true;
}

std::u16string CpuIdentity::Vendor() const {
  std::u16string text;
  for (std::size_t i = 0; i < kVendorLength && vendorId[i] != '\0'; ++i) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(vendorId[i])));
  }
  return text;
}

std::u16string DecimalText(int32_t number) {
  // Unsigned, so that the lowest value has a magnitude too; 32 bits, so that the
  // stub carries no 64-bit division routine for it.
  uint32_t magnitude = static_cast<uint32_t>(number);
  if (number < 0) magnitude = 0u - magnitude;
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (number < 0) digits.insert(digits.begin(), u'-');
  return digits;
}

}  // namespace qf::platform
