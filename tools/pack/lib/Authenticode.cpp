#include "pack/lib/Authenticode.h"

#ifdef QF_HAVE_LIBCRYPTO
#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>
#include <vector>

#include "sys/File.h"
#endif

namespace qf::pack {

#ifndef QF_HAVE_LIBCRYPTO

SignatureResult CheckSignatureDigest(const std::u16string&) {
  return {SignatureCheck::NotChecked, "this build cannot check signatures"};
}

#else

namespace {

constexpr uint32_t kNewHeaderPointerAt = 0x3C;
constexpr uint32_t kOptionalHeaderAt = 4 + 20;  // after "PE\0\0" and the file header
constexpr uint32_t kChecksumAt = 64;            // in the optional header, both kinds
constexpr uint32_t kSecurityEntryAtPe32 = 96 + 4 * 8;
constexpr uint32_t kSecurityEntryAtPe32Plus = 112 + 4 * 8;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kCertificateHeaderBytes = 8;  // length, revision, type
constexpr uint16_t kCertificateTypePkcs7 = 2;
constexpr const char* kSpcIndirectData = "1.3.6.1.4.1.311.2.1.4";
constexpr uint32_t kChunkBytes = 64 * 1024;

uint32_t U32(const unsigned char* b) { return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24); }

struct Layout {
  uint64_t checksumAt = 0;
  uint64_t securityEntryAt = 0;
  uint64_t tableAt = 0;
  uint64_t tableSize = 0;
};

std::optional<Layout> ReadLayout(sys::File& file, uint64_t size) {
  unsigned char dos[64] = {};
  if (!file.SeekTo(0) || file.Read(dos, sizeof dos) != sizeof dos) return std::nullopt;
  const uint64_t peAt = U32(dos + kNewHeaderPointerAt);
  unsigned char magic[2] = {};
  if (peAt + kOptionalHeaderAt + 2 > size || !file.SeekTo(peAt + kOptionalHeaderAt) || file.Read(magic, 2) != 2) {
    return std::nullopt;
  }
  Layout l;
  const uint64_t optional = peAt + kOptionalHeaderAt;
  l.checksumAt = optional + kChecksumAt;
  l.securityEntryAt =
      optional + ((magic[0] | (magic[1] << 8)) == kMagicPe32Plus ? kSecurityEntryAtPe32Plus : kSecurityEntryAtPe32);
  unsigned char entry[8] = {};
  if (l.securityEntryAt + 8 > size || !file.SeekTo(l.securityEntryAt) || file.Read(entry, 8) != 8) return std::nullopt;
  l.tableAt = U32(entry);
  l.tableSize = U32(entry + 4);
  if (l.tableAt < l.securityEntryAt + 8 || l.tableSize <= kCertificateHeaderBytes || l.tableAt + l.tableSize > size) {
    return std::nullopt;
  }
  return l;
}

struct Pkcs7Free {
  void operator()(PKCS7* p) const { PKCS7_free(p); }
};
struct SigFree {
  void operator()(X509_SIG* p) const { X509_SIG_free(p); }
};
struct MdFree {
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};

}  // namespace

