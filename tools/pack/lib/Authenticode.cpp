#include "pack/lib/Authenticode.h"

#include <algorithm>

#ifdef QF_HAVE_LIBCRYPTO
#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "package/LittleEndian.h"
#include "package/PeImage.h"
#include "sys/File.h"
#endif

namespace qf::pack {

bool SignatureReport::Broken() const {
  return std::any_of(checks.begin(), checks.end(),
                     [](const SignatureCheck& c) { return c.outcome == SignatureCheck::Outcome::Failed; });
}

#ifndef QF_HAVE_LIBCRYPTO

SignatureReport CheckSignature(const std::u16string&, const std::optional<std::u16string>&) {
  return {{}, "this build cannot check signatures"};
}

#else

namespace {

using Outcome = SignatureCheck::Outcome;

constexpr uint32_t kCertificateHeaderBytes = 8;  // length, revision, type
constexpr uint16_t kCertificateRevision2 = 0x0200;
constexpr uint16_t kCertificateTypePkcs7 = 2;
// Signing tools pad the one entry with zeros to a multiple of 8 bytes.
constexpr uint32_t kEntryAlignment = 8;
constexpr const char* kSpcIndirectData = "1.3.6.1.4.1.311.2.1.4";
constexpr uint32_t kChunkBytes = 64 * 1024;
constexpr uint32_t kMaxRootFileBytes = 1 << 20;

uint64_t Aligned(uint64_t n) { return (n + kEntryAlignment - 1) / kEntryAlignment * kEntryAlignment; }

struct Layout {
  uint64_t checksumAt = 0;
  uint64_t securityEntryAt = 0;
  uint64_t tableAt = 0;
  uint64_t tableSize = 0;
};

std::optional<Layout> ReadLayout(sys::File& file, uint64_t size) {
  package::PositionedBytes bytes(file);
  const auto pe = package::ReadPeHeaders(bytes);
  if (!pe || pe->securityDirectoryAt == 0) return std::nullopt;
  const Layout l{pe->checksumAt, pe->securityDirectoryAt, pe->certificatesAt, pe->certificatesSize};
  if (l.tableAt < l.securityEntryAt + 8 || l.tableSize <= kCertificateHeaderBytes || l.tableAt + l.tableSize > size) {
    return std::nullopt;
  }
  return l;
}

template <class T, void (*Release)(T*)>
struct Releaser {
  void operator()(T* p) const { Release(p); }
};
template <class T, void (*Release)(T*)>
using Owned = std::unique_ptr<T, Releaser<T, Release> >;
void FreeSigners(STACK_OF(X509) * s) { sk_X509_free(s); }
void FreeBio(BIO* b) { BIO_free(b); }

class Checks {
 public:
  void Pass(std::string text) { m_report.checks.push_back({Outcome::Passed, std::move(text)}); }
  void Fail(std::string text) { m_report.checks.push_back({Outcome::Failed, std::move(text)}); }
  void Skip(std::string text) { m_report.checks.push_back({Outcome::NotChecked, std::move(text)}); }
  void Expect(bool passed, std::string pass, std::string fail) {
    passed ? Pass(std::move(pass)) : Fail(std::move(fail));
  }
  SignatureReport Take() {
    ERR_clear_error();  // what the library queued on the way is told by the checks
    return std::move(m_report);
  }

