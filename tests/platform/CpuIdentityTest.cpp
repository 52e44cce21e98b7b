#include <gtest/gtest.h>

#include "FakeCpuid.h"
#include "platform/CpuIdentity.h"

namespace qf::platform {
namespace {

using test::FakeCpuid;
using test::Signature;

TEST(CpuIdentity, FamilyAndModelFollowTheSystemsRules) {
  struct Case {
    uint32_t signature;
    int32_t family, model;
  };
  for (const Case& c : {
           Case{Signature(6, 15, 0, 0), 6, 15}, Case{Signature(15, 2, 0, 0), 15, 2},
           Case{Signature(15, 2, 1, 0), 31, 2},   // not 16
           Case{Signature(15, 1, 8, 0), 143, 1},  // a vendor's family 23 reads as 143
           Case{Signature(15, 0, 0xFF, 0xF), 4095, 0},
           Case{Signature(6, 7, 0, 1), 6, 7},     // not 23: the extended model is never used
           Case{Signature(5, 4, 3, 0), 5, 4},     // extended family ignored below 15
           Case{Signature(6, 5, 0, 5, 7), 6, 5},  // stepping plays no part
       }) {
    EXPECT_EQ(FamilyFromSignature(c.signature), c.family) << std::hex << c.signature;
    EXPECT_EQ(ModelFromSignature(c.signature), c.model) << std::hex << c.signature;
  }
  EXPECT_EQ(DecimalText(FamilyFromSignature(Signature(15, 0, 0))), u"15");
}

TEST(CpuIdentity, VendorStringIsEbxThenEdxThenEcx) {
  FakeCpuid cpuid("TavixSilicon", Signature(6, 8));
  CpuIdentity identity;
  ASSERT_TRUE(identity.Identify(cpuid));
  EXPECT_STREQ(identity.vendorId, "TavixSilicon");
  EXPECT_EQ(identity.Vendor(), u"TavixSilicon");
  EXPECT_EQ(identity.family, 6);
  EXPECT_EQ(identity.model, 8);
  // Leaf 1 is read even though leaf 0 is not asked how many leaves there are.
  EXPECT_EQ(cpuid.leaves, (std::vector<uint32_t>{0, 1}));

  const CpuidRegisters raw = [] {
    FakeCpuid c("TavixSilicon", 0);
    return c.Execute(0);
  }();
  EXPECT_EQ(raw.ebx, 0x69766154u);  // "Tavi", lowest byte first
  EXPECT_EQ(raw.edx, 0x6c695378u);  // "xSil"
  EXPECT_EQ(raw.ecx, 0x6e6f6369u);  // "icon"
}

TEST(CpuIdentity, ProcessorWithoutCpuidLeavesTheRecordAsItWas) {
  FakeCpuid none("GenuineIntel", Signature(6, 8), /*available=*/false);
  CpuIdentity fresh;
  EXPECT_FALSE(fresh.Identify(none));
  EXPECT_STREQ(fresh.vendorId, "");
  EXPECT_EQ(fresh.family, 0);
  EXPECT_EQ(fresh.model, 0);
  EXPECT_TRUE(none.leaves.empty());

  FakeCpuid real("GenuineIntel", Signature(6, 8));
  CpuIdentity filled;
  ASSERT_TRUE(filled.Identify(real));
  EXPECT_FALSE(filled.Identify(none));
  EXPECT_EQ(filled.Vendor(), u"GenuineIntel");
  EXPECT_EQ(filled.family, 6);
}

TEST(CpuIdentity, EachIdentifyOverwritesEveryField) {
  CpuIdentity identity;
  FakeCpuid first("GenuineIntel", Signature(6, 8));
  FakeCpuid second("AuthenticAMD", Signature(15, 1, 8));
  identity.Identify(first);
  identity.Identify(second);
  EXPECT_EQ(identity.Vendor(), u"AuthenticAMD");
  EXPECT_EQ(identity.family, 143);
  EXPECT_EQ(identity.model, 1);
}

TEST(CpuIdentity, VendorWidensBytesAndStopsAtAZero) {
  CpuIdentity identity;
  std::memcpy(identity.vendorId, "Ab\xE9\0zzzzzzzz", 13);
  EXPECT_EQ(identity.Vendor(), u"Ab\u00e9");
}

TEST(DecimalText, WritesAsPercentD) {
  EXPECT_EQ(DecimalText(0), u"0");
  EXPECT_EQ(DecimalText(6), u"6");
  EXPECT_EQ(DecimalText(31), u"31");
  EXPECT_EQ(DecimalText(-5), u"-5");
  EXPECT_EQ(DecimalText(INT32_MIN), u"-2147483648");
  EXPECT_EQ(DecimalText(INT32_MAX), u"2147483647");
}

}  // namespace
}  // namespace qf::platform
