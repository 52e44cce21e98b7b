#pragma once

// The test installer writes "<its parameter text>\n<its current directory>" to the
// file QF_RECORD_TO names, then runs until the event QF_RELEASE_EVENT names is set.
inline constexpr wchar_t kRecordToVariable[] = L"QF_RECORD_TO";
inline constexpr wchar_t kReleaseEventVariable[] = L"QF_RELEASE_EVENT";
inline constexpr wchar_t kRecordSeparator = L'\n';