SignatureResult CheckSignatureDigest(const std::u16string& path) {
  sys::File file = sys::File::OpenRead(path);
  const auto size = file ? file.Size() : std::nullopt;
  const auto layout = size ? ReadLayout(file, *size) : std::nullopt;
  if (!layout) return {SignatureCheck::Unreadable, "no certificate table in the PE headers"};

  // The first certificate: WIN_CERTIFICATE, then the PKCS#7 SignedData.
  std::vector<unsigned char> table(static_cast<std::size_t>(layout->tableSize));
  if (!file.SeekTo(layout->tableAt) ||
      file.Read(table.data(), static_cast<uint32_t>(table.size())) != static_cast<int64_t>(table.size())) {
    return {SignatureCheck::Unreadable, "the certificate table cannot be read"};
  }
  const uint32_t length = U32(table.data());
  if (length <= kCertificateHeaderBytes || length > table.size() ||
      (table[6] | (table[7] << 8)) != kCertificateTypePkcs7) {
    return {SignatureCheck::Unreadable, "the certificate table holds no PKCS#7 signature"};
  }
  const unsigned char* at = table.data() + kCertificateHeaderBytes;
  std::unique_ptr<PKCS7, Pkcs7Free> p7(d2i_PKCS7(nullptr, &at, length - kCertificateHeaderBytes));
  if (!p7 || !PKCS7_type_is_signed(p7.get()) || p7->d.sign->contents == nullptr ||
      p7->d.sign->contents->d.other == nullptr) {
    return {SignatureCheck::Unreadable, "the signature is no PKCS#7 SignedData"};
  }
  PKCS7* content = p7->d.sign->contents;
  char oid[64] = {};
  OBJ_obj2txt(oid, sizeof oid, content->type, 1);
  ASN1_TYPE* other = content->d.other;
  if (std::string(oid) != kSpcIndirectData || other->type != V_ASN1_SEQUENCE) {
    return {SignatureCheck::Unreadable, "the signature carries no image digest"};
  }
  // SpcIndirectDataContent: SEQUENCE { data, messageDigest DigestInfo }.
  const unsigned char* p = other->value.sequence->data;
  long remaining = other->value.sequence->length;
  long inner = 0;
  int tag = 0;
  int cls = 0;
  const unsigned char* start = p;
  if (ASN1_get_object(&p, &inner, &tag, &cls, remaining) & 0x80) return {SignatureCheck::Unreadable, "bad digest"};
  remaining -= p - start;
  start = p;
  if (ASN1_get_object(&p, &inner, &tag, &cls, remaining) & 0x80) return {SignatureCheck::Unreadable, "bad digest"};
  p += inner;
  remaining -= p - start;
  std::unique_ptr<X509_SIG, SigFree> info(d2i_X509_SIG(nullptr, &p, remaining));
  if (!info) return {SignatureCheck::Unreadable, "bad digest"};
  const X509_ALGOR* algorithm = nullptr;
  const ASN1_OCTET_STRING* carried = nullptr;
  X509_SIG_get0(info.get(), &algorithm, &carried);
  const ASN1_OBJECT* algorithmId = nullptr;
  X509_ALGOR_get0(&algorithmId, nullptr, nullptr, algorithm);
  const EVP_MD* md = EVP_get_digestbyobj(algorithmId);
  if (md == nullptr) return {SignatureCheck::Unreadable, "the digest algorithm is unknown"};

  // The image digest covers the file up to the certificate table, without the
  // checksum and the certificate table's directory entry.
  std::unique_ptr<EVP_MD_CTX, MdFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) return {SignatureCheck::Unreadable, "no digest"};
  const std::pair<uint64_t, uint64_t> ranges[] = {{0, layout->checksumAt},
                                                  {layout->checksumAt + 4, layout->securityEntryAt},
                                                  {layout->securityEntryAt + 8, layout->tableAt}};
  std::vector<unsigned char> chunk(kChunkBytes);
  for (const auto& [from, to] : ranges) {
    if (!file.SeekTo(from)) return {SignatureCheck::Unreadable, "the file cannot be read"};
    for (uint64_t left = to - from; left > 0;) {
      const auto want = static_cast<uint32_t>(std::min<uint64_t>(left, chunk.size()));
      if (file.Read(chunk.data(), want) != want) return {SignatureCheck::Unreadable, "the file cannot be read"};
      EVP_DigestUpdate(ctx.get(), chunk.data(), want);
      left -= want;
    }
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestBytes = 0;
  EVP_DigestFinal_ex(ctx.get(), digest, &digestBytes);
  const bool same = static_cast<int>(digestBytes) == ASN1_STRING_length(carried) &&
                    std::equal(digest, digest + digestBytes, ASN1_STRING_get0_data(carried));
  return {same ? SignatureCheck::Matches : SignatureCheck::DoesNotMatch, {}};
}

#endif

}  // namespace qf::pack
