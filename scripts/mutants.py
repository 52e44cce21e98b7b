#!/usr/bin/env python3
# The mutation check behind scripts/mutants.sh: plants one known fault at a
# time in a scratch copy of the tree, builds it, runs the tier that should
# catch it and prints who did. See scripts/mutants.sh for how to run it.
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
XVFB = ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24"]


# One planted fault: an id, a short name, the tier that should catch it, a
# regular expression for the tests to run first (None: the whole tier) and the
# edits, each (file, exact text, replacement). Each exact text must occur once.
class Fault:
    def __init__(self, number, name, tier, tests, edits):
        self.number, self.name, self.tier, self.tests, self.edits = number, name, tier, tests, edits


def F(number, name, tier, tests, *edits):
    return Fault(number, name, tier, tests, list(edits))


READER = "src/package/PackageReader.cpp"
WRITER = "src/package/PackageWriter.cpp"
AUTHENTICODE = "tools/pack/lib/Authenticode.cpp"
PACKAGE_TESTS = r"(Reader|Writer|Extraction|PathSafety|Signed|ManyEntries|DiskFull|Pack)"

FAULTS = [
    # The package's limits, one step off.
    F("01", "reader refuses a full table of 1024 entries", "native", PACKAGE_TESTS,
      (READER, "if (count > package::kMaxEntries)", "if (count >= package::kMaxEntries)")),
    F("02", "writer takes a 1025th entry", "native", PACKAGE_TESTS,
      (WRITER, "if (m_records.size() >= kMaxEntries)", "if (m_records.size() > kMaxEntries)")),
    F("03", "reader refuses a 511-unit name", "native", PACKAGE_TESTS,
      (READER, "if (n > kMaxTextUnits)", "if (n >= kMaxTextUnits)")),
    F("04", "writer refuses a 511-unit name", "native", PACKAGE_TESTS,
      (WRITER, "if (name.size() > kMaxTextUnits)", "if (name.size() >= kMaxTextUnits)")),
    F("05", "reader takes a 512-unit directory", "native", PACKAGE_TESTS,
      (READER, "if (m > kMaxTextUnits)", "if (m > kMaxTextUnits + 1)")),
    F("06", "writer takes a 512-unit directory", "native", PACKAGE_TESTS,
      (WRITER, "if (directory.size() > kMaxTextUnits)", "if (directory.size() > kMaxTextUnits + 1)")),
    F("07", "reader takes an offset of exactly 2^31", "native", PACKAGE_TESTS,
      (READER, "if (offset >= package::kOffsetLimit)", "if (offset > package::kOffsetLimit)")),
    F("08", "file layer takes a 260-unit path", "native", None,
      ("src/sys/Path.h", "path.size() < kMaxPathUnits", "path.size() <= kMaxPathUnits")),
    F("09", "pack plan takes an extracted path of 260 units", "native", r"PackPlan",
      ("tools/pack/lib/PackPlan.cpp", "if (extracted >= sys::kMaxPathUnits)", "if (extracted > sys::kMaxPathUnits)")),
    F("10", "settings lines read 1024 units at a time", "native", r"(IniDocument|SettingsFile|SettingsLint|SettingsText)",
      ("src/settings/SettingsSchema.h", "inline constexpr std::size_t kMaxLineUnits = 1023;",
       "inline constexpr std::size_t kMaxLineUnits = 1024;")),
    # Codes, texts and checks.
    F("11", "result codes 1001 and 1008 swapped", "native", None,
      ("src/package/ResultCode.h", "SignatureMismatch = 1001,", "SignatureMismatch = 1008,"),
      ("src/package/ResultCode.h", "VersionMismatch = 1008,", "VersionMismatch = 1001,")),
    F("12", "error caption without its trailing blank", "native", r"(Messages|RunSequence)",
      ("src/run/Messages.h", 'kCaptionError = u"Error - Quillfen ";', 'kCaptionError = u"Error - Quillfen";')),
    F("13", "bios switch ignored", "native", r"(PlatformValidator|Probe)",
      ("src/platform/PlatformValidator.cpp", "if (settings::IsSwitchedOn(m_biosSwitch) && ", "if (false && ")),
    F("14", "processor family as 15 + ext, not 15 + 16 x ext", "native", r"(CpuIdentity|PlatformValidator)",
      ("src/platform/CpuIdentity.cpp", "return static_cast<int32_t>(base + 16 * extended);",
       "return static_cast<int32_t>(base + extended);")),
    F("15", "the ';' list trims blanks around items", "native", r"(ValueList|PlatformValidator)",
      ("src/settings/ValueList.cpp", "if (end > 0) items.push_back(list.substr(0, end));",
       "std::u16string_view item = list.substr(0, end);\n"
       "    while (!item.empty() && item.front() == u' ') item.remove_prefix(1);\n"
       "    while (!item.empty() && item.back() == u' ') item.remove_suffix(1);\n"
       "    if (!item.empty()) items.push_back(item);")),
    F("16", "settings values compared ignoring case", "native", r"(ValueList|PlatformValidator)",
      ("src/settings/ValueList.cpp", "return std::find(items.begin(), items.end(), value) != items.end();",
       "const auto up = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };\n"
       "  return std::any_of(items.begin(), items.end(), [&](std::u16string_view item) {\n"
       "    return item.size() == value.size() && std::equal(item.begin(), item.end(), value.begin(),\n"
       "                                                     [&](char16_t a, char16_t b) { return up(a) == up(b); });\n"
       "  });")),
    F("17", "settings file name compared with its case", "native", r"(Reader|Extraction|Signed|Pack)",
      (READER, "return entry.directory.empty() && sys::SameFileName(entry.name, kSettingsName);",
       "return entry.directory.empty() && entry.name == kSettingsName;")),
    F("18", "unsafe-path rule lets '..' through", "native", r"(PathSafety|Extraction|Reader|Pack)",
      ("src/package/PathSafety.cpp", 'if (component == u"." || component == u"..") return NotPlain::DotName;',
       'if (component == u"..") return NotPlain::No;\n  if (component == u".") return NotPlain::DotName;')),
    F("19", "workspace drive with the lower free space chosen", "native", r"WorkspaceDrive",
      ("src/workspace/WorkspaceDrive.cpp", "drive.totalFree > best->totalFree", "drive.totalFree < best->totalFree")),
    F("20", "room check wants more than the stub's size", "native", r"WorkspaceDrive",
      ("src/workspace/WorkspaceDrive.cpp", "return executableSize <= freeBytes;", "return executableSize < freeBytes;")),
    F("21", "RunOnce value not withdrawn", "wine", r"^(qf_workspace_windows_tests|qf_e2e_tests)$",
      ("src/workspace/Workspace.cpp", "const LONG deleted = ::RegDeleteValueW(key.get(), Wide(name));",
       "(void)name;\n    const LONG deleted = ERROR_SUCCESS;")),
    F("22", "tree walk follows a reparse point", "native", r"TreeEntry",
      ("src/workspace/TreeEntry.cpp", "if ((attributes & kAttributeReparsePoint) != 0) {", "if (false) {")),
    F("23", "DeleteTree empties a linked root", "wine", r"^(qf_workspace_windows_tests|qf_e2e_tests)$",
      ("src/workspace/Workspace.cpp", "if (!link) DeleteContents(path);", "DeleteContents(path);")),
    F("24", "stub returns 0, not the installer's exit code", "wine", r"^qf_e2e_tests$",
      ("src/app/StubMain.cpp", "return static_cast<int>(exit.code);", "return 0;")),
    F("25", "installer's exit code lost in the mapping", "native", r"(ExitCode|RunSequence)",
      ("src/run/ExitCode.cpp", "if (installerExit) return {",
       "if (installerExit && false) return {")),
    F("26", "'/S' and '/LOG=' matched with their case", "native", r"(StubArguments|RunLog)",
      ("src/run/StubOptions.cpp", "return sys::EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);",
       "return text.substr(0, prefix.size()) == prefix;")),
    F("27", "the log's check line verdict inverted", "native", r"RunLog",
      ("src/run/RunLog.cpp", 'line.append(passed ? u"; passed" : u"; refused");',
       'line.append(passed ? u"; refused" : u"; passed");')),
    F("28", "UTF-16 byte-order mark not checked", "native", r"(IniDocument|SettingsFile|SettingsLint|SettingsText)",
      ("src/settings/IniDocument.cpp", "if (units.empty() || units.front() != kByteOrderMark) {",
       "if (units.empty()) {")),
    # The tools.
    F("29", "extract follows a link", "native", r"PackCommands",
      ("tools/pack/lib/ExtractCommand.cpp", "if (fs::is_symlink(status))", "if (false)")),
    F("30", "tools keep a partial temporary file", "native", r"(PackCommands|DiskFull)",
      ("tools/pack/lib/SafeOutput.cpp", "  fs::remove(FsPath(m_path), ec);\n  g_hasPending = 0;",
       "  g_hasPending = 0;")),
    F("31", "stub's extraction keeps a partial file", "native", r"(Extraction|Reader|DiskFull)",
      (READER, "    sys::RemoveFile(targetPath);\n", "")),
    F("32", "lint's unknown-key warning dropped", "native", r"(SettingsLint|PackCommands)",
      ("tools/pack/lib/SettingsLint.cpp",
       "if (std::find(exact->keys.begin(), exact->keys.end(), e.key) == exact->keys.end()) {", "if (false) {")),
    F("33", "--strict ignored", "native", r"PackCommands",
      ("tools/pack/lib/CommandSupport.h", "(strict && m_warnings > 0 ? kExitStrict : kExitOk)",
       "(strict && false && m_warnings > 0 ? kExitStrict : kExitOk)"),
      ("tools/pack/lib/VerifyCommand.cpp", '} else if (args.Has("strict") && report.Warnings() > 0) {',
       "} else if (false) {")),
    F("34", "exclusive output opened without O_EXCL", "native", r"(File|PackCommands|PackProgram)",
      ("src/sys/FilePosix.cpp", "O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC",
       "O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC")),
    F("35", "writer's copy loop drops the last chunk", "native", PACKAGE_TESTS,
      (WRITER, "    if (got == 0) break;\n    size += static_cast<uint64_t>(got);",
       "    if (got < static_cast<int64_t>(kCopyChunkBytes)) break;\n    size += static_cast<uint64_t>(got);")),
    F("36", "progress bar's final 100 % paint dropped", "native", r"PackProgress",
      ("tools/pack/lib/Progress.cpp", "if (m_out == nullptr || percent == m_shownPercent) return;",
       "if (m_out == nullptr || percent == m_shownPercent || percent == kFull) return;")),
    F("37", "import-slot check accepts an empty slot", "shipped", None,
      ("scripts/check-import-slots.py", "if name and not slot:", "if name and not slot and False:")),
    # Cleanup and run steps.
    F("38", "settings copy left beside the installer", "native", r"RunSequence",
      ("src/run/RunSequence.cpp", "  services.DeleteSettingsCopy(*workspace.path);\n", "")),
    F("39", "workspace not deleted at the end", "wine", r"^qf_e2e_tests$",
      ("src/app/InstallerRun.cpp", "    m_workspace.DeleteTree(*workspace);\n", "")),
    F("40", "leftover workspace named by any path deleted", "native", r"LogonRemoval",
      ("src/workspace/LogonRemoval.cpp", "  if (!IsWorkspacePath(path)) return std::nullopt;\n", "")),
    # What was packed and signed is what runs.
    F("41", "the file's last bytes taken for the trailer before the signature", "native", PACKAGE_TESTS,
      (READER, "  const auto table = FindCertificateTable(file, *fileSize);\n",
       "  if (ReadFromEnd(file, *fileSize, package::kTagBytes, tail, package::kTagBytes) &&\n"
       "      BufferHoldsText(tail, package::kTag)) return *fileSize;\n"
       "  const auto table = FindCertificateTable(file, *fileSize);\n")),
    F("42", "an entry's digest not compared", "native", PACKAGE_TESTS,
      (READER, "if (digested && digest.Value() !=", "if (false && digest.Value() !=")),
    F("43", "the table's digest not compared", "native", PACKAGE_TESTS,
      (READER, "table.size()) != m_digests.back())", "table.size()) != m_digests.back() && false)")),
    F("44", "the settings' digest not compared", "native", PACKAGE_TESTS,
      (READER, "  if (!m_digests.empty() &&\n      package::PayloadDigest::Of(m_record->algorithm, bytes.data()",
       "  if (false &&\n      package::PayloadDigest::Of(m_record->algorithm, bytes.data()")),
    F("45", "the stub keeps its record from the reader", "wine", r"^qf_e2e_tests$",
      ("src/app/InstallerRun.cpp", "  m_reader.SetStubRecord(std::move(record));\n", "  (void)record;\n")),
    # verify's signature checks.
    F("70", "verify skips the signer's signature", "native", r"PackCommands",
      (AUTHENTICODE, "PKCS7_NOVERIFY) == 1) {", "PKCS7_NOVERIFY) == 1 || true) {")),
    F("71", "verify skips the table's shape", "native", r"PackCommands",
      (AUTHENTICODE, "checks.Expect(shape.empty(), ", "checks.Expect(true, ")),
    F("72", "verify skips the signed attributes' message digest", "native", r"PackCommands",
      (AUTHENTICODE, "checks.Expect(digestMatches, ", "checks.Expect(true, ")),
    F("73", "verify --ca checks no chain", "native", r"PackCommands",
      (AUTHENTICODE, "const bool verified = X509_verify_cert(chain.get()) == 1;", "const bool verified = true;")),
    F("74", "verify skips the signer's certificate's signature", "native", r"PackCommands",
      (AUTHENTICODE, "checks.Expect(X509_verify(signer, X509_get0_pubkey(issuer)) == 1,", "checks.Expect(true,")),
    # The lock as the tools judge it, and their limits.
    F("75", "build accepts a lock with no check on", "native", r"(SettingsLint|PackCommands)",
      ("tools/pack/lib/SettingsLint.cpp", "Doubt(0, LockRisk::AnyMachine,", "Doubt(0, LockRisk::None,")),
    F("76", "a yes-like switch is only a warning", "native", r"(SettingsLint|PackCommands)",
      ("tools/pack/lib/SettingsLint.cpp", "  std::u16string_view text = TrimBlanks(value);\n",
       "  if (!value.empty()) return false;\n  std::u16string_view text = TrimBlanks(value);\n")),
    F("77", "lock search never tries an extended family", "native", r"(SettingsLint|PackCommands)",
      ("tools/pack/lib/LockSearch.cpp", "extended < kExtendedFamilies;", "extended < 1;")),
    F("78", "verify's problem count leaves out the settings", "native", r"PackCommands",
      ("tools/pack/lib/VerifyCommand.cpp", 'Plural(report.Errors(), "problem", "problems")',
       'Plural(v.errors.size(), "problem", "problems")')),
    F("79", "verify keeps a 1 MiB settings limit", "native", r"PackCommands",
      ("tools/pack/lib/PackageReport.cpp", "  if (last.size > package::kMaxSettingsBytes) {\n    v.errors",
       "  if (last.size > 1024 * 1024) {\n    v.errors")),
    # quillfen-pack and the probe know the stub by its record and check its digests.
    F("80", "build accepts a stub without its record", "native", r"PackCommands",
      ("tools/pack/lib/BuildCommand.cpp", 'report.Error(Utf8(in.stub) + ": not a Quillfen stub ("',
       'report.Warning(Utf8(in.stub) + ": not a Quillfen stub ("')),
    F("81", "verify skips the payload digests", "native", r"PackCommands",
      ("tools/pack/lib/PackageReport.cpp", "  reader.SetStubRecord(ins.stub);\n", "")),
    F("82", "verify accepts an installer without a stub record", "native", r"PackCommands",
      ("tools/pack/lib/PackageReport.cpp", "  if (!ins.stub) {\n    v.errors", "  if (false) {\n    v.errors")),
    F("83", "the digest pass skips the settings", "native", r"PackCommands",
      ("src/package/DigestCheck.cpp", "index = m_entryCount - 1; index >= 0", "index = m_entryCount - 2; index >= 0")),
    F("84", "the probe reads a program without a package as settings", "wine", r"^qf_probe_tests$",
      ("tools/pack/lib/PackageReport.cpp", "magic[0] == 'M' &&", "magic[0] == 'M' && false &&")),
    # check: the machine as the stub reads it, and the verdicts it gives.
    F("85", "check takes Linux's family for the stub's", "native", r"(CpuIdentity|PackCommands)",
      ("src/platform/GivenMachine.cpp", "  const int32_t base = std::min(family, kBaseFamily);\n",
       "  if (family >= 0) return SignatureOf(family, model % kFieldValues);\n"
       "  const int32_t base = std::min(family, kBaseFamily);\n")),
    F("86", "check refuses Linux's models above 15", "native", r"(CpuIdentity|PackCommands)",
      ("src/platform/GivenMachine.cpp", "? kFieldValues * kFieldValues : kFieldValues;",
       "? kFieldValues : kFieldValues;")),
    F("87", "check --machines exits 0 whatever the verdicts", "native", r"PackCommands",
      ("tools/pack/lib/CheckCommand.cpp", "return differing == 0 ? kExitOk : kExitProblems;", "return kExitOk;")),
    F("88", "check gives the BIOS maker to the baseboard", "native", r"PackCommands",
      ("tools/pack/lib/CheckCommand.cpp", "GivenAnswer{platform::kWmiSuccess, m.baseboard}",
       "GivenAnswer{platform::kWmiSuccess, m.bios}")),
    F("89", "check takes a family no processor reports", "native", r"(CpuIdentity|PackCommands)",
      ("src/platform/GivenMachine.cpp", "if ((family - kBaseFamily) % kFieldValues != 0 || ",
       "if (")),
    # The log, the installer program's path and the cleanup.
    F("60", "log appended to the stub's own file", "wine", r"^qf_e2e_tests$",
      ("src/app/FileLogSink.cpp", "run::MayAppendLog(Facts(log), Facts(own))", "run::MayAppendLog(Facts(log), {})")),
    F("61", "log appended through a link", "native", r"RunLog",
      ("src/run/LogTarget.h", "return !log.link && (", "return (")),
    F("62", "'.' segments of the program's path kept", "native", r"(ProgramPath|Extraction)",
      ("src/package/ProgramPath.cpp", '    if (segment == u".") continue;\n', "")),
    F("63", "installer still running at cleanup left running", "wine", r"^qf_e2e_tests$",
      ("src/app/InstallerRun.cpp", "      ::TerminateProcess(process.get(), 0);\n", "")),
    F("64", "the settings' spelling started, not the entry's", "wine", r"^qf_e2e_tests$",
      ("src/app/InstallerRun.cpp", 'workspace + u"\\\\" + program.value_or(file);', 'workspace + u"\\\\" + file;')),
    # The logon-time removal: kept while anything is left, never carried out at once, withdrawn by its own run.
    F("65", "cleanup withdraws the value although the workspace stays", "wine", r"^qf_e2e_tests$",
      ("src/app/InstallerRun.cpp", "    if (!IsGone(*workspace)) {", "    if (!IsGone(*workspace) && false) {")),
    F("66", "a leftover is deleted at once", "wine", r"^qf_e2e_tests$",
      ("src/workspace/Workspace.cpp", "    const LONG moved = SetString(key.get(), kept->name, kept->data);",
       "    DeleteTree(*LeftoverWorkspace(kept->data));\n"
       "    const LONG moved = SetString(key.get(), kept->name, kept->data);")),
    F("67", "a run withdraws a value naming another workspace", "native", r"LogonRemoval",
      ("src/workspace/LogonRemoval.cpp", "return ownName && value.data == RemovalCommand(ownPath);",
       "return ownName;")),
    F("68", "another workspace's value overwritten, not kept", "wine",
      r"^(qf_workspace_windows_tests|qf_e2e_tests)$",
      ("src/workspace/Workspace.cpp", "    const LONG moved = SetString(key.get(), kept->name, kept->data);",
       "    const LONG moved = ERROR_SUCCESS;")),
    F("69", "a run leaves its value once a later run moved it", "native", r"LogonRemoval",
      ("src/workspace/LogonRemoval.cpp", " || value.name == MovedValueName(ownPath);", ";")),
    # Codes deployment tools understand, the switches admins type, the parameters of silent and deployed runs.
    F("95", "a refused machine ends with the fatal error's code", "native", r"RunSequence",
      ("src/run/ExitCode.cpp", "return {kExitPlatformUnsupported, u\"machine not supported\"};", "return kExitFatal;")),
    F("96", "/QUIET does not silence the run", "native", r"StubArguments",
      ("src/run/StubOptions.cpp", 'u"/S/SILENT/VERYSILENT/Q/QUIET/"', 'u"/S/SILENT/VERYSILENT/Q/"')),
    F("97", "a silent run ignores silentparam", "native", r"SettingsFile",
      ("src/settings/SettingsFile.cpp", "  if (silent) m_document", "  if (silent && false) m_document")),
    F("98", "deploy-time parameters replace the settings' own", "native", r"StubArguments",
      ("src/run/StubOptions.cpp", "  program += parameters;", "  program = parameters;")),
    F("99", "the lint calls silentparam a key the stub does not read", "native", r"SettingsLint",
      ("src/settings/SettingsSchema.h", "{key::kFile, key::kParam, key::kSilentParam}", "{key::kFile, key::kParam}")),
    # The installer's checksum and the author's branding.
    F("100", "PE checksum counts its own field", "native", r"PackCommands",
      ("tools/pack/lib/PeChecksum.cpp", "    if (m_length - m_fieldAt < kFieldBytes) continue;\n", "")),
    F("101", "PE checksum without the file's length", "native", r"PackCommands",
      ("tools/pack/lib/PeChecksum.cpp", "return static_cast<uint32_t>(sum + m_length);",
       "return static_cast<uint32_t>(sum);")),
    F("102", "the branded stub's new section left out of its count", "native", r"PackCommands",
      ("tools/pack/lib/Branding.cpp", "layout->sectionCountAt, pe->sectionCount + 1);",
       "layout->sectionCountAt, pe->sectionCount);")),
    F("103", "every entry of the icon's group names its first image", "native", r"PackCommands",
      ("tools/pack/lib/Branding.cpp", "PutLe16(directory, directory.size() - 2, kFirstName + i);",
       "PutLe16(directory, directory.size() - 2, kFirstName);")),
    F("104", "an icon image reaching past the file's end taken", "native", r"PackCommands",
      ("tools/pack/lib/Branding.cpp", "offset > icon.size() || bytes > icon.size() - offset",
       "offset > icon.size()")),
    # Lane sums: both paths, the last stripe, the length, unknown algorithms, the stub's announcement.
    F("105", "the SSE2 path keeps the weighted sums in 32 bits", "native", r"PayloadDigest",
      ("src/package/PayloadDigest.cpp", "bEven = _mm_add_epi64(bEven, aEven);", "bEven = _mm_add_epi32(bEven, aEven);")),
    F("106", "the last, partial stripe left out of the lane sums", "native", r"PayloadDigest",
      ("src/package/PayloadDigest.cpp", "if (m_pendingBytes > 0) AddSums(sums, last, 1, Path::Portable);", "")),
    F("107", "the length not mixed into the lane sums' digest", "native", r"PayloadDigest",
      ("src/package/PayloadDigest.cpp", "h = Avalanche(h ^ static_cast<uint32_t>(m_total >> 32));",
       "h = Avalanche(kPrime5);")),
    F("108", "a record's unknown algorithm checked as XXH32", "native", r"PayloadDigest",
      (READER, "if (!package::PayloadDigest::Knows(record.algorithm))", "if (false)")),
    F("109", "the stub announces no lane sums, so the builder gives it XXH32", "wine", r"^qf_e2e_tests$",
      ("src/app/StubMain.cpp", "qf::package::kDigestAlgorithmsChecked,", "0,")),
    # One owner per job: the run waits for its installer; the shared rules and writers.
    F("90", "the run stops waiting for its installer at once", "wine", r"^qf_e2e_tests$",
      ("src/app/InstallerRun.cpp", "    if (m_launcher.InstallerHasEnded(process, m_processId)) return true;",
       "    return true;")),
    F("91", "a failed query's error code left out of its check line", "native", r"RunLog",
      ("src/run/RunLog.cpp", "if (error != 0) sys::AppendHex", "if (error == 1) sys::AppendHex")),
    F("92", "a settings file in a folder taken for the settings", "native", r"(ManyEntries|Extraction|Pack)",
      ("src/package/PackageReader.cpp", "return entry.directory.empty() && sys::SameFileName(entry.name, kSettingsName);",
       "return sys::SameFileName(entry.name, kSettingsName);")),
    F("93", "switches and device names compared with their case", "native", r"(StubArguments|PathSafety)",
      ("src/sys/CaseFold.h", "return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;",
       "return c;")),
    F("94", "numbers above 16 bits written wrong in the log", "native", r"RunLog",
      ("src/sys/Text.cpp", "for (int shift = 48; shift >= 0; shift -= 16) {", "for (int shift = 16; shift >= 0; shift -= 16) {")),
]