 private:
  SignatureReport m_report;
};

// One entry of PKCS#7 SignedData, padded, ending the table that ends the file.
std::string TableShapeProblem(const Layout& layout, uint64_t fileSize, const std::vector<unsigned char>& table,
                              std::size_t signatureBytes) {
  const uint32_t length = package::ReadLe32(table.data());
  if (package::ReadLe16(table.data() + 4) != kCertificateRevision2)
    return "the certificate table's entry is of another revision";
  if (layout.tableSize != length && layout.tableSize != Aligned(length)) {
    return layout.tableSize > Aligned(length)
               ? "the certificate table is " + std::to_string(layout.tableSize - Aligned(length)) +
                     " bytes longer than its one entry"
               : "the certificate table's entry is not padded to 8 bytes";
  }
  const auto padding = table.begin() + static_cast<std::ptrdiff_t>(kCertificateHeaderBytes + signatureBytes);
  if (length - kCertificateHeaderBytes - signatureBytes >= kEntryAlignment ||
      std::any_of(padding, table.begin() + length, [](unsigned char b) { return b != 0; })) {
    return "the certificate table's entry holds " + std::to_string(length - kCertificateHeaderBytes - signatureBytes) +
           " bytes after its signature";
  }
  if (layout.tableAt + layout.tableSize != fileSize) {
    return std::to_string(fileSize - layout.tableAt - layout.tableSize) + " bytes follow the certificate table";
  }
  return {};
}

// The digest that SpcIndirectDataContent carries: SEQUENCE { data, messageDigest DigestInfo }.
std::optional<std::pair<const EVP_MD*, std::vector<unsigned char> > > CarriedImageDigest(const unsigned char* p,
                                                                                         long remaining) {
  long inner = 0;
  int tag = 0;
  int cls = 0;
  const unsigned char* start = p;
  if (ASN1_get_object(&p, &inner, &tag, &cls, remaining) & 0x80) return std::nullopt;
  p += inner;
  remaining -= p - start;
  if (remaining <= 0) return std::nullopt;
  Owned<X509_SIG, X509_SIG_free> info(d2i_X509_SIG(nullptr, &p, remaining));
  if (!info) return std::nullopt;
  const X509_ALGOR* algorithm = nullptr;
  const ASN1_OCTET_STRING* carried = nullptr;
  X509_SIG_get0(info.get(), &algorithm, &carried);
  const ASN1_OBJECT* algorithmId = nullptr;
  X509_ALGOR_get0(&algorithmId, nullptr, nullptr, algorithm);
  const EVP_MD* md = EVP_get_digestbyobj(algorithmId);
  if (md == nullptr) return std::nullopt;
  const unsigned char* bytes = ASN1_STRING_get0_data(carried);
  return std::make_pair(md, std::vector<unsigned char>(bytes, bytes + ASN1_STRING_length(carried)));
}

// The image digest covers the file up to the certificate table, without the
// checksum and the certificate table's directory entry.
std::optional<std::vector<unsigned char> > ImageDigest(sys::File& file, const Layout& layout, const EVP_MD* md) {
  Owned<EVP_MD_CTX, EVP_MD_CTX_free> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) return std::nullopt;
  const std::pair<uint64_t, uint64_t> ranges[] = {{0, layout.checksumAt},
                                                  {layout.checksumAt + 4, layout.securityEntryAt},
                                                  {layout.securityEntryAt + 8, layout.tableAt}};
  std::vector<unsigned char> chunk(kChunkBytes);
  for (const auto& [from, to] : ranges) {
    if (!file.SeekTo(from)) return std::nullopt;
    for (uint64_t left = to - from; left > 0;) {
      const auto want = static_cast<uint32_t>(std::min<uint64_t>(left, chunk.size()));
      if (file.Read(chunk.data(), want) != want) return std::nullopt;
      EVP_DigestUpdate(ctx.get(), chunk.data(), want);
      left -= want;
    }
  }
  std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
  unsigned int digestBytes = 0;
  EVP_DigestFinal_ex(ctx.get(), digest.data(), &digestBytes);
  digest.resize(digestBytes);
  return digest;
}

bool Same(const std::vector<unsigned char>& digest, const ASN1_OCTET_STRING* carried) {
  return carried != nullptr && static_cast<int>(digest.size()) == ASN1_STRING_length(carried) &&
         std::equal(digest.begin(), digest.end(), ASN1_STRING_get0_data(carried));
}

// The certificates of a PEM file, as the only roots of a store.
Owned<X509_STORE, X509_STORE_free> RootStore(const std::u16string& path) {
  sys::File file = sys::File::OpenRead(path);
  const auto size = file ? file.Size() : std::nullopt;
  if (!size || *size == 0 || *size > kMaxRootFileBytes) return nullptr;
  std::vector<unsigned char> text(static_cast<std::size_t>(*size));
  if (file.Read(text.data(), static_cast<uint32_t>(text.size())) != static_cast<int64_t>(text.size())) return nullptr;
  Owned<BIO, FreeBio> bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
  Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
  int roots = 0;
  while (bio && store) {
    Owned<X509, X509_free> root(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!root || X509_STORE_add_cert(store.get(), root.get()) != 1) break;
    ++roots;
  }
  return roots > 0 ? std::move(store) : nullptr;
}

void CheckSigner(Checks& checks, PKCS7* p7, X509* signer, BIO* content, bool digestMatches,
                 const std::optional<std::u16string>& rootFile) {
  if (PKCS7_verify(p7, nullptr, nullptr, content, nullptr, PKCS7_NOVERIFY) == 1) {
    checks.Pass("signer's signature over the signed attributes verifies");
  } else if (digestMatches) {
    checks.Fail("signer's signature over the signed attributes does not verify");
  } else {
    checks.Skip("signer's signature over the signed attributes not checked: the message digest differs");
  }

  STACK_OF(X509)* carried = p7->d.sign->cert;
  X509* issuer = nullptr;
  for (int i = 0; i < sk_X509_num(carried) && issuer == nullptr; ++i) {
    if (X509_check_issued(sk_X509_value(carried, i), signer) == X509_V_OK) issuer = sk_X509_value(carried, i);
  }
  if (issuer != nullptr) {
    checks.Expect(X509_verify(signer, X509_get0_pubkey(issuer)) == 1, "signer's certificate is signed by its issuer",
                  "signer's certificate is not signed by its issuer");
  } else if (!rootFile) {
    checks.Skip("signer's certificate not checked: its issuer is not in the table (--ca checks the chain)");
  }

  if (!rootFile) return;
  const auto store = RootStore(*rootFile);
  if (!store) return checks.Fail("chain not checked: no PEM certificate can be read from the given root file");
  Owned<X509_STORE_CTX, X509_STORE_CTX_free> chain(X509_STORE_CTX_new());
  if (!chain || X509_STORE_CTX_init(chain.get(), store.get(), signer, carried) != 1) {
    return checks.Fail("chain not checked: no room for the chain");
  }
  const bool verified = X509_verify_cert(chain.get()) == 1;
  checks.Expect(verified, "chain to the given root verifies",
                std::string("chain to the given root does not verify: ") +
                    X509_verify_cert_error_string(X509_STORE_CTX_get_error(chain.get())));
}

}  // namespace

