#pragma once

// Whether a signed installer's Authenticode signature holds, checked as a
// verifier checks it: the certificate table's shape, the PE image digest the
// signature carries against the file's own, the signed attributes' message
// digest against the signed content, the signer's signature over the signed
// attributes and the signer's certificate. Trust in the signer is checked only
// against a root the caller names.

#include <optional>
#include <string>
#include <vector>

namespace qf::pack {

struct SignatureCheck {
  enum class Outcome { Passed, Failed, NotChecked };
  Outcome outcome = Outcome::NotChecked;
  std::string text;  // what was checked and how it went, e.g. "image digest matches"
};

struct SignatureReport {
  std::vector<SignatureCheck> checks;  // in the order made
  std::string unavailable;             // why this build checks nothing; empty where it checks

  bool Broken() const;
};

// `path` is an installer whose certificate table ends the file; `rootFile`,
// when given, is a PEM file whose certificates are the only roots the
// signer's chain may end in.
SignatureReport CheckSignature(const std::u16string& path, const std::optional<std::u16string>& rootFile);

}  // namespace qf::pack