# The files counted as code, and built.
CODE = r"\.(c|cc|cpp|cxx|h|hpp|hh|inl|in)$"
PRESET = {"native": "native", "wine": "mingw-x86-tests", "shipped": "mingw-x86"}
# The Windows tests run the shipped stub and compare with the Linux tool: both are built first.
FIRST = {"wine": [("mingw-x86", "quillfen-stub"), ("native-asan", "quillfen-pack")]}


def lines(paths):
    files = subprocess.run(["git", "ls-files", "--"] + paths, cwd=ROOT, capture_output=True, text=True,
                           check=True).stdout.split()
    code = re.compile(CODE)
    blank_or_comment = re.compile(r"^\s*(//.*)?$")
    count = 0
    for name in files:
        if not code.search(name):
            continue
        with open(os.path.join(ROOT, name), "rb") as f:
            for line in f.read().decode("utf-8", "replace").splitlines():
                if not blank_or_comment.match(line):
                    count += 1
    return count


def print_ratio():
    code, tests = lines(["src", "tools"]), lines(["tests"])
    print("src+tools %d tests %d tests/(src+tools) %.2f" % (code, tests, tests / code if code else 0))


def sync_scratch(tree):
    # Copies the tracked files (as they are in the working tree) into the
    # scratch tree, touching only those that differ so that builds stay incremental.
    files = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, capture_output=True, check=True).stdout
    names = [n for n in files.decode().split("\0") if n]
    # A file dropped from the tree goes from the copy too; its builds stay.
    tracked = set(names)
    for directory, subdirectories, present in os.walk(tree):
        if directory == tree and "build" in subdirectories:
            subdirectories.remove("build")
        for name in present:
            full = os.path.join(directory, name)
            if os.path.relpath(full, tree) not in tracked:
                os.remove(full)
    for name in names:
        src, dst = os.path.join(ROOT, name), os.path.join(tree, name)
        if not os.path.isfile(src):
            continue
        with open(src, "rb") as f:
            data = f.read()
        if os.path.isfile(dst):
            with open(dst, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy2(src, dst)


def apply(fault, tree):
    # Returns (originals, problem): the problem says which edit no longer applies.
    originals = {}
    texts = {}
    for path, old, new in fault.edits:
        full = os.path.join(tree, path)
        if path not in texts:
            with open(full, encoding="utf-8") as f:
                texts[path] = f.read()
            originals[path] = texts[path]
        found = texts[path].count(old)
        if found != 1:
            return None, "%s: the text to change occurs %d times, not once: %r" % (path, found, old[:60])
        texts[path] = texts[path].replace(old, new)
    for path, text in texts.items():
        with open(os.path.join(tree, path), "w", encoding="utf-8") as f:
            f.write(text)
    return originals, None


def revert(originals, tree):
    for path, text in originals.items():
        with open(os.path.join(tree, path), "w", encoding="utf-8") as f:
            f.write(text)


def run(cmd, tree, log, env=None):
    with open(log, "a") as out:
        out.write("$ %s\n" % " ".join(cmd))
        out.flush()
        return subprocess.run(cmd, cwd=tree, stdout=out, stderr=subprocess.STDOUT, env=env).returncode


class Tier:
    def __init__(self, name, tree, log, jobs):
        self.name, self.tree, self.log, self.jobs = name, tree, log, jobs
        self.preset = PRESET[name]
        self.configured = False
        self.baseline = None

    def build(self):
        # None when the build fails, else whether anything had to be built.
        start = os.path.getsize(self.log)
        if not self.configured:
            for preset in [p for p, _ in FIRST.get(self.name, [])] + [self.preset]:
                if run(["cmake", "--preset", preset], self.tree, self.log) != 0:
                    return None
            self.configured = True
        for preset, target in FIRST.get(self.name, []):
            if run(["cmake", "--build", "--preset", preset, "-j", str(self.jobs), "--target", target], self.tree,
                   self.log) != 0:
                return None
        if run(["cmake", "--build", "--preset", self.preset, "-j", str(self.jobs)], self.tree, self.log) != 0:
            return None
        with open(self.log, errors="replace") as f:
            f.seek(start)
            return f.read().count("ninja: no work to do.") < len(FIRST.get(self.name, [])) + 1

    def failures(self, tests):
        # The names of the tests that failed, or None when none could run.
        if self.name == "shipped":
            stub = os.path.join(self.tree, "build/mingw-x86/bin/quillfen-stub.exe")
            planted = os.path.join(self.tree, "build/mutants-planted.exe")
            failed = []
            if run(["bash", "scripts/check-pe.sh", "--max-bytes", "92671", "gui", stub], self.tree, self.log) != 0:
                failed.append("check-pe")
            ok = run(["python3", "scripts/check-import-slots.py", "--plant-fault", stub, planted], self.tree,
                     self.log) == 0 and run(["python3", "scripts/check-import-slots.py", planted], self.tree,
                                            self.log) != 0
            if not ok:
                failed.append("mingw-x86-slot-check")
            return failed
        # A planted fault may make a test hang: natively no test takes long.
        cmd = ["ctest", "--preset", self.preset, "--timeout", "120" if self.name == "native" else "600"]
        if tests:
            cmd += ["-R", tests]
        env = dict(os.environ, WINEDEBUG="-all")
        if self.name == "wine":
            cmd = XVFB + cmd
        start = os.path.getsize(self.log) if os.path.exists(self.log) else 0
        run(cmd, self.tree, self.log, env)
        if self.name == "wine":
            prefix = os.path.join(self.tree, "build/mingw-x86-tests/wineprefix")
            run(["/usr/lib/wine/wineserver64", "-k"], self.tree, self.log, dict(env, WINEPREFIX=prefix))
        with open(self.log, errors="replace") as f:
            f.seek(start)
            output = f.read()
        if not re.search(r"tests passed, \d+ tests? failed out of \d+", output):
            return None
        return re.findall(r"^\s*\d+ - (\S+) \((?:Failed|Timeout|SEGFAULT|Subprocess aborted|Exception|Not Run)",
                          output, re.M)


def main():
    parser = argparse.ArgumentParser(description="Plants known faults one at a time and reports which tests catch them.")
    parser.add_argument("--list", action="store_true", help="list the faults and check that each still applies")
    parser.add_argument("--only", action="append", default=[], help="fault number(s) to run (repeatable, or 3,7)")
    parser.add_argument("--tier", choices=["native", "wine", "shipped", "all"],
                        help="run every fault in this tier; all: in native and wine, and in shipped those of "
                             "shipped (default: every fault in its own tier)")
    parser.add_argument("--whole", action="store_true", help="always run the whole tier, not the likely tests first")
    parser.add_argument("--ratio", action="store_true", help="print the tests to code line ratio and stop")
    parser.add_argument("--scratch", default=os.path.join(ROOT, "build/mutants"), help="scratch tree (kept)")
    parser.add_argument("--jobs", type=int, default=int(os.environ.get("QF_JOBS", "2")))
    args = parser.parse_args()

    if args.ratio:
        print_ratio()
        return 0
    only = {n.zfill(2) for item in args.only for n in item.split(",") if n}
    faults = [f for f in FAULTS if not only or f.number in only]

    tree = os.path.join(args.scratch, "tree")
    os.makedirs(tree, exist_ok=True)
    sync_scratch(tree)
    if args.list:
        for f in faults:
            originals, problem = apply(f, tree)
            if originals is not None:
                revert(originals, tree)
            print("%s  %-7s  %-52s %s" % (f.number, f.tier, f.name, "DOES NOT APPLY: " + problem if problem else ""))
        return 0

    log = os.path.join(args.scratch, "mutants.log")
    open(log, "w").close()
    print("log: %s" % log)
    tiers = {}
    rows = []
    began = time.time()
    for f in faults:
        if args.tier is None:
            names = [f.tier]
        elif args.tier == "all":
            names = ["native", "wine"] + (["shipped"] if f.tier == "shipped" else [])
        else:
            names = [args.tier]
        with open(log, "a") as out:
            out.write("\n===== fault %s: %s\n" % (f.number, f.name))
        for name in names:
            tier = tiers.get(name)
            if tier is None:
                tier = tiers[name] = Tier(name, tree, log, args.jobs)
                # The unchanged tree first: a test failing there catches nothing.
                if tier.build() is None:
                    print("the unchanged tree does not build for %s; see the log" % name)
                    return 0
                tier.baseline = set(tier.failures(None) or [])
                if tier.baseline:
                    print("failing without any fault (%s): %s" % (name, " ".join(sorted(tier.baseline))))
            started = time.time()
            originals, problem = apply(f, tree)
            if problem:
                verdict = "DOES NOT APPLY: " + problem
            else:
                try:
                    built = tier.build()
                    if built is None:
                        verdict = "BUILD FAILED (the fault needs mending)"
                    elif not built and name != f.tier:
                        verdict = "NOT IN THIS TIER (nothing of it is built here)"
                    elif not built and any(re.search(CODE, path) for path, _, _ in f.edits):
                        verdict = "NOT BUILT (the fault needs mending)"
                    else:
                        caught = None
                        # The likely tests are named for the fault's own tier.
                        if f.tests and name == f.tier and not args.whole:
                            caught = [t for t in tier.failures(f.tests) or [] if t not in tier.baseline]
                        if not caught:
                            caught = [t for t in tier.failures(None) or [] if t not in tier.baseline]
                        more = " and %d more" % (len(caught) - 4) if len(caught) > 4 else ""
                        verdict = ", ".join(caught[:4]) + more if caught else "SURVIVED"
                finally:
                    revert(originals, tree)
                    # Rebuilt at once, so that the next fault's build shows only its own work.
                    tier.build()
            rows.append((f, name, verdict))
            print("%s  %-7s  %-52s %s  (%ds)" % (f.number, name, f.name, verdict, time.time() - started), flush=True)
    # Leaves the scratch builds matching the unchanged tree.
    for tier in tiers.values():
        tier.build()

    caught = sum(1 for _, _, v in rows if not v.startswith(("SURVIVED", "DOES NOT", "BUILD", "NOT ")))
    survived = sum(1 for _, _, v in rows if v == "SURVIVED")
    print()
    print("| fault | tier | caught by |")
    print("|---|---|---|")
    for f, name, v in rows:
        print("| %s %s | %s | %s |" % (f.number, f.name, name, v))
    print()
    other = len(rows) - caught - survived
    print("%d caught, %d survived%s (%d s)" % (caught, survived, ", %d not run" % other if other else "",
                                             time.time() - began))
    print_ratio()
    return 0


if __name__ == "__main__":
    sys.exit(main())
