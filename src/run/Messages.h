#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "package/ResultCode.h"

namespace qf {

// Message box flags the system uses: OK button only, with one icon or none.
inline constexpr uint32_t kIconNone = 0x00;
inline constexpr uint32_t kIconStop = 0x10;
inline constexpr uint32_t kIconExclamation = 0x30;

struct MessageText {
  std::u16string_view text;
  std::u16string_view caption;
  uint32_t flags;
};

// The message a result code shows, if it has one (1002, 1006 and unknown codes show none).
std::optional<MessageText> MessageForResult(ResultCode code);

namespace text {
inline constexpr std::u16string_view kCaptionResult = u"Quillfen Builder";
inline constexpr std::u16string_view kCaptionError = u"Error - Quillfen ";  // the trailing blank belongs to it
inline constexpr std::u16string_view kCaptionPlain = u"Quillfen";

inline constexpr std::u16string_view kOpenFailed = u"Could not open the installer";
inline constexpr std::u16string_view kSignatureMismatch = u"The Signature Could not be verified";
inline constexpr std::u16string_view kNoFiles = u"The Quillfen should have at least one file";
inline constexpr std::u16string_view kExtractionFailed = u"Extraction Failed";
inline constexpr std::u16string_view kVersionMismatch = u"Invalid Version of the Quillfen";
inline constexpr std::u16string_view kInsufficientDiskSpace = u"Insufficient Disk Space";
inline constexpr std::u16string_view kInvalidInstaller = u"Invalid Installer";

inline constexpr std::u16string_view kPhaseInitializing = u"Quillfen - Initializing";
inline constexpr std::u16string_view kPhaseValidating = u"Quillfen - Validating the Installer";
inline constexpr std::u16string_view kPhaseExtracting = u"Quillfen - Extracting";
}  // namespace text

// Shown without a result code.
inline constexpr MessageText kNoRoomMessage{text::kInsufficientDiskSpace, text::kCaptionError, kIconStop};
inline constexpr MessageText kInvalidInstallerMessage{text::kInvalidInstaller, text::kCaptionError, kIconStop};
inline constexpr MessageText kNoWorkerMessage{text::kExtractionFailed, text::kCaptionPlain, kIconNone};

// The platform check's failure box: the settings' text with every "~~" shown as a line break.
MessageText PlatformFailureMessage(std::u16string_view expandedText);
std::u16string ExpandLineBreaks(std::u16string_view text);

}  // namespace qf
