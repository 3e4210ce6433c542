#include "SignedEnvelope.h"

#include "OpensslHandles.h"

#include <openssl/err.h>
#include <openssl/objects.h>

#include <climits>

bool isSignedCmsEnvelope(const QByteArray& bytes) {
  // DER and BER both open with a SEQUENCE; anything else is not parsed at all.
  if (bytes.isEmpty() || static_cast<unsigned char>(bytes.front()) != 0x30 || bytes.size() > INT_MAX) return false;
  const openssl::Bio input(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
  if (!input) return false;
  const openssl::Cms cms(d2i_CMS_bio(input.get(), nullptr));
  // A failed parse leaves its reasons queued; they belong to no later call.
  ERR_clear_error();
  if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) return false;
  ASN1_OCTET_STRING** content = CMS_get0_content(cms.get());
  return content && *content && ASN1_STRING_length(*content) > 0;
}