SignatureReport CheckSignature(const std::u16string& path, const std::optional<std::u16string>& rootFile) {
  Checks checks;
  sys::File file = sys::File::OpenRead(path);
  const auto size = file ? file.Size() : std::nullopt;
  const auto layout = size ? ReadLayout(file, *size) : std::nullopt;
  if (!layout) {
    checks.Fail("no certificate table in the PE headers");
    return checks.Take();
  }

  // The first entry: WIN_CERTIFICATE, then the PKCS#7 SignedData.
  std::vector<unsigned char> table(static_cast<std::size_t>(layout->tableSize));
  if (!file.SeekTo(layout->tableAt) ||
      file.Read(table.data(), static_cast<uint32_t>(table.size())) != static_cast<int64_t>(table.size())) {
    checks.Fail("the certificate table cannot be read");
    return checks.Take();
  }
  const uint32_t length = package::ReadLe32(table.data());
  if (length <= kCertificateHeaderBytes || length > table.size() ||
      package::ReadLe16(table.data() + 6) != kCertificateTypePkcs7) {
    checks.Fail("the certificate table holds no PKCS#7 signature");
    return checks.Take();
  }
  const unsigned char* at = table.data() + kCertificateHeaderBytes;
  Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &at, length - kCertificateHeaderBytes));
  if (!p7 || !PKCS7_type_is_signed(p7.get()) || p7->d.sign->contents == nullptr ||
      p7->d.sign->contents->d.other == nullptr) {
    checks.Fail("the certificate table's signature is no PKCS#7 SignedData");
    return checks.Take();
  }
  const std::string shape = TableShapeProblem(*layout, *size, table, at - table.data() - kCertificateHeaderBytes);
  checks.Expect(shape.empty(), "the certificate table holds one PKCS#7 signature and nothing else", shape);

  // The signed content is SpcIndirectDataContent; its digest covers the
  // sequence's contents, not its tag and length.
  PKCS7* content = p7->d.sign->contents;
  char oid[64] = {};
  OBJ_obj2txt(oid, sizeof oid, content->type, 1);
  ASN1_TYPE* other = content->d.other;
  long inner = 0;
  int tag = 0;
  int cls = 0;
  const unsigned char* contents = other->type == V_ASN1_SEQUENCE ? other->value.sequence->data : nullptr;
  if (std::string(oid) != kSpcIndirectData || contents == nullptr ||
      (ASN1_get_object(&contents, &inner, &tag, &cls, other->value.sequence->length) & 0x80) != 0) {
    checks.Fail("the signature signs no image digest");
    return checks.Take();
  }

  const auto carried = CarriedImageDigest(contents, inner);
  const auto image = carried ? ImageDigest(file, *layout, carried->first) : std::nullopt;
  if (!image) {
    checks.Fail("the image digest cannot be read or computed");
  } else {
    checks.Expect(*image == carried->second, "image digest matches",
                  "image digest does not match: the file was changed after signing");
  }

  // Authenticode has one signer, found in the table by issuer and serial number.
  STACK_OF(PKCS7_SIGNER_INFO)* signerInfos = PKCS7_get_signer_info(p7.get());
  if (sk_PKCS7_SIGNER_INFO_num(signerInfos) != 1) {
    checks.Fail("the signature has " + std::to_string(sk_PKCS7_SIGNER_INFO_num(signerInfos)) + " signers, not one");
    return checks.Take();
  }
  PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(signerInfos, 0);
  const EVP_MD* md = EVP_get_digestbyobj(info->digest_alg->algorithm);
  std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
  unsigned int digestBytes = 0;
  const bool digested = md != nullptr && EVP_Digest(contents, static_cast<std::size_t>(inner), digest.data(),
                                                    &digestBytes, md, nullptr) == 1;
  digest.resize(digestBytes);
  const bool digestMatches = digested && Same(digest, PKCS7_digest_from_attributes(PKCS7_get_signed_attributes(info)));
  checks.Expect(digestMatches, "the signed attributes' message digest matches the signed content",
                "the signed attributes' message digest does not match the signed content");

  Owned<STACK_OF(X509), FreeSigners> signers(PKCS7_get0_signers(p7.get(), nullptr, 0));
  if (!signers || sk_X509_num(signers.get()) != 1) {
    checks.Fail("the signer's certificate is not in the certificate table");
    return checks.Take();
  }
  Owned<BIO, FreeBio> signedContent(BIO_new_mem_buf(contents, static_cast<int>(inner)));
  CheckSigner(checks, p7.get(), sk_X509_value(signers.get(), 0), signedContent.get(), digestMatches, rootFile);
  return checks.Take();
}

#endif

}  // namespace qf::pack
