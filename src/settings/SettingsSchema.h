#pragma once

// What $Settings.ini holds for the stub: its sections and keys, the switch
// value, and the widths of its texts and lines. The stub reads by these names;
// the tools check an author's file against the same table.

#include <array>
#include <cstddef>
#include <string_view>

#include "settings/TextWidth.h"

namespace qf::settings {

// Section and key names.
namespace key {
inline constexpr std::u16string_view kValidate = u"validate";
inline constexpr std::u16string_view kCpu = u"cpu";
inline constexpr std::u16string_view kBios = u"bios";
inline constexpr std::u16string_view kBaseboard = u"baseboard";
inline constexpr std::u16string_view kProcessor = u"Processor";
inline constexpr std::u16string_view kAdvanced = u"Advanced";
inline constexpr std::u16string_view kModelNumber = u"Model_Number";
inline constexpr std::u16string_view kManufacturer = u"Manufacturer";
inline constexpr std::u16string_view kExecutable = u"executable";
inline constexpr std::u16string_view kFile = u"file";
inline constexpr std::u16string_view kParam = u"param";
inline constexpr std::u16string_view kSilentParam = u"silentparam";
inline constexpr std::u16string_view kMessage = u"message";
inline constexpr std::u16string_view kFail = u"fail";
}  // namespace key

// The sections of fixed name and the keys the stub reads in each. Besides
// them, one section per family listed in [cpu] Advanced, named by its number,
// holds Model_Number.
struct SectionKeys {
  std::u16string_view section;
  std::array<std::u16string_view, 3> keys;  // unused places are empty
};
inline constexpr std::array<SectionKeys, 6> kFixedSections = {{
    {key::kValidate, {key::kCpu, key::kBios, key::kBaseboard}},
    {key::kCpu, {key::kProcessor, key::kAdvanced}},
    {key::kBios, {key::kManufacturer}},
    {key::kBaseboard, {key::kManufacturer}},
    {key::kExecutable, {key::kFile, key::kParam, key::kSilentParam}},
    {key::kMessage, {key::kFail}},
}};

// A [validate] value switches its check on only when it is exactly "1":
// "01", " 1" or "yes" leave it off; "0" is the usual way to say off.
inline constexpr std::u16string_view kSwitchOn = u"1";
inline constexpr std::u16string_view kSwitchOff = u"0";
inline bool IsSwitchedOn(std::u16string_view value) { return value == kSwitchOn; }

// Lists of accepted values ([cpu] Advanced, Model_Number, Manufacturer) are
// separated by this unit; items are compared whole, blanks included.
inline constexpr char16_t kListSeparator = u';';

// Lines are read in pieces of at most this many units (a buffer of 1024 with
// its terminator); a longer line is read as several.
inline constexpr std::size_t kMaxLineUnits = 1023;
// "[", "]", CR and LF around the name of a well-formed header line.
inline constexpr std::size_t kHeaderFrameUnits = 4;

}  // namespace qf::settings
