// quillfen-pack verify: an installer checked as the stub reads it, its
// settings as build checks them, and its signature.
#include "pack/lib/Authenticode.h"
#include "pack/lib/CommandSupport.h"
#include "pack/lib/Strings.h"
#include "package/PackageFormat.h"

namespace qf::pack {
namespace {

constexpr std::string_view kVerifyHelp =
    "usage: quillfen-pack verify [-q] [--strict] [--allow-...] [--ca FILE] INSTALLER\n"
    "\n"
    "Checks everything the stub checks when it reads the package, and that every\n"
    "file's data lies inside the data region, that the stub can extract every\n"
    "file, that the settings file is last and readable; then checks the settings\n"
    "as build does, refusing what build refuses.\n"
    "The installer must be built on a Quillfen stub; the payload digests its record\n"
    "holds are checked as the stub checks them: the list, the table and trailer,\n"
    "every file's data. An installer without digests (another writer) is read\n"
    "unchecked, as the stub reads it.\n"
    "A signed installer's signature is checked as a verifier checks it, one line\n"
    "per check: the certificate table holds one PKCS#7 signature and nothing else,\n"
    "the image digest, the signed attributes' message digest, the signer's\n"
    "signature over them, and the signer's certificate against its issuer when\n"
    "the table carries it.\n"
    "Exit status 1 names what is broken.\n"
    "\n"
    "options:\n"
    "  -q, --quiet    print only problems and warnings\n"
    "      --strict   refuse on any warning too (exit status 3)\n"
    "      --allow-any-machine, --allow-no-machine, --allow-odd-settings\n"
    "                 accept what build accepts with the same option, as a warning\n"
    "      --ca FILE  check the signer's chain up to a root of FILE (PEM) only\n"
    "  -h, --help     show this help\n";

int Verify(const ParsedArgs& args, Console& console) {
  Report report(console);
  int exit = kExitOk;
  const auto loaded = LoadInstaller(args, console, "verify", report, 1, exit);
  const std::string& name = args.positionals.empty() ? std::string() : args.positionals[0];
  if (!loaded) {
    if (exit == kExitProblems) console.out << name << ": broken\n";
    return exit;
  }
  const Inspection& ins = loaded->second;
  if (!args.Has("quiet")) {
    console.out << name << ": stub: " << StubIdentity(ins) << "\n"
                << name << ": version: " << VersionText(ins) << "\n"
                << name << ": icon: " << IconText(ins) << "\n";
  }
  Verification v = Verify(loaded->first, ins);
  std::string signature;
  const auto roots = args.Has("ca") ? PathArgument(args.Get("ca")) : std::nullopt;
  if (args.Has("ca") && !roots) return Usage(console, "verify", "not a usable path: " + args.Get("ca"));
  if (ins.Signed()) {
    const SignatureReport checked = CheckSignature(loaded->first, roots);
    for (const SignatureCheck& c : checked.checks) {
      if (c.outcome == SignatureCheck::Outcome::Failed) v.errors.push_back("signature: " + c.text);
      if (c.outcome != SignatureCheck::Outcome::Failed && !args.Has("quiet")) {
        console.out << name << ": signature: " << c.text << "\n";
      }
    }
    signature = checked.unavailable.empty() ? ", signed, signature matches" : ", signed (" + checked.unavailable + ")";
    if (roots && !checked.unavailable.empty()) v.errors.push_back("--ca: " + checked.unavailable);
  } else if (roots) {
    v.errors.push_back("--ca: the installer is not signed");
  }
  for (const std::string& e : v.errors) report.Error(name + ": " + e);
  for (const std::string& w : v.warnings) report.Warning(name + ": " + w);
  report.Settings(name + ": " + Utf8(package::kSettingsName), v.settings, args);
  if (report.Failed()) {
    console.out << name << ": broken (" << Plural(report.Errors(), "problem", "problems") << ")\n";
  } else if (args.Has("strict") && report.Warnings() > 0) {
    console.out << name << ": refused (--strict: " << Plural(report.Warnings(), "warning", "warnings") << ")\n";
  } else if (!args.Has("quiet")) {
    console.out << name << ": ok, " << Plural(ins.entries.size(), "entry", "entries") << signature << ", "
                << Plural(report.Warnings(), "warning", "warnings") << "\n";
  }
  return report.Exit(args.Has("strict"));
}

}  // namespace

CommandDef VerifyCommand() {
  return {"verify",
          kVerifyHelp,
          {{"quiet", 'q', false},
           {"strict", 0, false},
           {kAllowAny, 0, false},
           {kAllowNone, 0, false},
           {kAllowOdd, 0, false},
           {"ca", 0, true}},
          Verify};
}

}  // namespace qf::pack
