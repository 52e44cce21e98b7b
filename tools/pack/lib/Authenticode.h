#pragma once

// Whether a signed installer is still the file that was signed: the PE image
// digest that its Authenticode signature carries, against the file's own.
// Trust in the signer is another question, left to Windows.

#include <string>

namespace qf::pack {

enum class SignatureCheck { Matches, DoesNotMatch, Unreadable, NotChecked };

struct SignatureResult {
  SignatureCheck check = SignatureCheck::NotChecked;
  std::string detail;  // why it is unreadable or was not checked
};

// `path` is an installer whose certificate table ends the file.
SignatureResult CheckSignatureDigest(const std::u16string& path);

}  // namespace qf::pack
