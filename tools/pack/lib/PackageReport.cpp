#include "pack/lib/PackageReport.h"

#include <cinttypes>
#include <cstdio>
#include <map>

#include "pack/lib/PackPlan.h"
#include "pack/lib/SettingsText.h"
#include "pack/lib/Strings.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PathSafety.h"
#include "package/PayloadDigest.h"
#include "run/Messages.h"
#include "sys/CaseFold.h"
#include "sys/File.h"
#include "sys/Path.h"
#include "sys/Text.h"

namespace qf::pack {
namespace {

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08" PRIX64, value);
  return text;
}

// The reader's result, and the message box the stub shows for it.
std::string Code(ResultCode code) {
  std::string text = " (result " + std::to_string(static_cast<int32_t>(code));
  if (const auto message = MessageForResult(code)) text += "; the stub shows \"" + Utf8(message->text) + "\"";
  return text + ")";
}

// Words what made the reader refuse, as the reader itself saw it.
std::string Diagnose(const LoadFailure& failure, ResultCode code) {
  using Reason = LoadFailure::Reason;
  const std::string record = "record " + std::to_string(failure.record) + " of " + std::to_string(failure.count) + ": ";
  switch (failure.reason) {
    case Reason::CannotOpen:
      return "cannot be opened" + Code(code);
    case Reason::NoTag:
      return "no package: the file does not end in the tag \"" + Utf8(package::kTag) +
             "\", nor does the part in front of a signature" + Code(code);
    case Reason::Version:
      return "format version " + Quoted(failure.version) + "; the stub reads only \"" + Utf8(package::kVersion) + "\"" +
             Code(code);
    case Reason::NoEntries:
      return "the table is empty (entry count 0)" + Code(code);
    case Reason::TooManyEntries:
      return "the trailer announces " + std::to_string(failure.value) + " files; a package holds at most " +
             std::to_string(package::kMaxEntries) + Code(code);
    case Reason::TableTooLong:
      return record + "the table is longer than the file in front of the trailer" + Code(code);
    case Reason::LongDirectory:
      return record + "a directory of " + std::to_string(failure.value) + " characters; at most " +
             std::to_string(package::kMaxTextUnits) + " fit" + Code(code);
    case Reason::LongName:
      return record + "a name of " + std::to_string(failure.value) + " characters; at most " +
             std::to_string(package::kMaxTextUnits) + " fit" + Code(code);
    case Reason::OffsetPast2GiB:
      return record + "data offset " + Hex(failure.value) + " is past 2 GiB" + Code(code);
    case Reason::None:
      break;
  }
  return "the reader refuses the table" + Code(code);
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonString(std::u16string_view text) { return JsonString(Utf8(text)); }

std::string DigestName(const package::StubRecord& record) {
  const std::string name = Utf8(package::DigestName(record.algorithm));
  return package::PayloadDigest::Knows(record.algorithm)
             ? name
             : "algorithm " + std::to_string(record.algorithm) + " (" + name + ")";
}

// The payload digests checked as the stub checks them, by the stub's own reader.
std::string DigestDamage(const std::u16string& path, const Inspection& ins) {
  using Part = DigestMismatch::Part;
  PackageReader reader(path);
  reader.SetStubRecord(ins.stub);
  const ResultCode code = reader.CheckDigests();
  const DigestMismatch& mismatch = reader.GetDigestMismatch();
  if (code == ResultCode::Success) return {};
  const std::string stops = Code(code);
  switch (mismatch.part) {
    case Part::List:
      return "the digest list does not match the stub's record (damaged, or for another number of entries)" + stops;
    case Part::Table:
      return "the file table and the trailer differ from their digest" + stops;
    case Part::Algorithm:
      return "the stub's record names a digest algorithm the stub does not check" + stops;
    case Part::Entry:
      return "entry " + std::to_string(mismatch.entry) + " (" +
             Utf8(EntryPath(ins.entries.at(static_cast<std::size_t>(mismatch.entry)))) +
             "): its data differs from its digest" + stops;
    case Part::None:
      break;
  }
  return "the payload digests cannot be checked" + stops;
}

std::string Padded(std::string text, std::size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

}  // namespace

Inspection Inspect(const std::u16string& path) {
  Inspection ins;
  PackageReader reader(path);
  ins.code = reader.LoadTable(path);
  if (sys::File file = sys::File::OpenRead(path)) ins.fileSize = file.Size().value_or(0);
  if (!ins.Loaded()) {
    ins.reason = Diagnose(reader.GetLoadFailure(), ins.code);
    return ins;
  }
  if (sys::File file = sys::File::OpenRead(path)) {
    package::PositionedBytes image(file);
    if (const auto found = package::FindStubRecord(image)) ins.stub = found->record;
    ins.branding = ReadBranding(image);
  }
  ins.packageEnd = reader.GetPackageEnd();
  ins.tableStart = reader.GetTableStart();
  for (int32_t i = 0; i < reader.GetEntryCount(); ++i) ins.entries.push_back(reader.GetEntry(i));
  return ins;
}

std::string StubIdentity(const Inspection& ins) {
  if (!ins.stub) return "no stub record: not built on a Quillfen stub";
  const package::StubRecord& r = *ins.stub;
  return std::string(r.Product()) + " " + std::string(r.Version()) + ", " + package::MachineName(r.machine) + ", " +
         (r.HasDigests() ? "payload digests: " + DigestName(r) + " for " + std::to_string(r.entryCount) + " entries"
                         : "no payload digests");
}

std::string VersionText(const Inspection& ins) {
  if (!ins.branding || (ins.branding->fileVersion.empty() && ins.branding->strings.empty())) return "none";
  std::string text = ins.branding->fileVersion;
  for (const auto& [key, value] : ins.branding->strings) {
    text += (text.empty() ? "" : ", ") + Utf8(key) + " " + Quoted(value);
  }
  return text;
}

std::string IconText(const Inspection& ins) {
  if (!ins.branding || ins.branding->iconSizes.empty()) return "none";
  std::string text;
  for (uint32_t size : ins.branding->iconSizes) text += (text.empty() ? "" : ", ") + std::to_string(size);
  return text + " pixels";
}

std::string ListText(const Inspection& ins, const std::string& name) {
  const uint64_t trailerStart = ins.packageEnd - package::kTrailerSize;
  std::string out =
      name + ": " + std::to_string(ins.entries.size()) + " entries, format " + Utf8(package::kVersion) + "\n";
  out += "  stub       " + StubIdentity(ins) + "\n";
  out += "  version    " + VersionText(ins) + "\n";
  out += "  icon       " + IconText(ins) + "\n";
  out += "  data       " + Hex(static_cast<uint32_t>(ins.entries.front().offset)) + " - " + Hex(ins.tableStart) + "\n";
  out += "  table      " + Hex(ins.tableStart) + " - " + Hex(trailerStart) + " (" +
         std::to_string(trailerStart - ins.tableStart) + " bytes)\n";
  out += "  trailer    " + Hex(trailerStart) + " - " + Hex(ins.packageEnd) + " (entry count " +
         std::to_string(ins.entries.size()) + ", \"" + Utf8(package::kVersion) + "\", \"" + Utf8(package::kTag) +
         "\")\n";
  if (ins.Signed()) {
    out += "  signature  " + Hex(ins.packageEnd) + " - " + Hex(ins.fileSize) + " (certificate table and padding, " +
           std::to_string(ins.fileSize - ins.packageEnd) + " bytes)\n";
  }
  std::size_t directoryWidth = std::string("directory").size();
  for (const PackageEntry& e : ins.entries) directoryWidth = std::max(directoryWidth, Utf8(e.directory).size());
  out += "\nindex  offset      " + Padded("size", 10, true) + "  " + Padded("directory", directoryWidth, false) +
         "  name\n";
  for (std::size_t i = 0; i < ins.entries.size(); ++i) {
    const PackageEntry& e = ins.entries[i];
    out += Padded(std::to_string(i), 5, true) + "  " + Hex(static_cast<uint32_t>(e.offset)) + "  " +
           Padded(std::to_string(e.size), 10, true) + "  " + Padded(Utf8(e.directory), directoryWidth, false) + "  " +
           Utf8(e.name) + "\n";
  }
  return out;
}

std::string ListJson(const Inspection& ins, const std::string& name) {
  const uint64_t trailerStart = ins.packageEnd - package::kTrailerSize;
  std::string out = "{\n";
  out += "  \"file\": " + JsonString(std::string_view(name)) + ",\n";
  out += "  \"fileSize\": " + std::to_string(ins.fileSize) + ",\n";
  out += "  \"signed\": " + std::string(ins.Signed() ? "true" : "false") + ",\n";
  out += "  \"packageEnd\": " + std::to_string(ins.packageEnd) + ",\n";
  out += "  \"tableOffset\": " + std::to_string(ins.tableStart) + ",\n";
  out += "  \"trailer\": {\"offset\": " + std::to_string(trailerStart) +
         ", \"entryCount\": " + std::to_string(ins.entries.size()) + ", \"version\": " + JsonString(package::kVersion) +
         ", \"tag\": " + JsonString(package::kTag) + "},\n";
  if (const auto& r = ins.stub) {
    out += "  \"stub\": {\"product\": " + JsonString(r->Product()) + ", \"version\": " + JsonString(r->Version()) +
           ", \"machine\": " + JsonString(package::MachineName(r->machine)) + ", \"payloadDigests\": " +
           (r->HasDigests() ? "{\"algorithm\": " + JsonString(DigestName(*r)) +
                                  ", \"entries\": " + std::to_string(r->entryCount) + "}"
                            : std::string("null")) +
           "},\n";
  } else {
    out += "  \"stub\": null,\n";
  }
  out += "  \"versionInfo\": {";
  if (ins.branding) {
    std::string fields = "\"fileVersion\": " + JsonString(std::string_view(ins.branding->fileVersion));
    for (const auto& [key, value] : ins.branding->strings) fields += ", " + JsonString(key) + ": " + JsonString(value);
    out += fields;
  }
  out += "},\n  \"iconSizes\": [";
  for (std::size_t i = 0; ins.branding && i < ins.branding->iconSizes.size(); ++i) {
    out += (i == 0 ? "" : ", ") + std::to_string(ins.branding->iconSizes[i]);
  }
  out += "],\n";
  out += "  \"entries\": [";
  for (std::size_t i = 0; i < ins.entries.size(); ++i) {
    const PackageEntry& e = ins.entries[i];
    out += std::string(i == 0 ? "\n" : ",\n") + "    {\"index\": " + std::to_string(i) +
           ", \"offset\": " + std::to_string(e.offset) + ", \"size\": " + std::to_string(e.size) +
           ", \"directory\": " + JsonString(e.directory) + ", \"name\": " + JsonString(e.name) + "}";
  }
  out += ins.entries.empty() ? "]\n" : "\n  ]\n";
  return out + "}\n";
}

std::optional<std::vector<unsigned char>> ReadEntryBytes(const std::u16string& path, const PackageEntry& entry,
                                                         uint32_t limit) {
  if (entry.size > limit) return std::nullopt;
  sys::File file = sys::File::OpenRead(path);
  std::vector<unsigned char> bytes(entry.size);
  if (!file || !file.SeekTo(static_cast<uint32_t>(entry.offset))) return std::nullopt;
  if (entry.size > 0 && file.Read(bytes.data(), entry.size) != entry.size) return std::nullopt;
  return bytes;
}

std::string DataDamage(const Inspection& ins, std::size_t index) {
  const PackageEntry& e = ins.entries[index];
  const uint64_t start = static_cast<uint32_t>(e.offset);
  const uint64_t end = start + e.size;
  if (end > ins.tableStart) {
    return "its data " + Hex(start) + " + " + std::to_string(e.size) + " bytes passes the start of the file table at " +
           Hex(ins.tableStart);
  }
  for (std::size_t j = 0; j < ins.entries.size() && e.size > 0; ++j) {
    const PackageEntry& o = ins.entries[j];
    const uint64_t otherStart = static_cast<uint32_t>(o.offset);
    if (j != index && o.size > 0 && start < otherStart + o.size && otherStart < end) {
      return "its data " + Hex(start) + " + " + std::to_string(e.size) + " bytes overlaps that of entry " +
             std::to_string(j);
    }
  }
  return {};
}

std::string SettingsTooLarge(const PackageEntry& settings) {
  return "the settings file has " + std::to_string(settings.size) + " bytes; " + SettingsLimit() +
         " and stops with \"Extraction Failed\"";
}

PackedSettings ReadSettingsAsPacked(const std::u16string& path) {
  PackedSettings out;
  const Inspection ins = Inspect(path);
  if (ins.Loaded()) {
    const PackageEntry& last = ins.entries.back();
    if (!ins.stub) {
      out.error = "not a Quillfen installer: the program in front of the package has no stub record";
    } else if (!package::IsSettingsEntry(last)) {
      out.error = "the installer's last entry is not the settings file";
    } else if (last.size > package::kMaxSettingsBytes) {
      out.error = SettingsTooLarge(last);
    } else if (auto bytes = ReadEntryBytes(path, last, package::kMaxSettingsBytes)) {
      out.bytes = std::move(*bytes);
    } else {
      out.error = "the installer's settings file cannot be read";
    }
    return out;
  }
  sys::File file = sys::File::OpenRead(path);
  const std::optional<uint64_t> measured = file ? file.Size() : std::nullopt;
  if (!measured) {
    out.error = "cannot be opened as a regular file";
    return out;
  }
  const uint64_t size = *measured;
  // A Windows program without a package is no settings file either.
  if (unsigned char magic[2] = {};
      file.Read(magic, sizeof magic) == sizeof magic && magic[0] == 'M' && magic[1] == 'Z') {
    out.error = "not a Quillfen installer: " + ins.reason;
    return out;
  }
  if (size > kMaxSettingsSourceBytes) {
    out.error = "too large for a settings file: " + SettingsLimit();
    return out;
  }
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  if (!file.SeekTo(0) ||
      (!bytes.empty() && file.Read(bytes.data(), static_cast<uint32_t>(bytes.size())) != static_cast<int64_t>(size))) {
    out.error = "cannot be read";
    return out;
  }
  DecodedSettings decoded = DecodeSettingsSource(bytes);
  out.error = std::move(decoded.error);
  if (out.error.empty()) out.bytes = EncodeSettings(decoded.text);
  if (out.bytes.size() > package::kMaxSettingsBytes) {
    out.error = "too large for a settings file: " + SettingsLimit();
    out.bytes.clear();
  }
  return out;
}

Verification Verify(const std::u16string& path, const Inspection& ins) {
  Verification v;
  if (!ins.stub) {
    v.errors.push_back("not built on a Quillfen stub: the program in front of the package has no stub record");
  } else if (std::string damage = DigestDamage(path, ins); !damage.empty()) {
    v.errors.push_back(damage);
  }
  std::map<std::u16string, std::size_t> seen;
  for (std::size_t i = 0; i < ins.entries.size(); ++i) {
    const PackageEntry& e = ins.entries[i];
    const std::string who = "entry " + std::to_string(i) + " (" + Utf8(EntryPath(e)) + "): ";
    if (!package::IsSafeEntryPath(e.directory, e.name)) {
      v.errors.push_back(who + "the stub refuses to extract it: " +
                         (WhyNotPlain(e.name).empty() ? "its folder is no plain relative path" : WhyNotPlain(e.name)));
    }
    const std::size_t extracted = kWorkspacePrefixUnits + e.directory.size() + e.name.size();
    if (extracted >= sys::kMaxPathUnits) {
      v.errors.push_back(who + "its path below the workspace has " + std::to_string(extracted) +
                         " characters; Windows paths stop at 259");
    }
    const uint64_t dataEnd = static_cast<uint64_t>(e.offset) + e.size;
    if (std::string damage = DataDamage(ins, i); !damage.empty()) v.errors.push_back(who + damage);
    if (i + 1 < ins.entries.size() && static_cast<uint64_t>(ins.entries[i + 1].offset) != dataEnd) {
      v.warnings.push_back(who + "the next entry's data does not follow its data directly (" +
                           Hex(static_cast<uint32_t>(ins.entries[i + 1].offset)) + " instead of " + Hex(dataEnd) + ")");
    }
    const auto [it, inserted] = seen.emplace(sys::FoldCase(EntryPath(e)), i);
    if (!inserted) {
      v.warnings.push_back(who + "extracts to the same path as entry " + std::to_string(it->second) +
                           "; the stub writes the last entry first, so entry " + std::to_string(it->second) + " wins");
    }
  }

  const PackageEntry& last = ins.entries.back();
  if (!package::IsSettingsEntry(last)) {
    v.errors.push_back("the last entry is " + Quoted(EntryPath(last)) + ", not the settings file " +
                       Utf8(package::kSettingsName) + "; the stub stops with \"Extraction Failed\"");
    return v;
  }
  if (last.size > package::kMaxSettingsBytes) {
    v.errors.push_back(SettingsTooLarge(last));
    return v;
  }
  const auto bytes = ReadEntryBytes(path, last, package::kMaxSettingsBytes);
  const auto text = bytes ? DecodePackedSettings(*bytes) : std::nullopt;
  if (!text) {
    v.errors.push_back("the settings file is not UTF-16LE text starting with FF FE; the stub reads empty settings");
    return v;
  }
  std::vector<std::u16string> packaged;
  for (const PackageEntry& e : ins.entries) packaged.push_back(EntryPath(e));
  v.settings = LintSettings(*text, packaged);
  return v;
}

}  // namespace qf::pack
