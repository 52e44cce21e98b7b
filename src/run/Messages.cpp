#include "run/Messages.h"

#include <string>

namespace qf {

std::optional<MessageText> MessageForResult(ResultCode code) {
  switch (code) {
    case ResultCode::OpenFailed:
      return MessageText{text::kOpenFailed, text::kCaptionResult, kIconExclamation};
    case ResultCode::SignatureMismatch:
      return MessageText{text::kSignatureMismatch, text::kCaptionResult, kIconStop};
    case ResultCode::NoFiles:
      return MessageText{text::kNoFiles, text::kCaptionResult, kIconExclamation};
    case ResultCode::ExtractionFailed:
      return MessageText{text::kExtractionFailed, text::kCaptionResult, kIconStop};
    case ResultCode::VersionMismatch:
      return MessageText{text::kVersionMismatch, text::kCaptionResult, kIconStop};
    default:
      return std::nullopt;
  }
}

MessageText PlatformFailureMessage(std::u16string_view expandedText) {
  return MessageText{expandedText, text::kCaptionError, kIconStop};
}

std::u16string ExpandLineBreaks(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'~' && i + 1 < text.size() && text[i + 1] == u'~') {
      out += u"\r\n";
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace qf
