#pragma once
// Owners that free OpenSSL objects on every return path.

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <memory>

namespace openssl {

template <auto Free>
struct Freer {
  template <typename T>
  void operator()(T* object) const {
    if (object) Free(object);
  }
};

using Bio = std::unique_ptr<BIO, Freer<BIO_free_all>>;
using Certificate = std::unique_ptr<X509, Freer<X509_free>>;
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;
using Pkcs12 = std::unique_ptr<PKCS12, Freer<PKCS12_free>>;
using Cms = std::unique_ptr<CMS_ContentInfo, Freer<CMS_ContentInfo_free>>;
using BigNumber = std::unique_ptr<BIGNUM, Freer<BN_free>>;

}  // namespace openssl
