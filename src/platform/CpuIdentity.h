#pragma once

#include <cstdint>
#include <string>

namespace qf::platform {

struct CpuidRegisters {
  uint32_t eax = 0;
  uint32_t ebx = 0;
  uint32_t ecx = 0;
  uint32_t edx = 0;
};

// The CPUID instruction, behind an interface so that the identity can be
// derived from registers a test chooses.
class CpuidInstruction {
 public:
  virtual ~CpuidInstruction() = default;
  // False on a processor that cannot execute CPUID; Execute must not be called then.
  virtual bool Available() = 0;
  virtual CpuidRegisters Execute(uint32_t leaf) = 0;
};

// This processor's own instruction. On i686 the EFLAGS ID bit is tested before
// the first CPUID; every x86_64 processor has the instruction; elsewhere there
// is none.
CpuidInstruction& ProcessorCpuid();

// Family from the leaf 1 signature: the base family (bits 8-11), and for base
// family 15 the extended family (bits 20-27) in bits 4-11 of the number, so
// 15 with extended family 1 is 31. This is the system's own numbering, which a
// settings file's [cpu] Advanced is written in; it is not the vendors'
// 15 + extended family for those processors.
int32_t FamilyFromSignature(uint32_t signature);
// Model: bits 4-7 of the signature; the extended model is never used.
int32_t ModelFromSignature(uint32_t signature);

// The numbering's limits: families above 15 are 15 plus 16 times an extended
// family of 8 bits; models have 4 bits.
inline constexpr uint32_t kBaseFamilyWithExtension = 15;
inline constexpr uint32_t kMaxFamily = kBaseFamilyWithExtension + 16 * 255;
inline constexpr uint32_t kMaxModel = 15;

// The processor's vendor string and its family and model numbers. A new
// record is empty: no vendor, family and model 0.
struct CpuIdentity {
  static constexpr std::size_t kVendorLength = 12;

  char vendorId[kVendorLength + 1] = {};
  int32_t family = 0;
  int32_t model = 0;

  // Runs CPUID leaves 0 and 1 and overwrites every field. False, with the
  // record untouched, when the processor has no CPUID.
  bool Identify(CpuidInstruction& cpuid);
  bool Identify() { return Identify(ProcessorCpuid()); }

  // The vendor string widened to UTF-16, up to its first zero byte.
  std::u16string Vendor() const;
};

}  // namespace qf::platform
