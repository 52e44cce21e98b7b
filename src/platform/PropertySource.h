#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qf::platform {

// Result codes of a WMI property query.
inline constexpr int32_t kWmiSuccess = 0;
inline constexpr int32_t kWmiComFailed = 1;
inline constexpr int32_t kWmiQueryFailed = 4;
inline constexpr int32_t kWmiSecurityFailed = 6;
inline constexpr int32_t kWmiNoValue = 7;

inline constexpr std::u16string_view kWmiNamespace = u"ROOT\\CIMV2";
inline constexpr std::u16string_view kClassBios = u"Win32_Bios";
inline constexpr std::u16string_view kClassBaseBoard = u"Win32_BaseBoard";
inline constexpr std::u16string_view kPropertyManufacturer = u"Manufacturer";

// The WQL text that selects every instance of a class: the name follows
// directly, neither quoted nor escaped.
inline std::u16string WqlSelectAll(std::u16string_view className) {
  return u"Select * from " + std::u16string(className);
}

// Where the platform check reads a property of the first instance of a WMI
// class: WmiQuery on Windows, a substitute with the same result codes in tests.
class PropertySource {
 public:
  virtual ~PropertySource() = default;
  // Once, at the start of a validation: the namespace to connect to, and COM
  // on the calling thread. Nothing is reported.
  virtual void Prepare(std::u16string_view wmiNamespace) = 0;
  // 0 with the property's text in out, or 0 with out unchanged when the class
  // has no instance; otherwise 1, 4, 6 or 7 (7 empties out when the instance
  // has no non-empty text value). The text is at most 255 units.
  virtual int32_t GetProperty(std::u16string_view className, std::u16string_view propertyName, std::u16string& out) = 0;
  // The system's error code (an HRESULT) of the call that made the last query
  // fail; 0 when no call failed.
  virtual uint32_t LastError() const { return 0; }
};

}  // namespace qf::platform
